// The buffers that come between an item's file header and its data: the optional header (ACLs and extended
// attributes, held while the item's open is delayed), the two optional-header kinds of other platforms, and the index
// header, which gives a delayed item its real path and opens it, and a container item its extents.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreObject.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/stream/ItemEnd.h"
#include "clRestore/stream/OptionalHeaders.h"
#include "clRestore/stream/ReferenceCopyNames.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/index/IndexMetaDataHelper.h"
#include "platform/log/LogWriter.h"
#include "platform/restorefiles/ExtentNameConverter.h"
#include "platform/support/FXPath.h"
#include "protocol/PipelineBuffer.h"

namespace {

// Fields and keys of the index-metadata message.
constexpr int kMessageLibrary = 101;
constexpr int kMessageIndexMetadata = 93;
constexpr int kFieldRealPath = 22;
constexpr int kFieldHadoop = 10;
constexpr uint32_t kKeyMessage = 0x65f4850c;
constexpr uint32_t kKeyRealPath = 0xef352;
constexpr uint32_t kKeyHadoop = 0x157ab8;

unsigned long factoryCode(const FclRestore& job) {
    return job._factory != nullptr ? job._factory->getErrCode() : 0;
}

void dropObject(FclRestore& job) {
    if (job._ro != nullptr && job._ro == job.HLRO) {
        // The object of an item's first restored name: its name gets its result now, and the item's later names no
        // object to be linked to.
        const unsigned long code = factoryCode(job) != 0 ? factoryCode(job) : fclitem::kCreateFailed;
        job.HandleRestoreFileUpdate(job._ro->getTranslatedPathname().c_str(), static_cast<int>(code), nullptr, "");
        fclstream::settleLinkedNames(job, code, false);
        job.HLRO = nullptr;
    }
    delete job._ro;
    job._ro = nullptr;
}

void holdOptHeader(FclRestore& job, const void* payload, int length) {
    free(job._savedOptHdr);
    job._savedOptHdr = nullptr;
    job._savedOptHdrLen = 0;
    if (length <= 0) {
        return;
    }
    void* copy = malloc(static_cast<size_t>(length));
    if (copy == nullptr) {
        return;
    }
    memcpy(copy, payload, static_cast<size_t>(length));
    job._savedOptHdr = copy;
    job._savedOptHdrLen = length;
}

void releaseOptHeader(FclRestore& job) {
    free(job._savedOptHdr);
    job._savedOptHdr = nullptr;
    job._savedOptHdrLen = 0;
}

// A new path for the current object; a name the factory's naming refuses fails the item as an open failure would.
bool resetPath(FclRestore& job, const std::string& path) {
    try {
        job._ro->resetFilePath(path, &job._savedFileHeader, job._delayOpenVersion);
        return true;
    } catch (const ClExceptError& e) {
        FCL_ERROR("The real path '%s' of the item cannot be restored (0x%lx)", path.c_str(),
                  static_cast<unsigned long>(e.getErrCode()));
        job._factory->setErrCode(static_cast<unsigned long>(e.getErrCode()));
        dropObject(job);
        return false;
    }
}

// A reference-copy job restores the item at its reference-copy path.
std::string referenceCopyPath(FclRestore& job, const std::string& path) {
    std::string mapped;
    if (!fclstream::referenceCopyName(job, path, mapped)) {
        return path;
    }
    FCL_LOG(4, "Long path mapped to filepath '%s' [%ld] long.", path.c_str(), static_cast<long>(path.size()));
    return mapped;
}

void openAtRealPath(FclRestore& job, IdxMetadata::IdxMetaData& metadata) {
    IdxMetadata::FieldObject* field = metadata.getObjectAccessor(true, false, kFieldRealPath, kFieldRealPath,
                                                                 kKeyMessage, kKeyRealPath, kMessageLibrary, 34);
    const std::string path =
        referenceCopyPath(job, field != nullptr ? field->getstring(1, 1, 0x65fef27d, 0xb932e3) : std::string());
    if (!resetPath(job, path)) {
        return;
    }
    job._fclRestoreUnix->setEBLongRealPath(path);
    auto* object = dynamic_cast<FsRestoreUnixObject*>(job._ro);
    if ((job._savedFileHeader.h_flags2 & CXHDR_F2_EXTENT) != 0 && object != nullptr) {
        std::string name;
        unsigned long long extent = 0;
        ExtentNameConverter().GetFileNameAndExtentNumber(job._ro->getTranslatedPathname(), name, extent);
        const size_t slash = name.find_last_of('/');
        if (slash != std::string::npos && slash + 1 == name.size()) {
            name.erase(slash);
        }
        object->setTranslatedPathForExtentRestore(name);
        object->setExtentId(extent);
    }
    if (job._ro->openObject() == 0) {
        FCL_ERROR("openObject() failed for '%s'", job._ro->getTranslatedPathname().c_str());
        if (factoryCode(job) == fclitem::kDiskFull) {
            job.processDiskFullError();
        }
        dropObject(job);
        return;
    }
    job._delayedObjectOpened = true;
    if (factoryCode(job) != 0) {
        return;
    }
    if (job._savedOptHdrLen == 0) {
        FCL_ERROR("No saved info found for OptHeader.");
        return;
    }
    job._ro->writeOptHeader(job._savedOptHdr, job._savedOptHdrLen);
    releaseOptHeader(job);
}

void noteContainerExtents(FclRestore& job, const ParseBufferParams& params) {
    unsigned long long count = 0;
    bool seen = false;
    for (size_t i = 0; i < params.properties.size() && i < params.values.size(); ++i) {
        const unsigned id = params.properties[i].propertyId;
        if (id == fclstream::kPropertyExtentCount) {
            count = strtoull(params.values[i].c_str(), nullptr, 10);
            seen = true;
        } else if (id == fclstream::kPropertyExtentSize) {
            seen = true;
            if (auto* object = dynamic_cast<FsRestoreUnixObject*>(job._ro)) {
                object->setExtentSize(strtoull(params.values[i].c_str(), nullptr, 10));
            }
        }
    }
    if (!seen) {
        return;
    }
    if (auto* object = dynamic_cast<FsRestoreUnixObject*>(job._ro)) {
        object->setNumExtents(count);
        job._fclRestoreUnix->SetContainerFileLastExtent(true);
    }
}

void chownHadoopItem(FclRestore& job, IdxMetadata::IdxMetaData& metadata) {
    IdxMetadata::FieldObject* hadoop = metadata.getObjectAccessor(true, false, kFieldHadoop, kFieldHadoop, kKeyMessage,
                                                                  kKeyHadoop, kMessageLibrary, 28);
    IdxMetadata::FieldObject* names =
        hadoop != nullptr ? hadoop->getObjectAccessor(true, false, 1, 1, 0x65f00e98, 0x82c9f7, kMessageLibrary, 26)
                          : nullptr;
    if (names == nullptr) {
        return;
    }
    const std::string owner = names->getstring(2, 2, 0x65b56d65, 0x1afcf6);
    const std::string group = names->getstring(3, 6, 0x65b56d65, 0x988daa);
    auto* object = dynamic_cast<FsRestoreUnixObject*>(job._ro);
    if (object == nullptr) {
        return;
    }
    const std::string path = object->getTranslatedPathname();
    FCL_LOG(4, "Chown(%s, %s, %s)", path.c_str(), owner.c_str(), group.c_str());
    if (object->ChownFile(path, owner, group) < 0) {
        FCL_ERROR("chwon(%s, %s, %s) failed, error='%s'", path.c_str(), owner.c_str(), group.c_str(), strerror(errno));
    }
}

}  // namespace

