#pragma once
// A job with a test factory and test objects, fed buffers the way the pipeline reader feeds them: the reader's own
// header and pre-header records, each buffer a 96-byte pipeline header and its payload.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocol/CXFileHeader.h"
#include "protocol/FSRPreHeader.h"
#include "tests/common/TestSupport.h"
#include "tests/unit/stream/StreamDoubles.h"

namespace streamtest {

constexpr unsigned long kUnixFsAppType = 29;

// A pipeline buffer of `payload` bytes, with both lengths of its header set (big-endian).
std::vector<unsigned char> pipelineBuffer(size_t payload, uint32_t compressedLength = 0);
// A host-order header for `name`: a regular file of mode 0644 unless `mode` says otherwise.
CXFileHeader hostHeader(const std::string& name, uint64_t mode = 0100644);

class StreamFixture : public ::testing::Test {
protected:
    explicit StreamFixture(unsigned long options = 0);
    ~StreamFixture() override;

    // A PL_FS_HDR for `header` (host order; sent in network order), after `prehdr` when given.
    void header(const CXFileHeader& header, const FSRPreHeader* prehdr = nullptr);
    void header(const std::string& name, uint64_t mode = 0100644) { header(hostHeader(name, mode)); }
    void data(const std::string& bytes, uint32_t compressedLength = 0);
    void hole(uint32_t length);
    void eof();
    void badFile();
    // The object of `item` works on a real file in the scratch directory (whose partial file a failure may remove),
    // its `failWriteAt`-th write failing with `failCode`; the file's path.
    std::string planPartialFile(const std::string& item, int failWriteAt = -1, unsigned long failCode = 0x17000012);
    // The journal's calls from the first one that begins with `prefix` on.
    std::vector<std::string> callsFrom(const std::string& prefix) const;

    fcltest::ScratchDir scratch_;
    // Whether items are held to the size their header gives (the engine always does; most tests opt out).
    bool checkSizes_ = false;
    Journal journal_;
    std::unique_ptr<TestJob> job_;
    TestFactory* factory_;  // owned by the job
    CXFileHeader hdr_;      // the reader's records
    FSRPreHeader prehdr_;
};

}  // namespace streamtest
