// The names of an item whose header carried only a placeholder name: each PL_FS_OPT_HDR2 brings one. The first name
// that is restored gets the item's object (and its data); every later one is linked to it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/objects/FsRestoreObject.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/stream/HardLinks.h"
#include "clRestore/stream/HeaderName.h"
#include "clRestore/stream/ReferenceCopyNames.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "platform/support/ByteOrder.h"
#include "protocol/PipelineBuffer.h"

namespace {

void record(FclRestore& job, const std::string& name, unsigned long code) {
    job.HandleRestoreFileUpdate(name.c_str(), static_cast<int>(code), nullptr, "");
}

// The name a PL_FS_OPT_HDR2 carries, bounded by both the length given and the buffer's own payload length.
std::string nameOf(void* buf, int length) {
    const auto* bufferHeader = static_cast<const PipelineBufHeader_t*>(buf);
    const size_t held = ntohl(bufferHeader->payloadLength);
    const size_t given = length > 0 ? static_cast<size_t>(length) : 0;
    const char* text = reinterpret_cast<const char*>(PipelineBufPayload(buf));
    return std::string(text, strnlen(text, std::min(given, held)));
}

// For a name longer than a header holds: a stand-in beside the name's deepest ancestor that fits, so that it lies
// under the same source paths, named by the item's inode. The object is made under it and given the name itself
// before it opens, as a long path's object is.
std::string standInFor(const std::string& name, const CXFileHeader& hdr) {
    const uint64_t inode = (static_cast<uint64_t>(hdr.h_inoHigh) << 32) | hdr.h_inoLow;
    const std::string leaf = "/.fcl-long-path-" + std::to_string(inode);
    const size_t cut = name.rfind('/', CXHDR_NAME_SIZE - 1 - leaf.size());
    return name.substr(0, cut == std::string::npos ? 0 : cut) + leaf;
}

// The first restored name: the item's object is made and opened under it.
void openFirstName(FclRestore& job, const std::string& name, unsigned long version) {
    FsRestoreObjectsFactory* factory = job._factory;
    std::string dest =
        fclstream::translateLinkName(job, name, "+++23+++mapping information tell to not restore this file");
    if (dest.empty()) {
        return;
    }
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    unix._hlinkBaseFile = false;
    const bool overwrite =
        IfHLToBeOverWritten(dest, job._savedFileHeader.h_mtime, factory, job._event, unix._hlinkBaseFile, true);
    if (!overwrite && !unix._hlinkBaseFile) {
        // The destination stays as it is; the next name is tried as the object's.
        fclstream::setHeaderName(&job._savedFileHeader, dest, false);
        record(job, dest, fclitem::kSkippedExisting);
        return;
    }
    std::string own = name;
    while (own.size() > 1 && own.back() == '/') {
        own.pop_back();
    }
    const bool fits = fclstream::setHeaderName(&job._savedFileHeader, own, false);
    if (!fits && !fclstream::setHeaderName(&job._savedFileHeader, standInFor(own, job._savedFileHeader), false)) {
        FCL_ERROR("The name [%s] does not fit the item's header; it is not restored", own.c_str());
        unix._hlinkBaseFile = false;
        record(job, dest, fclitem::kPathTooLong);
        return;
    }
    factory->setErrCode(0);
    try {
        job.HLRO = factory->createRestoreObject(&job._savedFileHeader, version);
        if (job.HLRO != nullptr && !fits) {
            job.HLRO->resetFilePath(own, &job._savedFileHeader, static_cast<int>(version));
        }
    } catch (const ClExceptError& e) {
        FCL_LOG(2, "+++++?????22????????????+HLDEBUG RBJ Optional Header for %s", name.c_str());
        factory->setErrCode(static_cast<unsigned long>(e.getErrCode()));
        delete job.HLRO;
        job.HLRO = nullptr;
    } catch (const std::bad_alloc&) {
        delete job.HLRO;
        job.HLRO = nullptr;
    }
    if (job.HLRO == nullptr) {
        if (factory->getErrCode() == 0) {
            fclstream::noteNoMemory(job);
        }
    } else {
        job.HLRO->setArchFileAppType(job._archFileAppType);
        job.HLRO->setDocRestore(job.m_docRestore);
        if (job.HLRO->openObject() == 0) {
            FCL_LOG(1, "openObject() failed for '%s'", job.HLRO->getTranslatedPathname().c_str());
            delete job.HLRO;
            job.HLRO = nullptr;
        }
    }
    // The base-file flag goes with the object it was set for, and only while there is one.
    job._hlroBaseFile = job.HLRO != nullptr && unix._hlinkBaseFile;
    unix._hlinkBaseFile = false;
    if (job.HLRO == nullptr) {
        const unsigned long code = factory->getErrCode();
        record(job, dest, code != 0 ? code : fclitem::kCreateFailed);
    }
    // An object that opened is recorded at the item's end, with what became of its data.
}

// The factory's code is the object's while it takes data: a later name's link leaves it as it found it.
class KeepsObjectCode {
public:
    explicit KeepsObjectCode(FsRestoreObjectsFactory* factory) : factory_(factory), code_(factory->getErrCode()) {}
    ~KeepsObjectCode() { factory_->setErrCode(code_); }
    KeepsObjectCode(const KeepsObjectCode&) = delete;
    KeepsObjectCode& operator=(const KeepsObjectCode&) = delete;

private:
    FsRestoreObjectsFactory* factory_;
    unsigned long code_;
};

void linkLaterName(FclRestore& job, const std::string& name) {
    FCL_LOG(2, "++++++HLDEBUG +++2 RBJ HLRO IS   [%p]", static_cast<void*>(job.HLRO));
    FsRestoreObjectsFactory* factory = job._factory;
    const KeepsObjectCode keep(factory);
    std::string dest =
        fclstream::translateLinkName(job, name, "+++24+++mapping information tell to not restore this file");
    if (dest.empty()) {
        return;
    }
    std::string primary = job.HLRO->getTranslatedPathname();
    const uint64_t archiveTime = job._savedFileHeader.h_mtime;
    if (!IfHLToBeOverWritten(dest, archiveTime, factory, job._event, dummyHlinkVar, false)) {
        record(job, dest, fclitem::kSkippedMissing);
    } else if (CreateHLDirTree(primary, dest, archiveTime, factory, job._event)) {
        FCL_LOG(2, "sending update for %s", dest.c_str());
        if (factory->getErrCode() == 0) {
            // A new name of the item's file, before its data: restored only as the file is, which its end tells.
            job._hlroLinkedNames.push_back(dest);
        } else {
            record(job, dest, factory->getErrCode());
        }
    } else {
        record(job, dest, fclitem::kCreateFailed);
    }
}

}  // namespace

