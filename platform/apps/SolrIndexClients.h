#pragma once
// The clients of the search index whose databases a search-index restore brings back. No search index exists on
// this machine: each client records its making and every call in the job journal (component "solr") and answers
// from the stand-in index of platform/apps/SearchIndexTable.h. While that index knows no file, every operation that
// needs the index fails with an error that says so, never with a made-up answer; a dummy path it does not know is an
// error too.
#include <string>

#include "platform/support/CQiError.h"
#include "platform/support/FaultCounter.h"

class WZJobCtrlClient;
namespace wzsearch {
struct IndexFile;
}

// The job's index database, as the restore of its files sees it.
class IDBBackup {
public:
    virtual ~IDBBackup() = default;
    // In place: where the index file that a backup's dummy path names lives; `unmapped` when it has no place.
    virtual CQiError GetInplaceRestorePath(const std::string& dummyPath, std::string& actualPath, bool& unmapped) = 0;
    // Out of place: where that file goes under `destination` (the index's path joined below it, as the index gives
    // it: the caller checks that it stays there).
    virtual CQiError GetOutOfPlaceRestorePath(const std::string& dummyPath, const std::string& destination,
                                              std::string& destinationPath, bool& unmapped) = 0;
};

// What both clients share: the client they serve, the recording and the answer of an index that is not there.
class SolrIndexStandIn : public IDBBackup {
public:
    CQiError GetInplaceRestorePath(const std::string& dummyPath, std::string& actualPath, bool& unmapped) override;
    CQiError GetOutOfPlaceRestorePath(const std::string& dummyPath, const std::string& destination,
                                      std::string& destinationPath, bool& unmapped) override;
    unsigned long long clientId() const { return clientId_; }

protected:
    SolrIndexStandIn(const char* kind, unsigned long long clientId);
    void record(const std::string& call) const;
    CQiError noIndex(const FXCodeLocation& where, const char* operation) const;
    // The index's entry of `dummyPath` for a path lookup, or the lookup's error.
    CQiError lookUp(const std::string& dummyPath, wzsearch::IndexFile& file, bool& unmapped) const;

private:
    const char* kind_;
    unsigned long long clientId_;
};

// A SolrCloud collection's index.
class CSolrCloudApi : public SolrIndexStandIn, public wzfault::FailableAllocation<CSolrCloudApi> {
public:
    CSolrCloudApi(unsigned long long clientId, const std::string& instance, WZJobCtrlClient* jobControl, bool flag);
    void SetNodeHostName(const std::string& hostName);
    const std::string& nodeHostName() const { return nodeHostName_; }
    // Reads what the job's results directory says of the collections being restored; fails while the index is
    // not reachable.
    CQiError PopulateCollectionsInfo(const std::string& directory);

private:
    std::string nodeHostName_;
};

// The index of a single node.
class CSolrIndexApi : public SolrIndexStandIn, public wzfault::FailableAllocation<CSolrIndexApi> {
public:
    CSolrIndexApi(unsigned long long clientId, const std::string& instance, const std::string& core,
                  WZJobCtrlClient* jobControl, bool flag);
    // Hands a restored index metadata file to the index, which reads it whole; fails when the file cannot be read
    // or the index refuses it.
    CQiError UpdateMetadata(const std::string& path, bool inPlace);
};

// What a single node's dummy path says of its file. An empty detail holds kind 0.
class RestoreFileDetail {
public:
    RestoreFileDetail() : RestoreFileDetail("Solr") {}
    virtual ~RestoreFileDetail() = default;
    // Reads `path`; on success the detail holds the file's kind and `unmapped` is set when the index has no place
    // for the file. An error leaves both as they were.
    CQiError ParseDummyFilePath(const std::string& path, bool& unmapped);
    int GetFileType() const { return fileType_; }

protected:
    explicit RestoreFileDetail(const char* kind) : kind_(kind) {}

private:
    const char* kind_;
    int fileType_ = 0;
};

// The same of a SolrCloud collection's dummy path.
class RestoreCloudFileDetail : public RestoreFileDetail {
public:
    RestoreCloudFileDetail() : RestoreFileDetail("SolrCloud") {}
};
