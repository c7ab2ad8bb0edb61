// The task's job options read by the parameters handler: share mount options, the destination application type, a
// restore into a virtual machine through the plug-in library, and the staging destination of a Spanner instance.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <list>
#include <new>
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/messages/ParamsSteps.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/apps/GoogleCloudSpannerInstance.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/tasks/EvTask.h"
#include "platform/tasks/JobOption.h"
#include "platform/vm/VSAgentlessRestoreToVM.h"
#include "protocol/ApplicationTypes.h"

namespace {

constexpr unsigned long kShareMountOptions = 0x40c24f9b;  // FILERSTOPTION_SHARE_MOUNT_OPTIONS
constexpr long long kSalesforceInstanceType = 3;
constexpr int kSpannerStagingFailed = 0x13000359;

const char kPluginLibrary[] = "libWZVSAgentless.so";
const char kPluginFactory[] = "CreateVSAgentlessRestoreToVMObject";

void readMountOptions(FclRestore& job, EvTask& task) {
    std::list<std::string> values;
    if (task.getOptionString(kShareMountOptions, values) == 0 && !values.empty()) {
        FCL_LOG(0, "MountOptions=[%s]", values.front().c_str());
        job._fclRestoreUnix->SetAutoMountOptions(values.front());
    } else {
        FCL_LOG(0, "FILERSTOPTION_SHARE_MOUNT_OPTIONS not set");
    }
}

void readDestinationAppType(FclRestore& job, TMMsg::JobOption& options) {
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    if (options.isSet("destination")) {
        unix._destAppType = static_cast<unsigned int>(options.getint64("destination.appType"));
    } else if (options.isSet("cloudApps") && options.getint64("cloudApps.instanceType") == kSalesforceInstanceType) {
        unix._destAppType = fclapps::kCloudAppsAppType;
        FCL_LOG(0, "Set destination apptype to CLOUD_APPS for Salesforce restore");
    }
    // The cloud database's instance type tells the job what kind of instance it restores to (37: Spanner).
    if (options.isSet("cloudDatabase.instanceType")) {
        unix._cloudInstanceType = static_cast<int>(options.getint64("cloudDatabase.instanceType"));
    }
}

bool pathExists(const std::string& path) {
    struct stat st;
    return !path.empty() && lstat(path.c_str(), &st) == 0;
}

// Loads the plug-in and hands it the job. False ends the parameters handler; the plug-in's own refusals also stop
// the job.
bool startRestoreToVM(FclRestore& job, TMMsg::JobOption& options) {
    void* library = dlopen(kPluginLibrary, RTLD_LAZY);
    if (library == nullptr) {
        FCL_ERROR("libWZVSAgentless.so is not installed.");
        return false;
    }
    // The library stays loaded for the life of the process: its objects may outlive the job.
    auto create = reinterpret_cast<CreateVSAgentlessRestoreToVMObjectFn>(dlsym(library, kPluginFactory));
    if (create == nullptr) {
        FCL_ERROR("Can't get CreateVSAgentlessRestoreToVMObject address from libWZVSAgentless.so.");
        return false;
    }
    VSAgentlessRestoreToVM* object = nullptr;
    create(&object);
    if (object == nullptr) {
        FCL_ERROR("Can't create VSAgentlessRestoreToVM object from libWZVSAgentless.so.");
        return false;
    }
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    if (unix._restoreToVM != nullptr) {
        unix._restoreToVM->Release();
    }
    unix._restoreToVM = object;
    if (!object->Initialize(job._initData, job._initDataVer2, job._setParams, job._rstJobClient, job._jobCtrlClient,
                            job._clientName != nullptr ? job._clientName : "")) {
        FCL_ERROR("Can't initialize VSAAgentlessRestoreToVM.");
        job.terminateOnFatalError();
        return false;
    }
    if (!object->SetJobOptions(&options)) {
        job.terminateOnFatalError();
        return false;
    }
    unix._restoreToVMActive = true;
    // Only a destination the plug-in made is the job's to remove at its end; one that was there is the user's.
    const std::string destination = job.getDestPath();
    const bool existed = pathExists(destination);
    const bool created = object->CreateDestinationAndStagingFolders();
    if (!existed && pathExists(destination)) {
        unix._restoreToVMCreatedDest = destination;
    }
    if (!created) {
        FCL_ERROR("Can't create destination and staging folders for virtual-server agentless RestoreToVM.");
        job.terminateOnFatalError();
        return false;
    }
    return true;
}

bool failSpannerStaging(FclRestore& job, const char* message) {
    FCL_ERROR("%s", message);
    if (job._rstJobClient != nullptr) {
        *job._rstJobClient << message;
        job._rstJobClient->setPendingCause(kSpannerStagingFailed, nullptr, false, EV_MSG_TYPE_JOB);
    }
    job.terminateOnFatalError();
    return false;
}

bool useSpannerStaging(FclRestore& job, TMMsg::JobOption& options) {
    FCL_LOG(0, "This is a spanner instance , will restore the files to staging path");
    const unsigned int number = static_cast<unsigned int>(options.getint64("cloudDatabase.instanceNumber"));
    GoogleCloudSpannerInstance* instance = new (std::nothrow) GoogleCloudSpannerInstance(number);
    if (instance == nullptr) {
        return failSpannerStaging(job, "Failed to initialize ptrCloudSpannerInstance");
    }
    std::string staging;
    const int rc = instance->getCloudStagingPath(staging);
    delete instance;
    if (rc != 0 || staging.empty()) {
        char message[128];
        snprintf(message, sizeof message, "Couldn't fetch staging path for Spanner, retCode : [ %d ]", rc);
        return failSpannerStaging(job, message);
    }
    while (staging.size() > 1 && staging.back() == '/') {
        staging.pop_back();
    }
    if (staging == "/") {
        staging.clear();
    }
    const std::string destination = staging + "/restore_" + std::to_string(job.getJobID());
    job._destPathMap[0] = destination;
    if (!fclparams::setJobDestination(job, destination)) {
        return failSpannerStaging(job, "Failed to initialize ptrCloudSpannerInstance");
    }
    FCL_LOG(0, "Set destination path for spanner : %s", destination.c_str());
    return true;
}

}  // namespace

namespace fclparams {

bool applyJobOptions(FclRestore& job) {
    EvTask task(static_cast<unsigned long long>(job.getJobID()), 0, nullptr, false);
    std::string xml;
    if (task.getXMLOptions(xml) != 0) {
        return false;
    }
    TMMsg::JobOption document;
    if (document.unserialize(xml) != 0) {
        return false;
    }
    TMMsg::JobOption* options = document.getObjectAccessor();
    if (options == nullptr) {
        return false;
    }
    readMountOptions(job, task);
    readDestinationAppType(job, *options);
    if (options->isSet("virtualServerRestore") && options->getBool("virtualServerRestore.restoreToVM") &&
        !startRestoreToVM(job, *options)) {
        return false;
    }
    if (job.IsSpannerInstance() && !useSpannerStaging(job, *options)) {
        return false;
    }
    return true;
}

}  // namespace fclparams
