#pragma once
// Writes Windows backup streams for tests: each stream a 20-byte little-endian header (id, attributes, size, name
// size), its name, then its data, as a Windows client's backup of a file carries them.
//
//   fcltest::WinBackupStream stream;
//   stream.security("SD").data("hello").alternate("zone", "x").sparseBlock(4096, "tail");
//   item.data(stream.bytes());
#include <cstdint>
#include <string>

namespace fcltest {

class WinBackupStream {
public:
    enum : uint32_t {
        kInvalid = 0,
        kData = 1,
        kEaData = 2,
        kSecurity = 3,
        kAlternate = 4,
        kLink = 5,
        kProperty = 6,
        kObjectId = 7,
        kReparse = 8,
        kSparse = 9,
    };

    // One stream; its name given as the bytes the header counts.
    WinBackupStream& stream(uint32_t id, const std::string& data, const std::string& name = "",
                            uint32_t attributes = 0);
    WinBackupStream& data(const std::string& bytes) { return stream(kData, bytes); }
    WinBackupStream& security(const std::string& descriptor) { return stream(kSecurity, descriptor); }
    WinBackupStream& eaData(const std::string& bytes) { return stream(kEaData, bytes); }
    // An alternate data stream named ":<name>:$DATA" in UTF-16.
    WinBackupStream& alternate(const std::string& name, const std::string& bytes) {
        return stream(kAlternate, bytes, utf16(":" + name + ":$DATA"));
    }
    WinBackupStream& reparse(const std::string& bytes) { return stream(kReparse, bytes); }
    // A sparse block: its offset in the file (8 bytes) before its bytes.
    WinBackupStream& sparseBlock(uint64_t offset, const std::string& bytes);
    // A header alone, whatever it claims.
    WinBackupStream& header(uint32_t id, uint64_t size, uint32_t nameSize, uint32_t attributes = 0);
    WinBackupStream& raw(const std::string& bytes) {
        bytes_ += bytes;
        return *this;
    }

    const std::string& bytes() const { return bytes_; }
    // `text` (ASCII) as UTF-16LE bytes.
    static std::string utf16(const std::string& text);
    static std::string littleEndian(uint64_t value, size_t width);

private:
    std::string bytes_;
};

}  // namespace fcltest
