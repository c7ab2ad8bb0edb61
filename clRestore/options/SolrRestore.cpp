// The job's search-index client, made once for a search-index restore: a SolrCloud client or a single-node one.
#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/options/MakeSharedNothrow.h"
#include "clRestore/options/ServiceObjects.h"
#include "platform/apps/SolrIndexClients.h"
#include "platform/log/LogWriter.h"
#include "platform/results/StoreResults.h"
#include "platform/support/FXErrorUtil.h"
#include "protocol/FsrMessages.h"

namespace {

const int kErrorAllocation = 14;

CQiError makeSolrCloudClient(FclRestoreUNIX& unix, const fclservices::SolrRestoreArgs& args) {
    const unsigned long long clientId = unix._solrCloudClientId;
    FCL_LOG(1, "Solr DB clientID = [%lu]", static_cast<unsigned long>(clientId));
    boost::shared_ptr<CSolrCloudApi> cloud =
        fclservices::makeSharedNothrow<CSolrCloudApi>(clientId, std::string(), args.jobControl, false);
    if (!cloud) {
        return FXErrorUtil::ErrorWin32(FX_HERE, kErrorAllocation, "Failed to create Solr cloud DB object");
    }
    cloud->SetNodeHostName(args.nodeHostName);
    if (!args.resultsDirectory.empty()) {
        if ((args.options & FSR_OPT_OUT_OF_PLACE) != 0) {
            FCL_LOG(0, "Not populating collections info because it is an out of place restore.");
        } else {
            CQiError error = cloud->PopulateCollectionsInfo(args.resultsDirectory);
            if (error.IsError()) {
                error.Push(FX_HERE, "Failed to populate collections info, error=%s", error.AsString().c_str());
                return error;
            }
        }
    }
    unix._solrIndexDB = cloud;
    return CQiError::Success();
}

CQiError makeSolrIndexClient(FclRestoreUNIX& unix, const fclservices::SolrRestoreArgs& args) {
    FCL_LOG(1, "Solr DB clientID = [%lu]", args.destClientId);
    boost::shared_ptr<CSolrIndexApi> index = fclservices::makeSharedNothrow<CSolrIndexApi>(
        static_cast<unsigned long long>(args.destClientId), std::string(), std::string(), args.jobControl, false);
    if (!index) {
        return FXErrorUtil::ErrorWin32(FX_HERE, kErrorAllocation, "Failed to create solrDB object");
    }
    unix._solrIndexDB = index;
    return CQiError::Success();
}

}  // namespace

namespace fclservices {

CQiError initializeSolrRestore(FclRestoreUNIX& unix, const SolrRestoreArgs& args) {
    if (unix._solrIndexDB) {
        return CQiError::Success();
    }
    if (unix._solrCloudRestore) {
        return makeSolrCloudClient(unix, args);
    }
    if (unix._solrDBRestore) {
        return makeSolrIndexClient(unix, args);
    }
    return CQiError::Success();
}

}  // namespace fclservices

CQiError FclRestore::InitializeSolrRestore() {
    if (_fclRestoreUnix == nullptr) {
        return CQiError::Success();
    }
    fclservices::SolrRestoreArgs args;
    args.destClientId = getDestClientId();
    args.nodeHostName = _initData != nullptr && _initData->destMachine != nullptr ? _initData->destMachine : "";
    args.resultsDirectory = _results != nullptr ? _results->getDirectory() : std::string();
    args.options = _setParams != nullptr ? _setParams->options : 0;
    args.jobControl = _jobCtrlClient;
    return fclservices::initializeSolrRestore(*_fclRestoreUnix, args);
}
