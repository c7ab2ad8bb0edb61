#include "tests/unit/session/RecordSamples.h"

#include <gtest/gtest.h>

#include <cstring>

namespace sessiontest {
namespace {

using wzsession::FieldKind;
using wzsession::FieldLayout;
using wzsession::loadField;
using wzsession::RecordLayout;
using wzsession::storeField;

uint32_t countOf(const char* record, const FieldLayout& f) {
    return loadField<uint32_t>(record + f.countAt);
}

}  // namespace

SampleRecord::SampleRecord(const RecordLayout& layout, const SampleShape& shape) : shape_(shape) {
    size_t tail = 0;
    for (uint32_t i = 0; i < layout.fieldCount; ++i) {
        if (layout.fields[i].kind == FieldKind::Tail) {
            tail = shape.entries;
        }
    }
    record_.assign(layout.size + tail, 0);
    fill(layout, record_.data());
}

char* SampleRecord::keep(std::vector<char> bytes) {
    owned_.push_back(std::move(bytes));
    return owned_.back().data();
}

void SampleRecord::fill(const RecordLayout& layout, char* at) {
    for (uint32_t i = 0; i < layout.fieldCount; ++i) {
        const FieldLayout& f = layout.fields[i];
        char* field = at + f.offset;
        uint64_t n = next_++;
        switch (f.kind) {
            case FieldKind::Pad:
                break;
            case FieldKind::U32:
                // The top bit set and every byte different: byte order and sign both show.
                storeField<uint32_t>(field, 0x80000000u | uint32_t(n) << 16 | 0x0102u);
                break;
            case FieldKind::U64:
                storeField<uint64_t>(field, 0x8000000000000000ull | n << 40 | 0x0000010203040506ull);
                break;
            case FieldKind::String: {
                char* text = nullptr;
                if (!shape_.nullStrings) {
                    std::string s = "f" + std::to_string(n) + std::string(shape_.stringLength, 'a' + char(n % 26));
                    std::vector<char> bytes(s.begin(), s.end());
                    bytes.push_back('\0');
                    text = keep(std::move(bytes));
                }
                storeField(field, text);
                break;
            }
            case FieldKind::Nested:
                fill(*f.element, field);
                break;
            case FieldKind::Bytes:
            case FieldKind::Tail: {
                storeField<uint32_t>(at + f.countAt, shape_.entries);
                char* bytes = f.kind == FieldKind::Tail ? at + layout.size : nullptr;
                if (f.kind == FieldKind::Bytes && shape_.entries > 0) {
                    bytes = keep(std::vector<char>(shape_.entries));
                }
                for (uint32_t k = 0; k < shape_.entries; ++k) {
                    bytes[k] = char(n + k * 7);
                }
                if (f.kind == FieldKind::Bytes) {
                    storeField(field, bytes);
                }
                break;
            }
            case FieldKind::Array: {
                storeField<uint32_t>(at + f.countAt, shape_.entries);
                char* items = nullptr;
                if (shape_.entries > 0) {
                    items = keep(std::vector<char>(size_t(shape_.entries) * f.element->size));
                    for (uint32_t k = 0; k < shape_.entries; ++k) {
                        fill(*f.element, items + k * f.element->size);
                    }
                }
                storeField(field, items);
                break;
            }
        }
    }
}

void expectSameRecord(const RecordLayout& layout, const char* expected, const char* actual, const std::string& path) {
    for (uint32_t i = 0; i < layout.fieldCount; ++i) {
        const FieldLayout& f = layout.fields[i];
        const std::string where = path + "." + layout.name + "@" + std::to_string(f.offset);
        const char* e = expected + f.offset;
        const char* a = actual + f.offset;
        switch (f.kind) {
            case FieldKind::Pad:
                break;
            case FieldKind::U32:
                EXPECT_EQ(loadField<uint32_t>(e), loadField<uint32_t>(a)) << where;
                break;
            case FieldKind::U64:
                EXPECT_EQ(loadField<uint64_t>(e), loadField<uint64_t>(a)) << where;
                break;
            case FieldKind::String: {
                const char* se = loadField<const char*>(e);
                const char* sa = loadField<const char*>(a);
                if (se == nullptr || sa == nullptr) {
                    EXPECT_EQ(se == nullptr, sa == nullptr) << where;
                } else {
                    EXPECT_STREQ(se, sa) << where;
                }
                break;
            }
            case FieldKind::Nested:
                expectSameRecord(*f.element, e, a, where);
                break;
            case FieldKind::Bytes:
            case FieldKind::Tail: {
                uint32_t n = countOf(expected, f);
                ASSERT_EQ(n, countOf(actual, f)) << where;
                const char* be = f.kind == FieldKind::Tail ? expected + layout.size : loadField<const char*>(e);
                const char* ba = f.kind == FieldKind::Tail ? actual + layout.size : loadField<const char*>(a);
                if (f.kind == FieldKind::Bytes && n == 0) {
                    EXPECT_EQ(ba, nullptr) << where;
                } else if (n > 0) {
                    ASSERT_NE(ba, nullptr) << where;
                    EXPECT_EQ(0, memcmp(be, ba, n)) << where;
                }
                break;
            }
            case FieldKind::Array: {
                uint32_t n = countOf(expected, f);
                ASSERT_EQ(n, countOf(actual, f)) << where;
                const char* ie = loadField<const char*>(e);
                const char* ia = loadField<const char*>(a);
                if (n == 0) {
                    EXPECT_EQ(ia, nullptr) << where;
                    break;
                }
                ASSERT_NE(ia, nullptr) << where;
                for (uint32_t k = 0; k < n; ++k) {
                    expectSameRecord(*f.element, ie + k * f.element->size, ia + k * f.element->size,
                                     where + "[" + std::to_string(k) + "]");
                }
                break;
            }
        }
    }
}

}  // namespace sessiontest
