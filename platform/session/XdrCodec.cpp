#include "platform/session/XdrCodec.h"

#include <cassert>
#include <cstring>

namespace wzsession {
namespace {

constexpr uint32_t kMaxFields = 32;

size_t padded(size_t n) {
    return (n + 3) & ~size_t(3);
}
size_t aligned(size_t n) {
    return (n + 7) & ~size_t(7);
}

// The count a Bytes, Array or Tail field refers to, widened with its sign so a negative count shows as one.
int64_t countIn(const char* record, const FieldLayout& field) {
    uint32_t raw = loadField<uint32_t>(record + field.countAt);
    return field.isSigned ? int64_t(int32_t(raw)) : int64_t(raw);
}

class Writer {
public:
    Writer(std::vector<unsigned char>& out, size_t limit) : out_(out), limit_(limit) {}

    bool room(size_t n) const { return n <= limit_ && out_.size() <= limit_ - n; }
    bool u32(uint32_t v) {
        if (!room(4)) {
            return false;
        }
        unsigned char b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        out_.insert(out_.end(), b, b + 4);
        return true;
    }
    bool u64(uint64_t v) { return u32(uint32_t(v >> 32)) && u32(uint32_t(v)); }
    // The bytes, then zeros up to a multiple of 4.
    bool opaque(const void* data, size_t n) {
        if (!room(padded(n))) {
            return false;
        }
        const unsigned char* p = static_cast<const unsigned char*>(data);
        out_.insert(out_.end(), p, p + n);
        out_.insert(out_.end(), padded(n) - n, 0);
        return true;
    }

private:
    std::vector<unsigned char>& out_;
    size_t limit_;
};

bool fail(std::string* why, const char* layoutName, const char* reason) {
    if (why != nullptr) {
        *why = std::string(layoutName) + ": " + reason;
    }
    return false;
}

bool encodeFields(const RecordLayout& layout, const char* record, size_t length, Writer& w, std::string* why) {
    static const char* const kTooLarge = "the record does not fit in one message";
    for (uint32_t i = 0; i < layout.fieldCount; ++i) {
        const FieldLayout& f = layout.fields[i];
        const char* at = record + f.offset;
        bool ok = true;
        switch (f.kind) {
            case FieldKind::Pad:
                break;
            case FieldKind::U32:
                ok = w.u32(loadField<uint32_t>(at));
                break;
            case FieldKind::U64:
                ok = w.u64(loadField<uint64_t>(at));
                break;
            case FieldKind::String: {
                const char* s = loadField<const char*>(at);
                if (s == nullptr) {
                    ok = w.u32(0);
                    break;
                }
                size_t n = strlen(s);
                ok = n <= UINT32_MAX && w.u32(1) && w.u32(uint32_t(n)) && w.opaque(s, n);
                break;
            }
            case FieldKind::Nested:
                ok = encodeFields(*f.element, at, f.width, w, why);
                if (!ok) {
                    return false;
                }
                break;
            case FieldKind::Bytes:
            case FieldKind::Array:
            case FieldKind::Tail: {
                int64_t count = countIn(record, f);
                if (count < 0) {
                    return fail(why, layout.name, "negative count");
                }
                const char* items = f.kind == FieldKind::Tail ? record + layout.size : loadField<const char*>(at);
                if (f.kind == FieldKind::Tail && uint64_t(count) > length - layout.size) {
                    return fail(why, layout.name, "the trailing part runs past the buffer given");
                }
                if (count > 0 && items == nullptr) {
                    return fail(why, layout.name, "null pointer with a non-zero count");
                }
                if (!w.u32(uint32_t(count))) {
                    return fail(why, layout.name, kTooLarge);
                }
                if (f.kind != FieldKind::Array) {
                    ok = w.opaque(items, size_t(count));
                    break;
                }
                for (int64_t k = 0; k < count; ++k) {
                    if (!encodeFields(*f.element, items + k * f.element->size, f.element->size, w, why)) {
                        return false;
                    }
                }
                break;
            }
        }
        if (!ok) {
            return fail(why, layout.name, kTooLarge);
        }
    }
    return true;
}

// Walks the wire form of a record. Measuring checks every length against the bytes left and adds up the memory;
// filling (only after a successful measure) writes the record out.
class Decoder {
public:
    Decoder(const unsigned char* wire, size_t n, char* outOfLine)
        : p_(wire), end_(wire + n), arena_(outOfLine), used_(0), tail_(0) {}

