#pragma once
// A job's task and its options, kept in the settings file. Single options and restore-task properties: section
// [RestoreTask], keyed by the option id in hex ("0x67d7f74f = true"; "0x" and letter case are optional). A key given
// several times is a list: the text read answers all values in order, the others the last one. Named properties of
// the restore task use the keys appTypeId, sourceClientId, toTime and destinationInstanceId (decimal or 0x hex).
// The job-options document: section [JobOptions], key xml; kEmptyJobOptions when it is absent.
// Every read answers 0 on success and non-zero when the option is absent or not of the asked type; the caller's
// variable is then left as it was.
#include <list>
#include <string>

#include "platform/support/FaultCounter.h"

// The job-options document of a job with no special options: the root object, empty.
extern const char kEmptyJobOptions[];

class EvTask {
public:
    EvTask(unsigned long long jobId, int kind, void* context, bool flag);
    virtual ~EvTask() = default;

    unsigned long long getJobId() const { return m_jobId; }

    int getOptionBool(unsigned long id, bool& value, void* context = nullptr);
    int getOptionInt(unsigned long id, int& value, void* context = nullptr);
    int getOptionString(unsigned long id, std::list<std::string>& values, void* context = nullptr);
    int getXMLOptions(std::string& options, void* context = nullptr);

protected:
    // Reads a named property of the restore task as a non-negative number that fits a long.
    int getNamedNumber(const char* key, long& value);

private:
    unsigned long long m_jobId;
};

class EvRstTask : public EvTask, public wzfault::FailableAllocation<EvRstTask> {
public:
    EvRstTask(unsigned long long jobId, int kind, void* context, bool flag, bool fetchContent = false)
        : EvTask(jobId, kind, context, flag), m_fetchContent(fetchContent) {}

    int getAppTypeId(long& value, void* context = nullptr);
    int getSourceClientId(long& value, void* context = nullptr);
    int getToTime(long& value, void* context = nullptr);
    int getDestinationInstanceId(long& value, void* context = nullptr);
    bool fetchedContent() const { return m_fetchContent; }

private:
    bool m_fetchContent;
};

// The administrative task of a job (mapping entries of mapped restores); same option store.
class EvAdmTask : public EvTask {
public:
    EvAdmTask(unsigned long long jobId, int kind, void* context) : EvTask(jobId, kind, context, false) {}
};
