// A file of a search-index database. It is restored as a regular file; restored in place on a single node, a
// metadata file is then handed to the index and removed, since the index keeps what it says.
#include "clRestore/objects/FSRestoreSolrDBFile.h"

#include <boost/pointer_cast.hpp>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/support/PathSafety.h"
#include "platform/apps/SolrIndexClients.h"
#include "platform/files/FXFile.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXErrorUtil.h"
#include "protocol/FsrMessages.h"

namespace {

const int kErrorNotSingleNodeIndex = 14;
const uint64_t kTroubleshootingFlag = 1ULL << 40;
// The kind of a dummy path that names the index's metadata.
const int kKindMetadata = 3;

bool restoresOutOfPlace(FsRestoreUnixObjectsFactory& factory) {
    return (factory.getOptions() & FSR_OPT_OUT_OF_PLACE) != 0;
}

}  // namespace

int FSRestoreSolrDBFile::closeObject() {
    if (_dontRestore != 0) {
        return 1;
    }
    if (FsRestoreFile::closeObject() == 0) {
        return 0;
    }
    // A stub left in place holds no metadata, and a second name of a hard link was handed over under its first.
    if (_dontRestoreStubWithGUID || _hardLink != 0) {
        return 1;
    }
    FclRestore* job = _ownerFactory->getJob();
    if (restoresOutOfPlace(*_ownerFactory) || (job != nullptr && job->IsSolrCloudRestore())) {
        return 1;
    }
    CQiError error = CheckAndUpdateMetadata();
    if (error.IsError()) {
        FCL_ERROR("Failed to update the meta data. Error [%s]", error.AsString().c_str());
        return 0;
    }
    return 1;
}

CQiError FSRestoreSolrDBFile::CheckAndUpdateMetadata() {
    const std::string name = headerItemName(_header);
    RestoreFileDetail detail;
    bool unmapped = false;
    CQiError error = detail.ParseDummyFilePath(name, unmapped);
    if (error.IsError()) {
        if (_header != nullptr && (_header->flags & kTroubleshootingFlag) != 0) {
            FCL_LOG(3, "The current file [%s] is a troubleshooting content", name.c_str());
            return CQiError::Success();
        }
        FCL_ERROR("Failed to parse the dummy path [%s]. Error [%s].", name.c_str(), error.AsString().c_str());
        return error;
    }
    if (detail.GetFileType() != kKindMetadata || restoresOutOfPlace(*_ownerFactory)) {
        return CQiError::Success();
    }
    FclRestore* job = _ownerFactory->getJob();
    boost::shared_ptr<IDBBackup>* database = job != nullptr ? job->GetSolrIndexDB() : nullptr;
    boost::shared_ptr<CSolrIndexApi> index;
    if (database != nullptr) {
        index = boost::dynamic_pointer_cast<CSolrIndexApi>(*database);
    }
    if (!index) {
        return FXErrorUtil::ErrorWin32(FX_HERE, kErrorNotSingleNodeIndex);
    }
    // This item's own name: by the time a close runs, the factory may already have named another item.
    const std::string path = _realName;
    FCL_LOG(3, "Updating the metadata from the file [%s]", path.c_str());
    error = index->UpdateMetadata(path, true);
    if (error.IsError()) {
        error.Push(FX_HERE);
        return error;
    }
    CQiError removed = FXFile::RemoveFile(path);
    if (removed.IsError()) {
        FCL_ERROR("Failed to remove the metadata file [%s]. Error [%s]", path.c_str(), removed.AsString().c_str());
    }
    return CQiError::Success();
}