// An optional header still held says the real path never came; without one, the object tells whether anything
// opened it (an object of a kind that cannot tell is taken as open).
bool fclstream::waitsForRealPath(const FclRestore& job) {
    return job._ro != nullptr && job._delayOpen &&
           (job._savedOptHdrLen != 0 || (!job._delayedObjectOpened && !holdsItemOpen(*job._ro)));
}

void fclstream::failItemWithoutRealPath(FclRestore& job) {
    if (job._itemDataError != 0) {
        return;
    }
    FCL_ERROR("The real path of '%s' never came: its data is dropped and the item fails",
              job._ro != nullptr ? job._ro->getTranslatedPathname().c_str() : "");
    job._itemDataError = factoryCode(job) != 0 ? factoryCode(job) : fclitem::kCreateFailed;
}

void fclstream::openAwaitedObject(FclRestore& job) {
    if (!job._openAwaitsOptHdr) {
        return;
    }
    job._openAwaitsOptHdr = false;
    if (job._ro == nullptr || job._factory == nullptr) {
        return;
    }
    FCL_LOG(4, "'%s' carries no ACL data; it is opened at its first data or end",
            job._ro->getTranslatedPathname().c_str());
    if (job._ro->openObject() != 0) {
        return;
    }
    FCL_LOG(1, "openObject() failed for '%s'", job._ro->getTranslatedPathname().c_str());
    if (factoryCode(job) == fclitem::kDiskFull) {
        job.processDiskFullError();
    }
    dropObject(job);
}

