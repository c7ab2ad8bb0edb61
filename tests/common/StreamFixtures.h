#pragma once
// Hand-written wire payloads of the data stream, laid out byte by byte from the record tables so that the
// writer and the reader of a record cannot share a byte-order mistake.
#include <string>
#include <vector>

#include "protocol/CXFileHeader.h"

namespace fcltest {

// Bytes from hex text; spaces, line breaks and "#" comments to the end of a line are ignored.
std::vector<unsigned char> fromHex(const std::string& text);

// A PL_FS_HDR payload (1160 bytes) whose fields each hold a distinct value (see the .cpp), named kFixtureName.
std::vector<unsigned char> fileHeaderFixture();
// The host-order record the fixture stands for.
CXFileHeader fileHeaderFixtureValues();
// A PL_FS_READ_ERR payload (80 bytes): node 11:7, second value 9, archive-file id words 3 and 4, archive 42,
// offset 0x100000200.
std::vector<unsigned char> readErrorFixture();

// The fixture header's name.
constexpr const char* kFixtureName = "/srv/data.bin";

}  // namespace fcltest
