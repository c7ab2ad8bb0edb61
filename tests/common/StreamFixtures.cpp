#include "tests/common/StreamFixtures.h"

#include <cctype>
#include <cstring>
#include <stdexcept>

namespace fcltest {

std::vector<unsigned char> fromHex(const std::string& text) {
    std::vector<unsigned char> bytes;
    int high = -1;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '#') {
            while (i < text.size() && text[i] != '\n') {
                ++i;
            }
            continue;
        }
        if (isspace(static_cast<unsigned char>(c))) {
            continue;
        }
        if (!isxdigit(static_cast<unsigned char>(c))) {
            throw std::invalid_argument("not hex: " + std::string(1, c));
        }
        int digit = isdigit(static_cast<unsigned char>(c)) ? c - '0' : tolower(c) - 'a' + 10;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<unsigned char>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) {
        throw std::invalid_argument("odd number of hex digits");
    }
    return bytes;
}

std::vector<unsigned char> fileHeaderFixture() {
    std::vector<unsigned char> bytes = fromHex(R"(
        00 00 00 01               # 0x00 h_version 1
        04 04 04 04               # 0x04 h_spare04
        00 00 00 02               # 0x08 h_nlink 2
        00 00 00 0e               # 0x0c h_namelen 14
        00 00 00 00 00 00 81 a4   # 0x10 h_mode 0100644
        00 00 00 00 00 00 03 e8   # 0x18 h_uid 1000
        01 02 03 04 05 06 07 08   # 0x20 h_gid 0x0102030405060708
        28 28 28 29               # 0x28 h_spare28
        00 00 08 03               # 0x2c h_dev 0x803
        01 00 00 00 00 00 00 01   # 0x30 h_flags: portable ACL and bit 0
        00 00 00 01 23 45 67 89   # 0x38 h_size 0x123456789
        00 00 00 00 65 53 f1 00   # 0x40 h_mtime 1700000000
        00 00 00 00 65 53 f1 01   # 0x48 h_ctime 1700000001
        11 22 33 44 55 66 77 88   # 0x50 h_extentOffset
        58 58 58 58 58 58 58 59   # 0x58 h_spare58
        60 60 60 61               # 0x60 h_spare60
        64 64 64 65               # 0x64 h_spare64
        00 00 00 01               # 0x68 h_inoHigh 1
        00 00 20 20               # 0x6c h_flags2: container and long path
        00 00 01 03               # 0x70 h_rdev 0x103
        89 ab cd ef               # 0x74 h_inoLow 0x89abcdef
        01 02 03 04               # 0x78 h_isHfs and h_spare79, never swapped
        65 53 f1 02               # 0x7c h_atime 1700000002
        00 00 00 19               # 0x80 h_platform 25
    )");
    const std::string name = kFixtureName;
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.resize(1160, 0);
    return bytes;
}

CXFileHeader fileHeaderFixtureValues() {
    CXFileHeader header;
    header.h_version = 1;
    header.h_spare04 = 0x04040404;
    header.h_nlink = 2;
    header.h_namelen = 14;
    header.h_mode = 0100644;
    header.h_uid = 1000;
    header.h_gid = 0x0102030405060708ULL;
    header.h_spare28 = 0x28282829;
    header.h_dev = 0x803;
    header.h_flags = 0x0100000000000001ULL;
    header.h_size = 0x123456789ULL;
    header.h_mtime = 1700000000;
    header.h_ctime = 1700000001;
    header.h_extentOffset = 0x1122334455667788ULL;
    header.h_spare58 = 0x5858585858585859ULL;
    header.h_spare60 = 0x60606061;
    header.h_spare64 = 0x64646465;
    header.h_inoHigh = 1;
    header.h_flags2 = 0x2020;
    header.h_rdev = 0x103;
    header.h_inoLow = 0x89abcdef;
    header.h_isHfs = 0x01;
    header.h_spare79[0] = 0x02;
    header.h_spare79[1] = 0x03;
    header.h_spare79[2] = 0x04;
    header.h_atime = 1700000002;
    header.h_platform = 25;
    std::memset(header.h_filename, 0, sizeof header.h_filename);
    std::strcpy(header.h_filename, kFixtureName);
    return header;
}

std::vector<unsigned char> readErrorFixture() {
    return fromHex(R"(
        00 00 00 00 00 00 00 07   # 0 node number, low part
        00 00 00 00 00 00 00 09   # 8 second value
        00 00 00 00 00 00 00 00   # 16 not read
        00 00 00 00 00 00 00 00   # 24 not read
        00 00 00 00 00 00 00 03   # 32 archive-file id word 3
        00 00 00 00 00 00 00 04   # 40 archive-file id word 4
        00 00 00 00 00 00 00 2a   # 48 archive id 42
        00 00 00 01 00 00 02 00   # 56 offset 0x100000200
        00 00 00 00 00 00 00 00   # 64 not read
        00 00 00 00 00 00 00 0b   # 72 node number, high part
    )");
}

}  // namespace fcltest
