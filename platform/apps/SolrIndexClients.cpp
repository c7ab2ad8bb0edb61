#include "platform/apps/SolrIndexClients.h"

#include <fstream>
#include <iterator>

#include "platform/apps/SearchIndexTable.h"
#include "platform/events/Journal.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/support/FXPath.h"

namespace {

const char kJournalComponent[] = "solr";
const int kErrorFunctionFailed = 1627;
const int kErrorFileNotFound = 2;
const int kErrorInvalidData = 13;

CQiError unknownFile(const FXCodeLocation& where, const std::string& dummyPath) {
    return FXErrorUtil::ErrorWin32(where, kErrorFileNotFound, "The search index knows no file [%s]", dummyPath.c_str());
}

}  // namespace

SolrIndexStandIn::SolrIndexStandIn(const char* kind, unsigned long long clientId) : kind_(kind), clientId_(clientId) {
    record("made");
}

void SolrIndexStandIn::record(const std::string& call) const {
    wzplatform::journal(kJournalComponent, std::string(kind_) + " client " + std::to_string(clientId_) + ": " + call);
}

CQiError SolrIndexStandIn::noIndex(const FXCodeLocation& where, const char* operation) const {
    return FXErrorUtil::ErrorWin32(where, kErrorFunctionFailed,
                                   "No search index is reachable from this machine: %s for client %llu cannot be done",
                                   operation, clientId_);
}

CQiError SolrIndexStandIn::lookUp(const std::string& dummyPath, wzsearch::IndexFile& file, bool& unmapped) const {
    unmapped = false;
    if (!wzsearch::indexReachable()) {
        return noIndex(FX_HERE, "finding the restore path of an index file");
    }
    if (!wzsearch::findByDummyPath(dummyPath, file)) {
        return unknownFile(FX_HERE, dummyPath);
    }
    // The index's word on a file it knows, whether or not it can place it.
    unmapped = file.unmapped;
    if (file.lookupFails) {
        return FXErrorUtil::ErrorWin32(FX_HERE, kErrorFunctionFailed, "The search index cannot place the file [%s]",
                                       dummyPath.c_str());
    }
    return CQiError::Success();
}

CQiError SolrIndexStandIn::GetInplaceRestorePath(const std::string& dummyPath, std::string& actualPath,
                                                 bool& unmapped) {
    record("in-place path of [" + dummyPath + "]");
    actualPath.clear();
    wzsearch::IndexFile file;
    CQiError error = lookUp(dummyPath, file, unmapped);
    if (error.IsError()) {
        return error;
    }
    actualPath = file.actualPath;
    return CQiError::Success();
}

CQiError SolrIndexStandIn::GetOutOfPlaceRestorePath(const std::string& dummyPath, const std::string& destination,
                                                    std::string& destinationPath, bool& unmapped) {
    record("out-of-place path of [" + dummyPath + "] under [" + destination + "]");
    destinationPath.clear();
    wzsearch::IndexFile file;
    CQiError error = lookUp(dummyPath, file, unmapped);
    if (error.IsError()) {
        return error;
    }
    destinationPath = destination;
    FXPath::Append(destinationPath, file.actualPath, 0);
    return CQiError::Success();
}

CSolrCloudApi::CSolrCloudApi(unsigned long long clientId, const std::string& instance, WZJobCtrlClient* jobControl,
                             bool flag)
    : SolrIndexStandIn("SolrCloud", clientId) {
    (void)instance, (void)jobControl, (void)flag;
}

void CSolrCloudApi::SetNodeHostName(const std::string& hostName) {
    nodeHostName_ = hostName;
    record("node host name [" + hostName + "]");
}

CQiError CSolrCloudApi::PopulateCollectionsInfo(const std::string& directory) {
    record("collections info from [" + directory + "]");
    if (!wzsearch::indexReachable()) {
        return noIndex(FX_HERE, "reading the collections information");
    }
    return CQiError::Success();
}

CSolrIndexApi::CSolrIndexApi(unsigned long long clientId, const std::string& instance, const std::string& core,
                             WZJobCtrlClient* jobControl, bool flag)
    : SolrIndexStandIn("Solr", clientId) {
    (void)instance, (void)core, (void)jobControl, (void)flag;
}

CQiError CSolrIndexApi::UpdateMetadata(const std::string& path, bool inPlace) {
    record(std::string(inPlace ? "in-place" : "out-of-place") + " metadata update from [" + path + "]");
    if (!wzsearch::indexReachable()) {
        return noIndex(FX_HERE, "updating the index metadata");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return FXErrorUtil::ErrorWin32(FX_HERE, kErrorFileNotFound, "The metadata file [%s] cannot be read",
                                       path.c_str());
    }
    std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    wzsearch::IndexFile file;
    if (wzsearch::findByActualPath(path, file) && file.updateFails) {
        return FXErrorUtil::ErrorWin32(FX_HERE, kErrorInvalidData, "The search index refuses the metadata file [%s]",
                                       path.c_str());
    }
    wzsearch::noteMetadataReceived({path, contents});
    return CQiError::Success();
}

CQiError RestoreFileDetail::ParseDummyFilePath(const std::string& path, bool& unmapped) {
    wzplatform::journal(kJournalComponent, std::string(kind_) + " dummy path [" + path + "] parsed");
    wzsearch::IndexFile file;
    if (!wzsearch::findByDummyPath(path, file)) {
        return unknownFile(FX_HERE, path);
    }
    if (file.parseFails) {
        return FXErrorUtil::ErrorWin32(FX_HERE, kErrorInvalidData, "The dummy path [%s] does not parse", path.c_str());
    }
    fileType_ = file.kind;
    unmapped = file.unmapped;
    return CQiError::Success();
}
