#include "tests/common/WinBackupStream.h"

namespace fcltest {

std::string WinBackupStream::littleEndian(uint64_t value, size_t width) {
    std::string out;
    for (size_t i = 0; i < width; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return out;
}

std::string WinBackupStream::utf16(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

WinBackupStream& WinBackupStream::header(uint32_t id, uint64_t size, uint32_t nameSize, uint32_t attributes) {
    bytes_ += littleEndian(id, 4) + littleEndian(attributes, 4) + littleEndian(size, 8) + littleEndian(nameSize, 4);
    return *this;
}

WinBackupStream& WinBackupStream::stream(uint32_t id, const std::string& data, const std::string& name,
                                         uint32_t attributes) {
    header(id, data.size(), static_cast<uint32_t>(name.size()), attributes);
    bytes_ += name + data;
    return *this;
}

WinBackupStream& WinBackupStream::sparseBlock(uint64_t offset, const std::string& bytes) {
    return stream(kSparse, littleEndian(offset, 8) + bytes);
}

}  // namespace fcltest