    bool atEnd() const { return p_ == end_; }
    size_t outOfLineUsed() const { return used_; }
    size_t tailUsed() const { return tail_; }
    size_t left() const { return size_t(end_ - p_); }

    bool u32(uint32_t* v) {
        if (left() < 4) {
            return false;
        }
        *v = uint32_t(p_[0]) << 24 | uint32_t(p_[1]) << 16 | uint32_t(p_[2]) << 8 | uint32_t(p_[3]);
        p_ += 4;
        return true;
    }
    bool u64(uint64_t* v) {
        uint32_t hi, lo;
        if (!u32(&hi) || !u32(&lo)) {
            return false;
        }
        *v = uint64_t(hi) << 32 | lo;
        return true;
    }
    // `n` bytes and their padding; the bytes are left where they are.
    bool opaque(size_t n, const unsigned char** bytes) {
        if (left() < padded(n)) {
            return false;
        }
        *bytes = p_;
        p_ += padded(n);
        return true;
    }
    // Session memory for out-of-line data: an address when filling, null when measuring.
    char* take(size_t n) {
        char* at = arena_ != nullptr ? arena_ + used_ : nullptr;
        used_ += aligned(n);
        return at;
    }

    bool fields(const RecordLayout& layout, char* dst, std::string* why);

private:
    bool counted(const RecordLayout& layout, const FieldLayout& f, int64_t count, char* dst, std::string* why);

