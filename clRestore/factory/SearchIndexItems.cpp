// The destination names of a search-index item. Such an item's source path is a dummy path that says where the
// file belongs in the index; the job's index client turns it into the real location. Troubleshooting content keeps
// its ordinary naming.
//
// What the index answers is a path like any the stream brings: an out-of-place path must stay under the destination
// (the troubleshooting folder under its own folder), an in-place path is named through the ordinary naming and its
// checks, and an item the index cannot place fails with the no-destination id, never a restore somewhere else.
#include <sys/stat.h>

#include <new>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FSRestoreSolrDBFile.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "clRestore/support/PathSafety.h"
#include "platform/apps/SolrIndexClients.h"
#include "platform/files/FileCalls.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/support/FXPath.h"
#include "protocol/FsrMessages.h"

namespace {

const int kErrorNoRestorePath = 774;
const int kErrorFunctionFailed = 1627;
const uint64_t kTroubleshootingFlag = 1ULL << 40;
const uint64_t kUnconditionalOverwrite = 0x4;
// The kind of a collection's file that a newer copy on disk keeps.
const int kKindKeptWhenNewer = 4;
const char kTroubleshootingFolder[] = "Troubleshooting";

[[noreturn]] void throwItemError(unsigned long id) {
    throw ClExceptError(static_cast<int>(id));
}

// For a dummy path the index cannot read: troubleshooting content is named from its own name (into `translated`
// and `real`) and succeeds; anything else is `error`.
CQiError ownNameOrError(FsRestoreUnixObjectsFactory& factory, CXFileHeader& header, const std::string& name,
                        const CQiError& error, std::string& translated, std::string& real) {
    if ((header.flags & kTroubleshootingFlag) == 0) {
        FCL_ERROR("Failed to parse the dummy path [%s]. Error [%s].", name.c_str(), error.AsString().c_str());
        return error;
    }
    FCL_LOG(0, "The current file [%s] is a troubleshooting content", name.c_str());
    if (!factory.preapreFileName(name.c_str(), translated, real, &header)) {
        throwItemError(fclitem::kNoDestination);
    }
    return CQiError::Success();
}

// "D:\..." names a file of a Windows machine: content gathered for troubleshooting, not an index file.
bool isDrivePath(const std::string& name) {
    return name.size() >= 3 && name[1] == ':' && name[2] == '\\';
}

CQiError noRestorePath(const FXCodeLocation& where) {
    return FXErrorUtil::ErrorWin32(where, kErrorNoRestorePath, "Failed to get restore file path");
}

// The job's index client; null when the job made none.
IDBBackup* indexOf(FclRestore& job) {
    boost::shared_ptr<IDBBackup>* index = job.GetSolrIndexDB();
    return index != nullptr ? index->get() : nullptr;
}

CQiError noIndexClient(const FXCodeLocation& where) {
    return FXErrorUtil::ErrorWin32(where, kErrorFunctionFailed, "The job has no search-index client");
}

}  // namespace

CQiError FsRestoreUnixObjectsFactory::processSolrDBFileHeader(CXFileHeader header) {
    CQiError error = (_options & FSR_OPT_OUT_OF_PLACE) != 0 ? processSolrOutOfplaceRestore(header)
                                                            : processSolrInplaceRestore(header);
    if (error.IsError()) {
        // The object is not made: the item fails as one without a destination, not as one without memory.
        setErrCode(fclitem::kNoDestination);
        error.Push(FX_HERE);
        return error;
    }
    return CQiError::Success();
}

