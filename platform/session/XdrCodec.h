#pragma once
// XDR encoding and decoding of protocol records, walking their RecordLayout.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/session/XdrLayout.h"

namespace wzsession {

// Appends the encoding of the record at `record` to `out`. `length` is what the caller says the buffer holds; only
// a record with a trailing part reads past its fixed size, and never past `length`. Fails with a reason in `why`
// when a pointer is null while its count is not, a count is negative, or `out` would grow past `limit`.
bool encodeRecord(const RecordLayout& layout, const char* record, size_t length, std::vector<unsigned char>& out,
                  size_t limit, std::string* why);
// Appends `length` raw bytes as variable opaque data.
bool encodeOpaque(const char* data, size_t length, std::vector<unsigned char>& out, size_t limit, std::string* why);

// Memory a decoded record takes: its fixed part (with any trailing part) and, apart, its strings and entries.
struct DecodedSize {
    size_t fixed = 0;
    size_t outOfLine = 0;
};

// Checks that the `n` bytes at `wire` are exactly one record of `layout` (or one variable opaque when `layout` is
// null) and tells the memory it decodes into. Reads nothing outside the bytes given.
bool measureRecord(const RecordLayout* layout, const unsigned char* wire, size_t n, DecodedSize* size,
                   std::string* why);
// Decodes bytes that measureRecord accepted: the fixed part at `fixed`, strings and entries from `outOfLine`
// (8-byte aligned, as large as measured).
void decodeRecord(const RecordLayout* layout, const unsigned char* wire, size_t n, char* fixed, char* outOfLine);

}  // namespace wzsession
