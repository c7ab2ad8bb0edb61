#pragma once
// How a protocol record is laid out in memory, field by field: the one description that both the encoder and the
// decoder walk. Built at compile time from the record types, so a field whose type changes changes its encoding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace wzsession {

enum class FieldKind : uint8_t {
    U32,     // 4 bytes on the wire
    U64,     // 8 bytes on the wire
    String,  // char*: XDR optional string
    Bytes,   // byte pointer with a 32-bit length elsewhere in the record: the length, then the bytes
    Array,   // entry pointer with a 32-bit count elsewhere in the record: the count, then the entries
    Nested,  // an embedded record, encoded in place
    Tail,    // bytes that follow the record in the same buffer, their count in the record
    Pad,     // alignment in memory; not on the wire
};

struct RecordLayout;

// Fields are read and written by copy: a decoded record may sit in a buffer of any alignment the caller attached.
template <typename T>
T loadField(const char* at) {
    T value;
    memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void storeField(char* at, T value) {
    memcpy(at, &value, sizeof value);
}

struct FieldLayout {
    FieldKind kind;
    bool isSigned;                // U32: sign-extend on decode and reject negative counts
    uint32_t offset;              // in the record (Tail: the record's size)
    uint32_t width;               // bytes in memory
    uint32_t countAt;             // Bytes, Array, Tail: offset of the 32-bit count field, which comes first
    const RecordLayout* element;  // Array: the entry; Nested: the embedded record
};

struct RecordLayout {
    const char* name;
    uint32_t size;
    const FieldLayout* fields;
    uint32_t fieldCount;
};

template <typename T>
constexpr FieldLayout scalarField(size_t offset) {
    static_assert(std::is_same<T, char*>::value || std::is_integral<T>::value, "scalar fields are integers or char*");
    static_assert(std::is_same<T, char*>::value || sizeof(T) == 4 || sizeof(T) == 8, "integers are 32 or 64 bits");
    if (std::is_same<T, char*>::value) {
        return FieldLayout{FieldKind::String, false, static_cast<uint32_t>(offset), 8, 0, nullptr};
    }
    return FieldLayout{sizeof(T) == 8 ? FieldKind::U64 : FieldKind::U32,
                       std::is_signed<T>::value,
                       static_cast<uint32_t>(offset),
                       static_cast<uint32_t>(sizeof(T)),
                       0,
                       nullptr};
}

template <typename Count, size_t CountAt, size_t At>
constexpr FieldLayout countedField(FieldKind kind, const RecordLayout* element) {
    static_assert(std::is_integral<Count>::value && sizeof(Count) == 4, "counts are 32-bit integers");
    static_assert(CountAt < At, "the count comes before what it counts, so the decoder knows it in time");
    return FieldLayout{kind, std::is_signed<Count>::value,   static_cast<uint32_t>(At),
                       8,    static_cast<uint32_t>(CountAt), element};
}

}  // namespace wzsession

#define WZS_FIELD(Rec, member) ::wzsession::scalarField<decltype(Rec::member)>(offsetof(Rec, member))
#define WZS_PAD(Rec, member)                                                              \
    ::wzsession::FieldLayout {                                                            \
        ::wzsession::FieldKind::Pad, false, static_cast<uint32_t>(offsetof(Rec, member)), \
            static_cast<uint32_t>(sizeof(Rec::member)), 0, nullptr                        \
    }
#define WZS_NESTED(Rec, member, layout)                                                      \
    ::wzsession::FieldLayout {                                                               \
        ::wzsession::FieldKind::Nested, false, static_cast<uint32_t>(offsetof(Rec, member)), \
            static_cast<uint32_t>(sizeof(Rec::member)), 0, &(layout)                         \
    }
#define WZS_ARRAY(Rec, countMember, member, elementLayout)                                                    \
    ::wzsession::countedField<decltype(Rec::countMember), offsetof(Rec, countMember), offsetof(Rec, member)>( \
        ::wzsession::FieldKind::Array, &(elementLayout))
#define WZS_BYTES(Rec, countMember, member)                                                                   \
    ::wzsession::countedField<decltype(Rec::countMember), offsetof(Rec, countMember), offsetof(Rec, member)>( \
        ::wzsession::FieldKind::Bytes, nullptr)
#define WZS_TAIL(Rec, countMember)                                                                  \
    ::wzsession::countedField<decltype(Rec::countMember), offsetof(Rec, countMember), sizeof(Rec)>( \
        ::wzsession::FieldKind::Tail, nullptr)