void FclRestore::OnBufferPlFsOptHdr(void* buffer, int length) {
    void* payload = PipelineBufPayload(buffer);
    if (bDelayOpenObject && HLRO != nullptr && _ro == nullptr) {
        // An item named only by its hard-link names: its ACLs and attributes go to the object of its first name.
        _ro = HLRO;
    }
    if (_delayOpen && _delayedObjectOpened && _ro != nullptr) {
        // Its real path came first and opened it: held, the header would wait for a path that will not come again.
        // The item fails as a whole, its file closed as failed, rather than being restored without its attributes.
        FCL_ERROR("The optional header of '%s' came after its real path; the item is not restored",
                  _ro->getTranslatedPathname().c_str());
        if (_itemDataError == 0) {
            _itemDataError = fclitem::kCreateFailed;
        }
        return;
    }
    if (_delayOpen || _fclRestoreUnix->IsContentIndexingRestore()) {
        holdOptHeader(*this, payload, length);
        return;
    }
    const unsigned long code = factoryCode(*this);
    if (_ro == nullptr || _factory == nullptr || (code != 0 && code != fclitem::kSkippedSilently)) {
        return;
    }
    _openAwaitsOptHdr = false;
    if (_ro == HLRO) {
        // The object of an item's first restored name was opened at that name: opened again it would lose its
        // descriptor. Only the ACL check is left, and a refusal fails the item, its file closed as failed at its end.
        auto* object = dynamic_cast<FsRestoreUnixObject*>(_ro);
        if (_fclRestoreUnix->IsDisableACLPassthroughFeatureConfigured() && object != nullptr &&
            !object->ShouldRestoreFileBasedOnACL(payload, length)) {
            if (_itemDataError == 0) {
                _itemDataError = factoryCode(*this) != 0 ? factoryCode(*this) : fclitem::kRefusedByAclPassthrough;
            }
            return;
        }
    } else if (!_fclRestoreUnix->ProcessDisableACLPassthroughFeature(_ro, payload, length)) {
        if (factoryCode(*this) == fclitem::kDiskFull) {
            processDiskFullError();
        }
        dropObject(*this);
        return;
    }
    _ro->writeOptHeader(payload, length);
}

void FclRestore::OnBufferPlFsOptHdr3(void*, int) {
    FCL_LOG(0, "WARNING:  Ignoring PL_FS_OPT_HDR3 buffer as not relevant on Unix.");
}

void FclRestore::OnBufferPlFsOptHdr4(void*, int) {
    FCL_LOG(0, "WARNING:  Ignoring PL_FS_OPT_HDR4 buffer as not relevant on Unix.");
}

void FclRestore::OnBufferPlFsIndexHdr(void* buffer, int length) {
    if (_ro == nullptr) {
        return;
    }
    IdxMetadata::IdxMetaData metadata(kMessageLibrary, kMessageIndexMetadata);
    ParseBufferParams params;
    if (_fclRestoreUnix->CollateIdxMetadataIfRequired(buffer, length, params, metadata) != 0) {
        return;
    }
    if (_fclRestoreUnix->IsContentIndexingRestore()) {
        for (size_t i = 0; i < params.properties.size() && i < params.values.size(); ++i) {
            if (params.properties[i].propertyId == fclstream::kPropertyContentIndexPath) {
                std::string path = _factory->getDestDir();
                FXPath::Append(path, params.values[i], 0);
                resetPath(*this, path);
                break;
            }
        }
    } else if (_delayOpen && !_delayedObjectOpened && metadata.isSet(kFieldRealPath, kKeyMessage, kKeyRealPath)) {
        openAtRealPath(*this, metadata);
    }
    if (_ro != nullptr && (_savedFileHeader.h_flags2 & CXHDR_F2_CONTAINER) != 0) {
        noteContainerExtents(*this, params);
    }
    if (_ro != nullptr && IsHadoopRestore() && metadata.isSet(kFieldHadoop, kKeyMessage, kKeyHadoop)) {
        chownHadoopItem(*this, metadata);
    }
}
