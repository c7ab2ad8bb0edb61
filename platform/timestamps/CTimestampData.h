#pragma once
// The times of one restored folder, queued with the job's timestamp handler until the restore end applies them.
// A clear time stamp is not applied: that time of the folder stays as it is.
#include <string>

#include "platform/support/FaultCounter.h"
#include "protocol/TimeValues.h"

class CTimestampData : public wzfault::FailableAllocation<CTimestampData> {
public:
    void SetFileName(const std::string& name) { fileName_ = name; }
    const std::string& GetFileName() const { return fileName_; }
    // The name the user knows the folder by, when it differs from the one restored to (a mounted share).
    void SetReportingFileName(const std::string& name) { reportingFileName_ = name; }
    const std::string& GetReportingFileName() const { return reportingFileName_; }

    void SetCreationTime(const CTimeStamp& time) { creationTime_ = time; }
    const CTimeStamp& GetCreationTime() const { return creationTime_; }
    void SetModifiedTime(const CTimeStamp& time) { modifiedTime_ = time; }
    const CTimeStamp& GetModifiedTime() const { return modifiedTime_; }
    void SetAccessTime(const CTimeStamp& time) { accessTime_ = time; }
    const CTimeStamp& GetAccessTime() const { return accessTime_; }
    // The folder was restored into the directory that the user's link at its name reaches: its times go there. Any
    // other folder's name is never followed.
    void SetThroughLink(bool throughLink) { throughLink_ = throughLink; }
    bool GetThroughLink() const { return throughLink_; }

private:
    std::string fileName_;
    std::string reportingFileName_;
    CTimeStamp creationTime_;
    CTimeStamp modifiedTime_;
    CTimeStamp accessTime_;
    bool throughLink_ = false;
};
