#pragma once
// The restore-into-a-virtual-machine plug-in: a shared library, "libWZVSAgentless.so", loaded by name at run time. It
// exports CreateVSAgentlessRestoreToVMObject (a plain C symbol), which stores a new object at the address it is given
// and leaves it null on failure. The object lives until its own Release; it is never deleted by its user.
#include <string>

#include "protocol/CXFileHeader.h"
#include "protocol/FsrJobRecords.h"

class WZRstJobClient;
class WZJobCtrlClient;

namespace TMMsg {
class JobOption;
}

class VSAgentlessRestoreToVM {
public:
    // The job: its records, its clients and the client name. False when the plug-in cannot serve the job.
    virtual bool Initialize(FSRInitData* initData, FSRInitDataVer2* initDataVer2, FSRSetParams* setParams,
                            WZRstJobClient* jobClient, WZJobCtrlClient* jobControl, const std::string& clientName) = 0;
    // The task's job options (the document's root object). False when the plug-in refuses them.
    virtual bool SetJobOptions(TMMsg::JobOption* options) = 0;
    // One closed file restored at `name`, with its byte counts and header. False on failure, with `skipped` set when
    // the file was skipped and `aclFailed` when only its access-control list failed; `message` may say why.
    virtual bool RestoreFile(const std::string& name, unsigned long long size, unsigned long long compressedSize,
                             CXFileHeader* header, std::string& message, bool& skipped, bool& aclFailed) = 0;
    // Creates the job's destination and staging folders. False when they cannot be made.
    virtual bool CreateDestinationAndStagingFolders() = 0;
    // Ends the object; it must not be used afterwards.
    virtual void Release() = 0;

protected:
    virtual ~VSAgentlessRestoreToVM() = default;
};

// The type of the plug-in's exported factory.
extern "C" {
typedef void (*CreateVSAgentlessRestoreToVMObjectFn)(VSAgentlessRestoreToVM** object);
}
