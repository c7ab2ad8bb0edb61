#include "clRestore/factory/FsRestoreObjectsFactory.h"

#include <cstdlib>
#include <cstring>

#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/events/EvDebug.h"
#include "platform/tasks/EvTask.h"
#include "platform/tasks/SchedularInterfaceNet.h"
#include "protocol/ApplicationTypes.h"
#include "protocol/FsrMessages.h"

namespace {

// Task options of the restore job (category 7) and restore-task options read here.
const wzTaskOptions kRestoreTaskOptions = wzTaskOptions(7);
const int kOptOverwriteStubsOnly = 5;
const int kOptRestoreOnlyIfExists = 49;
const int kOptSkipAppleForks = 56;
const int kOptRestoreDataNotStub = 84;
const unsigned long kRstOptOverwriteFiles = 0x67d7f74f;
const unsigned long kRstOptSalesforceRestoreKind = 0x3c476952;
const unsigned long kRstOptValidateOnly = 0x3fff6c45;
const int kSalesforceValidateOnly = 3;

// True only when the option could be read and says true.
bool taskOptionSet(long long jobId, int id) {
    bool value = false;
    return SchedularInterfaceNet().GetTaskOptionBoolean(jobId, kRestoreTaskOptions, value, id) && value;
}

EvRstTask restoreTask(long long jobId) {
    return EvRstTask(static_cast<unsigned long long>(jobId), 0, nullptr, false);
}

char* copyText(const char* text) {
    char* copy = strdup(text);
    if (copy == nullptr) {
        throw ClExceptError(static_cast<int>(fclitem::kNoMemory));
    }
    return copy;
}

}  // namespace

FsRestoreObjectsFactory::FsRestoreObjectsFactory(FSRSrcPath* paths, int count, char* destDir, unsigned long options)
    : _errCode(0),
      _version(0),
      _srcPaths(paths),
      _numSrcPaths(count),
      _destDir(copyText(destDir != nullptr ? destDir : "")),
      _options(options),
      _overwriteStubsOnlyOption(false),
      _restoreOnlyIfExistsOption(false),
      _doNotOverwriteOption(false),
      _skipAppleForksOption(false),
      _restoreDataNotStubOption(false),
      _validateOnlyOption(false),
      _openSpecialFileFlag(0) {}

FsRestoreObjectsFactory::~FsRestoreObjectsFactory() {
    free(_destDir);
}

int FsRestoreObjectsFactory::setDestDir(char* dir) {
    if (dir == nullptr || dir[0] == '\0') {
        return 0;
    }
    const char* kept = (dir[0] == '\\' && dir[1] != '\\') ? dir + 1 : dir;
    char* copy = strdup(kept);
    if (copy == nullptr) {
        return -1;
    }
    free(_destDir);
    _destDir = copy;
    return 0;
}

bool FsRestoreObjectsFactory::IsValidationSkippedForFile(CXFileHeader* header) {
    return header != nullptr && (header->flags2 & (CXHDR_F2_CONTAINER | CXHDR_F2_EXTENT)) != 0;
}

void FsRestoreObjectsFactory::InitializeJobOptions(long long jobId) {
    InitializeStubOverwriteOption(jobId);
    InitializeRestoreOnlyIfExistsOption(jobId);
    InitializeDoNotOverwriteOption(jobId);
    InitializeSkipAppleForksOption(jobId);
    InitializeRestoreDataNotStubOption(jobId);
    InitializeValidateOnlyOption(jobId);
}

void FsRestoreObjectsFactory::InitializeStubOverwriteOption(long long jobId) {
    _overwriteStubsOnlyOption = taskOptionSet(jobId, kOptOverwriteStubsOnly);
    EvDebug::Debug(nullptr, __PRETTY_FUNCTION__, "Unconditionally overwrite stubs only is %s",
                   _overwriteStubsOnlyOption ? "ON" : "OFF");
}

void FsRestoreObjectsFactory::InitializeRestoreOnlyIfExistsOption(long long jobId) {
    _restoreOnlyIfExistsOption = taskOptionSet(jobId, kOptRestoreOnlyIfExists);
    if (_restoreOnlyIfExistsOption) {
        EvDebug::Debug(nullptr, __PRETTY_FUNCTION__, "User selected option to restore only if file exists");
    }
    EvDebug::Debug(nullptr, __PRETTY_FUNCTION__, "Unconditionally overwrite is %s",
                   (_options & FSR_OPT_OVERWRITE) != 0 ? "ON" : "OFF");
}

void FsRestoreObjectsFactory::InitializeDoNotOverwriteOption(long long jobId) {
    // Unreadable counts as "overwrite": skipping existing items stays off.
    bool overwriteFiles = true;
    if (restoreTask(jobId).getOptionBool(kRstOptOverwriteFiles, overwriteFiles, nullptr) == 0) {
        EvDebug::Debug(nullptr, __PRETTY_FUNCTION__, "\"overwriteFiles\" set to %s", overwriteFiles ? "true" : "false");
    } else {
        EvDebug::Debug(nullptr, __PRETTY_FUNCTION__, "Failed to query if \"Overwrite Files\" option is selected");
    }
    _doNotOverwriteOption = !overwriteFiles;
    if (_doNotOverwriteOption) {
        EvDebug::Debug(nullptr, __PRETTY_FUNCTION__, "User selected option to skip existing files");
    }
}

void FsRestoreObjectsFactory::InitializeSkipAppleForksOption(long long jobId) {
    _skipAppleForksOption = taskOptionSet(jobId, kOptSkipAppleForks);
    if (_skipAppleForksOption) {
        EvDebug::Debug(nullptr, __PRETTY_FUNCTION__, "User selected option to skip Apple Resource Fork data.");
    }
}

void FsRestoreObjectsFactory::InitializeRestoreDataNotStubOption(long long jobId) {
    _restoreDataNotStubOption = taskOptionSet(jobId, kOptRestoreDataNotStub);
    EvDebug::Debug(nullptr, __PRETTY_FUNCTION__,
                   _restoreDataNotStubOption ? "User selected option to restore actual data, not stub."
                                             : "ER_EX_NO_STUBS not set.");
}

void FsRestoreObjectsFactory::InitializeValidateOnlyOption(long long jobId) {
    EvRstTask task = restoreTask(jobId);
    long appType = 0;
    task.getAppTypeId(appType, nullptr);
    int restoreKind = 0;
    if (appType == static_cast<long>(fclapps::kCloudAppsAppType) &&
        task.getOptionInt(kRstOptSalesforceRestoreKind, restoreKind, nullptr) == 0 &&
        restoreKind == kSalesforceValidateOnly) {
        // Salesforce validates its own data; the files of such a job are restored as usual.
        _validateOnlyOption = false;
        EvDebug::Debug(nullptr, __PRETTY_FUNCTION__,
                       "\"For Salesforce, Validate Only\" option requires FS restores to proceed normally.");
        return;
    }
    if (task.getOptionBool(kRstOptValidateOnly, _validateOnlyOption, nullptr) == 0) {
        EvDebug::Debug(nullptr, __PRETTY_FUNCTION__, "\"Validate Only\" option %s set.",
                       _validateOnlyOption ? "is" : "is not");
    } else {
        EvDebug::Debug(nullptr, __PRETTY_FUNCTION__, "Failed to query if the 'Validate Only' option is set.");
    }
}