    const unsigned char* p_;
    const unsigned char* end_;
    char* arena_;
    size_t used_;
    size_t tail_;
};

// The smallest number of wire bytes one record of `layout` can take, to refuse counts the message cannot hold.
size_t minWireSize(const RecordLayout& layout) {
    size_t n = 0;
    for (uint32_t i = 0; i < layout.fieldCount; ++i) {
        const FieldLayout& f = layout.fields[i];
        switch (f.kind) {
            case FieldKind::Pad:
                break;
            case FieldKind::U64:
                n += 8;
                break;
            case FieldKind::Nested:
                n += minWireSize(*f.element);
                break;
            default:
                n += 4;
                break;
        }
    }
    return n;
}

bool Decoder::fields(const RecordLayout& layout, char* dst, std::string* why) {
    if (layout.fieldCount > kMaxFields) {
        return fail(why, layout.name, "too many fields");
    }
    // Scalars read so far, by field index: the counts of later Bytes, Array and Tail fields.
    int64_t values[kMaxFields] = {};
    const bool filling = dst != nullptr;
    for (uint32_t i = 0; i < layout.fieldCount; ++i) {
        const FieldLayout& f = layout.fields[i];
        char* at = filling ? dst + f.offset : nullptr;
        switch (f.kind) {
            case FieldKind::Pad:
                if (filling) {
                    memset(at, 0, f.width);
                }
                break;
            case FieldKind::U32: {
                uint32_t v;
                if (!u32(&v)) {
                    return fail(why, layout.name, "the message ends inside the record");
                }
                values[i] = f.isSigned ? int64_t(int32_t(v)) : int64_t(v);
                if (filling) {
                    storeField(at, v);
                }
                break;
            }
            case FieldKind::U64: {
                uint64_t v;
                if (!u64(&v)) {
                    return fail(why, layout.name, "the message ends inside the record");
                }
                if (filling) {
                    storeField(at, v);
                }
                break;
            }
            case FieldKind::String: {
                uint32_t present, n;
                const unsigned char* bytes;
                if (!u32(&present) || present > 1) {
                    return fail(why, layout.name, "bad string marker");
                }
                char* s = nullptr;
                if (present == 1) {
                    if (!u32(&n) || !opaque(n, &bytes)) {
                        return fail(why, layout.name, "a string runs past the message");
                    }
                    if (memchr(bytes, 0, n) != nullptr) {
                        return fail(why, layout.name, "a string holds a NUL byte");
                    }
                    s = take(size_t(n) + 1);
                    if (filling) {
                        memcpy(s, bytes, n);
                        s[n] = '\0';
                    }
                }
                if (filling) {
                    storeField(at, s);
                }
                break;
            }
            case FieldKind::Nested:
                if (!fields(*f.element, at, why)) {
                    return false;
                }
                break;
            case FieldKind::Bytes:
            case FieldKind::Array:
            case FieldKind::Tail: {
                int64_t count = -1;
                for (uint32_t k = 0; k < i; ++k) {
                    if (layout.fields[k].offset == f.countAt && layout.fields[k].kind == FieldKind::U32) {
                        count = values[k];
                    }
                }
                if (count < 0) {
                    return fail(why, layout.name, "negative count");
                }
                if (!counted(layout, f, count, dst, why)) {
                    return false;
                }
                break;
            }
        }
    }
    return true;
}

bool Decoder::counted(const RecordLayout& layout, const FieldLayout& f, int64_t count, char* dst, std::string* why) {
    const bool filling = dst != nullptr;
    uint32_t onWire;
    if (!u32(&onWire) || onWire != uint64_t(count)) {
        return fail(why, layout.name, "the count before the entries disagrees with the record");
    }
    if (f.kind == FieldKind::Tail) {
        const unsigned char* bytes;
        if (!opaque(size_t(count), &bytes)) {
            return fail(why, layout.name, "the trailing part runs past the message");
        }
        tail_ = size_t(count);
        if (filling) {
            memcpy(dst + layout.size, bytes, size_t(count));
        }
        return true;
    }
    char* items = nullptr;
    if (f.kind == FieldKind::Bytes) {
        const unsigned char* bytes;
        if (!opaque(size_t(count), &bytes)) {
            return fail(why, layout.name, "a byte string runs past the message");
        }
        if (count > 0) {
            items = take(size_t(count));
            if (filling) {
                memcpy(items, bytes, size_t(count));
            }
        }
    } else if (count > 0) {
        const RecordLayout& element = *f.element;
        if (uint64_t(count) > left() / minWireSize(element)) {
            return fail(why, layout.name, "more entries than the message holds");
        }
        items = take(size_t(count) * element.size);
        if (filling) {
            memset(items, 0, size_t(count) * element.size);
        }
        for (int64_t k = 0; k < count; ++k) {
            if (!fields(element, filling ? items + k * element.size : nullptr, why)) {
                return false;
            }
        }
    }
    if (filling) {
        storeField(dst + f.offset, items);
    }
    return true;
}

}  // namespace

bool encodeRecord(const RecordLayout& layout, const char* record, size_t length, std::vector<unsigned char>& out,
                  size_t limit, std::string* why) {
    Writer w(out, limit);
    return encodeFields(layout, record, length < layout.size ? layout.size : length, w, why);
}

bool encodeOpaque(const char* data, size_t length, std::vector<unsigned char>& out, size_t limit, std::string* why) {
    Writer w(out, limit);
    if (length > UINT32_MAX || !w.u32(uint32_t(length)) || !w.opaque(data, length)) {
        return fail(why, "raw data", "the data does not fit in one message");
    }
    return true;
}

bool measureRecord(const RecordLayout* layout, const unsigned char* wire, size_t n, DecodedSize* size,
                   std::string* why) {
    Decoder d(wire, n, nullptr);
    if (layout == nullptr) {
        uint32_t length;
        const unsigned char* bytes;
        if (!d.u32(&length) || !d.opaque(length, &bytes)) {
            return fail(why, "raw data", "the data runs past the message");
        }
        size->fixed = length;
    } else {
        if (!d.fields(*layout, nullptr, why)) {
            return false;
        }
        size->fixed = layout->size + d.tailUsed();
    }
    if (!d.atEnd()) {
        return fail(why, layout != nullptr ? layout->name : "raw data", "bytes left over after the record");
    }
    size->outOfLine = d.outOfLineUsed();
    return true;
}

void decodeRecord(const RecordLayout* layout, const unsigned char* wire, size_t n, char* fixed, char* outOfLine) {
    Decoder d(wire, n, outOfLine);
    if (layout == nullptr) {
        uint32_t length = 0;
        const unsigned char* bytes = nullptr;
        bool ok = d.u32(&length) && d.opaque(length, &bytes);
        assert(ok);
        (void)ok;
        if (length > 0) {
            memcpy(fixed, bytes, length);
        }
        return;
    }
    bool ok = d.fields(*layout, fixed, nullptr);
    assert(ok);
    (void)ok;
}

}  // namespace wzsession
