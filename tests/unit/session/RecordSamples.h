#pragma once
// Sample records built from a record layout, and a deep comparison of two records, for the session tests.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/session/XdrLayout.h"

namespace sessiontest {

struct SampleShape {
    bool nullStrings = false;  // every char* null instead of a text
    uint32_t entries = 3;      // entries of every array and bytes of every byte string and trailing part
    size_t stringLength = 5;   // length of every text (a different text per field)
};

// A record of `layout` with every scalar set to a distinct value that fills its width, and every string, byte
// string, array and trailing part as the shape says. The record and all it points at belong to the sample.
class SampleRecord {
public:
    SampleRecord(const wzsession::RecordLayout& layout, const SampleShape& shape);
    char* data() { return record_.data(); }
    size_t length() const { return record_.size(); }

private:
    void fill(const wzsession::RecordLayout& layout, char* at);
    char* keep(std::vector<char> bytes);

    SampleShape shape_;
    uint64_t next_ = 1;
    std::vector<char> record_;
    std::deque<std::vector<char>> owned_;
};

// Compares two records of `layout` field by field (strings and arrays by content); every difference is reported
// as a test failure naming the field path.
void expectSameRecord(const wzsession::RecordLayout& layout, const char* expected, const char* actual,
                      const std::string& path);

}  // namespace sessiontest
