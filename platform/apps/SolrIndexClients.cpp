#include "platform/apps/SolrIndexClients.h"

#include "platform/events/Journal.h"
#include "platform/support/FXErrorUtil.h"

namespace {

const char kJournalComponent[] = "solr";
const int kErrorFunctionFailed = 1627;

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

CQiError SolrIndexStandIn::GetInplaceRestorePath(const std::string& dummyPath, std::string& actualPath,
                                                 bool& unmapped) {
    record("in-place path of [" + dummyPath + "]");
    actualPath.clear();
    unmapped = false;
    return noIndex(FX_HERE, "finding the restore path of an index file");
}

CQiError SolrIndexStandIn::GetOutOfPlaceRestorePath(const std::string& dummyPath, const std::string& destination,
                                                    std::string& destinationPath, bool& unmapped) {
    record("out-of-place path of [" + dummyPath + "] under [" + destination + "]");
    destinationPath.clear();
    unmapped = false;
    return noIndex(FX_HERE, "finding the restore path of an index file");
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
    return noIndex(FX_HERE, "reading the collections information");
}

CSolrIndexApi::CSolrIndexApi(unsigned long long clientId, const std::string& instance, const std::string& core,
                             WZJobCtrlClient* jobControl, bool flag)
    : SolrIndexStandIn("Solr", clientId) {
    (void)instance, (void)core, (void)jobControl, (void)flag;
}

CQiError CSolrIndexApi::UpdateMetadata(const std::string& path, bool inPlace) {
    record(std::string(inPlace ? "in-place" : "out-of-place") + " metadata update from [" + path + "]");
    return noIndex(FX_HERE, "updating the index metadata");
}