CQiError FsRestoreUnixObjectsFactory::processSolrOutOfplaceRestore(CXFileHeader& header) {
    FclRestore* job = _fclRestore;
    if (job == nullptr) {
        return noRestorePath(FX_HERE);
    }
    // A collection restored out of place keeps the names the ordinary naming gave.
    if (job->IsSolrCloudRestore()) {
        return CQiError::Success();
    }
    const std::string name = headerItemName(&header);
    const std::string destination = _destDir != nullptr ? _destDir : "";
    std::string path;
    bool unmapped = false;
    IDBBackup* index = indexOf(*job);
    CQiError error =
        index != nullptr ? index->GetOutOfPlaceRestorePath(name, destination, path, unmapped) : noIndexClient(FX_HERE);
    std::string base = destination;
    if (error.IsError()) {
        if (!isDrivePath(name)) {
            return error;
        }
        FCL_LOG(2, "[%s] is not an index file: it goes to the troubleshooting folder", name.c_str());
        path = destination;
        FXPath::Append(path, kTroubleshootingFolder, 0);
        base = path;
        FXPath::Append(path, name.substr(3), 0);
    }
    if (unmapped) {
        throwItemError(fclitem::kNoDestination);
    }
    if (path.empty() || destination.empty()) {
        FCL_ERROR("The search index gave no destination for [%s]", name.c_str());
        throwItemError(fclitem::kNoDestination);
    }
    checkItemDestination(path, base);
    _itemFilename = path;
    _itemFilenameA = path;
    return CQiError::Success();
}

CQiError FsRestoreUnixObjectsFactory::processSolrInplaceRestore(CXFileHeader& header) {
    FclRestore* job = _fclRestore;
    if (job == nullptr) {
        return noRestorePath(FX_HERE);
    }
    const std::string name = headerItemName(&header);
    std::string actualPath;
    bool unmapped = false;
    IDBBackup* index = indexOf(*job);
    CQiError error =
        index != nullptr ? index->GetInplaceRestorePath(name, actualPath, unmapped) : noIndexClient(FX_HERE);
    if (error.IsError()) {
        return ownNameOrError(*this, header, name, error, _itemFilename, _itemFilenameA);
    }
    FCL_LOG(7, "Actual Solr path : %s", actualPath.c_str());

    error = job->IsSolrCloudRestore() ? processSolrInplaceRestore_HandleSolrCloud(header, actualPath, unmapped)
                                      : processSolrInplaceRestore_HandleSolrIndex(header, actualPath, unmapped);
    if (error.IsError()) {
        error.Push(FX_HERE);
        return error;
    }
    if (unmapped) {
        throwItemError(fclitem::kNoDestination);
    }
    // A relative path would be resolved against whatever directory the process is in.
    if (actualPath.empty() || actualPath[0] != '/') {
        FCL_ERROR("The search index places [%s] at [%s], which is no absolute path", name.c_str(), actualPath.c_str());
        throwItemError(fclitem::kNoDestination);
    }
    if (!preapreFileName(actualPath.c_str(), _itemFilename, _itemFilenameA, &header) || _itemFilename.empty()) {
        throwItemError(fclitem::kNoDestination);
    }
    return CQiError::Success();
}

CQiError FsRestoreUnixObjectsFactory::processSolrInplaceRestore_HandleSolrCloud(CXFileHeader& header,
                                                                                std::string& actualPath,
                                                                                bool& unmapped) {
    const std::string name = headerItemName(&header);
    RestoreCloudFileDetail detail;
    CQiError error = detail.ParseDummyFilePath(name, unmapped);
    if (error.IsError()) {
        return ownNameOrError(*this, header, name, error, _itemFilename, _itemFilenameA);
    }
    if (detail.GetFileType() == kKindKeptWhenNewer && (_options & kUnconditionalOverwrite) != 0) {
        struct stat st = {};
        if (stat_utf(actualPath.c_str(), &st) == 0 &&
            static_cast<long long>(st.st_mtime) > static_cast<long long>(static_cast<uint32_t>(header.mtime))) {
            FCL_LOG(0, "Newer version exists for Solr file %s", actualPath.c_str());
            throwItemError(fclitem::kSkippedExisting);
        }
    }
    return CQiError::Success();
}

CQiError FsRestoreUnixObjectsFactory::processSolrInplaceRestore_HandleSolrIndex(CXFileHeader& /*header*/,
                                                                                std::string& /*actualPath*/,
                                                                                bool& /*unmapped*/) {
    // A single node's files need nothing beyond the lookup.
    return CQiError::Success();
}

FsRestoreUnixObject* FsRestoreUnixObjectsFactory::CreateSolrDBRestoreFileObject(CXFileHeader* header) {
    FSRestoreSolrDBFile* object = new (std::nothrow) FSRestoreSolrDBFile(header, this);
    if (object == nullptr) {
        FCL_ERROR("Failed to create restore object for the file [%s]", headerItemName(header).c_str());
        throwItemError(fclitem::kNoMemory);
    }
    return object;
}