void FclRestore::OnBufferPlFsOptHdr2(void* buf, int length) {
    std::string name = nameOf(buf, length);
    const unsigned long version = (_savedPreHeader.flags & FSR_PREHDR_HAS_VERSION) != 0 ? _savedPreHeader.version : 0;
    FCL_LOG(2, "++++++HLDEBUG Optional Header 2 for %s bIgnoreOptHeaders %d bDelayOpenObject %d", name.c_str(),
            bIgnoreOptHeaders ? 1 : 0, bDelayOpenObject ? 1 : 0);
    if (bIgnoreOptHeaders) {
        FCL_LOG(2, "++++++HLDEBUG RBI Ignoring Optional Header for %s", name.c_str());
        return;
    }
    if (!bDelayOpenObject) {
        FCL_LOG(0, "WARNING:  Ignoring PL_FS_OPT_HDR2 buffer as not relevant on Unix.");
        return;
    }
    FCL_LOG(2, "++++++HLDEBUG RBJ Optional Header for %s", name.c_str());
    if (_factory == nullptr || name.empty()) {
        return;
    }
    // Named as the item's other names are, or it would lie under none of the job's (rewritten) source paths.
    std::string mapped;
    if (fclstream::referenceCopyName(*this, name, mapped)) {
        name = mapped;
    }
    if (HLRO == nullptr) {
        openFirstName(*this, name, version);
    } else {
        linkLaterName(*this, name);
    }
}
