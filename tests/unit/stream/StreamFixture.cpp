#include "tests/unit/stream/StreamFixture.h"

#include <cstring>

#include "clRestore/objects/ProcessRestoreState.h"
#include "clRestore/stream/ConvertCXFileHeader.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/settings/SettingsFile.h"
#include "platform/support/ByteOrder.h"
#include "protocol/PipelineBuffer.h"

namespace streamtest {

std::vector<unsigned char> pipelineBuffer(size_t payload, uint32_t compressedLength) {
    std::vector<unsigned char> buffer(PL_BUF_HEADER_SIZE + payload, 0);
    auto* bufferHeader = reinterpret_cast<PipelineBufHeader_t*>(buffer.data());
    bufferHeader->payloadLength = htonl(static_cast<uint32_t>(payload));
    bufferHeader->compressedLength = htonl(compressedLength);
    return buffer;
}

CXFileHeader hostHeader(const std::string& name, uint64_t mode) {
    CXFileHeader header;
    std::memset(header.h_filename, 0, sizeof header.h_filename);
    std::strncpy(header.h_filename, name.c_str(), sizeof header.h_filename - 1);
    header.h_namelen = static_cast<uint32_t>(name.size() + 1);
    header.h_mode = mode;
    header.h_nlink = 1;
    header.h_size = 4096;
    header.h_mtime = 1700000000;
    header.h_ctime = 1700000100;
    header.h_atime = 1700000200;
    header.h_platform = CXHDR_PLATFORM_UNIX;
    return header;
}

StreamFixture::StreamFixture(unsigned long options) : scratch_("fclstream") {
    resetProcessRestoreState();
    wzplatform::setResultsDirectory(scratch_ / "results");
    wzplatform::setSettingsFile(scratch_ / "settings.ini");
    wzplatform::clearRaisedEvents();
    wzplatform::clearPendingCauses();
    std::memset(static_cast<void*>(&prehdr_), 0, sizeof prehdr_);
    job_.reset(new TestJob(journal_));
    factory_ = new TestFactory(journal_, options);
    job_->_factory = factory_;
    job_->_initData = new FSRInitData;
    job_->_initData->appType = kUnixFsAppType;
    job_->_setParams = new FSRSetParams;
    job_->_setParams->options = options;
    job_->_statistics = new FsRestoreStatistics(10);
    job_->_event = new EvEvent();
    job_->_rstJobClient = new WZRstJobClient();
    job_->_rstJobClientReady = 1;
}

StreamFixture::~StreamFixture() {
    // A test object still open is not a partial file: the job's destructor would remove its made-up path.
    delete job_->_ro;
    job_->_ro = nullptr;
    job_.reset();
    resetProcessRestoreState();
    wzplatform::setSettingsFile("");
}

void StreamFixture::header(const CXFileHeader& header, const FSRPreHeader* prehdr) {
    std::memset(static_cast<void*>(&prehdr_), 0, sizeof prehdr_);
    if (prehdr != nullptr) {
        prehdr_ = *prehdr;
    }
    std::vector<unsigned char> buffer = pipelineBuffer(CXHDR_SIZE);
    CXFileHeader host = header;
    // The conversion swaps each field both ways alike: host order in, network order out.
    ConvertCXFileHeaderFromNetOrder(&host, reinterpret_cast<CXFileHeader*>(PipelineBufPayload(buffer.data())));
    job_->OnBufferPlFsHdr(buffer.data(), &hdr_, &prehdr_);
    if (!checkSizes_) {
        // Most tests send what data they need under a header of a fixed size; the size check has tests of its own.
        job_->_itemSizeExpected = FclRestore::kSizeUnchecked;
    }
}

void StreamFixture::data(const std::string& bytes, uint32_t compressedLength) {
    std::vector<unsigned char> buffer = pipelineBuffer(bytes.size(), compressedLength);
    std::memcpy(PipelineBufPayload(buffer.data()), bytes.data(), bytes.size());
    job_->OnBufferPlData(buffer.data(), static_cast<int>(bytes.size()));
}

void StreamFixture::hole(uint32_t length) {
    std::vector<unsigned char> buffer = pipelineBuffer(sizeof length);
    wzbytes::storeBE32(PipelineBufPayload(buffer.data()), length);
    job_->OnBufferPlHole(buffer.data());
}

void StreamFixture::eof() {
    std::vector<unsigned char> buffer = pipelineBuffer(0);
    job_->OnBufferPlFsEof(buffer.data(), &hdr_);
    std::memset(static_cast<void*>(&prehdr_), 0, sizeof prehdr_);
}

void StreamFixture::badFile() {
    std::vector<unsigned char> buffer = pipelineBuffer(0);
    job_->OnBufferPlFsBadEof(buffer.data(), &hdr_);
    std::memset(static_cast<void*>(&prehdr_), 0, sizeof prehdr_);
}

std::string StreamFixture::planPartialFile(const std::string& item, int failWriteAt, unsigned long failCode) {
    Plan plan;
    plan.script.path = scratch_ / "partial";
    plan.script.failWriteAt = failWriteAt;
    plan.script.failCode = failCode;
    fcltest::writeFile(plan.script.path, "part");
    factory_->plans[item] = plan;
    return plan.script.path;
}

std::vector<std::string> StreamFixture::callsFrom(const std::string& prefix) const {
    auto at = journal_.calls.begin();
    while (at != journal_.calls.end() && at->compare(0, prefix.size(), prefix) != 0) {
        ++at;
    }
    return std::vector<std::string>(at, journal_.calls.end());
}

}  // namespace streamtest
