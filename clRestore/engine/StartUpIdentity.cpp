// As whom the job restores, and the agent locations opened to that user at start-up.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <list>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/RestoreIdentity.h"
#include "clRestore/engine/StartUpSteps.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/tasks/EvTask.h"

std::string uName;
struct passwd uPwd;
uid_t uid_orig = 0;
gid_t gid_orig = 0;
bool g_impersonated = false;
mode_t orig_mask = 0;

namespace {

constexpr unsigned long kRunAsUserProperty = 0x4322b07d;
// Deeper trees are left as they are: a hostile tree must not exhaust descriptors or the stack.
constexpr int kMaxWalkDepth = 128;

// Adds `bits` to the regular file or directory `name` of `dirfd` unless it has them. The entry is looked at without
// following a link and changed through a descriptor opened without following one, and only while that descriptor
// holds what was looked at: nothing reached through a link, and no other kind of entry, is ever changed.
void addBitsAt(int dirfd, const char* name, const struct stat& st, mode_t bits, const char* shown) {
    if (!(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) || (st.st_mode & bits) == bits) {
        return;
    }
    const int fd = openat(dirfd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat now;
    if (fstat(fd, &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino) {
        const mode_t mode = (now.st_mode | bits) & 07777;
        FCL_LOG(4, "setting permission [%o] for [%s]", static_cast<unsigned>(mode), shown);
        const int rc = fchmod(fd, mode);
        FCL_LOG(4, "setting permission [%o] for [%s] ret [%d]", static_cast<unsigned>(mode), shown, rc);
    }
    close(fd);
}

void walk(int dirfd, const std::string& shown, mode_t dirBits, mode_t fileBits, int depth) {
    DIR* dir = fdopendir(dirfd);
    if (dir == nullptr) {
        close(dirfd);
        return;
    }
    while (struct dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
            continue;
        }
        struct stat st;
        if (fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
            continue;
        }
        std::string path = shown + "/" + name;
        if (!S_ISDIR(st.st_mode)) {
            addBitsAt(dirfd, name, st, fileBits, path.c_str());
            continue;
        }
        addBitsAt(dirfd, name, st, dirBits, path.c_str());
        if (depth >= kMaxWalkDepth) {
            FCL_LOG(1, "Not walking below [%s]: deeper than %d levels", path.c_str(), kMaxWalkDepth);
            continue;
        }
        int child = openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child >= 0) {
            walk(child, path, dirBits, fileBits, depth + 1);
        }
    }
    closedir(dir);
}

std::string joined(const std::string& dir, const char* name) {
    return dir + "/" + name;
}

}  // namespace

void FclRestore::SetPermissionForOthers(const std::string& path, mode_t bits) {
    struct stat st;
    if (path.empty() || lstat(path.c_str(), &st) != 0) {
        return;
    }
    addBitsAt(AT_FDCWD, path.c_str(), st, bits, path.c_str());
}

int FclRestore::FolderWalkerCallBack(const char* dir, const char* name, bool isDirectory, void* modes) {
    uint32_t dirMode = 0111;
    uint32_t fileMode = 0444;
    if (modes != nullptr) {
        const uint32_t* pair = static_cast<const uint32_t*>(modes);
        dirMode = pair[0];
        fileMode = pair[1];
    }
    std::string path = std::string(dir != nullptr ? dir : "") + "/" + (name != nullptr ? name : "");
    SetPermissionForOthers(path, isDirectory ? dirMode : fileMode);
    return 0;
}

namespace fclstartup {

void addPermissionsBeneath(const std::string& root, mode_t dirBits, mode_t fileBits) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        walk(fd, root, dirBits, fileBits, 1);
    }
}

bool checkImpersonation(FclRestore& job) {
    std::string user;
    if (job.CheckImpersonateUser(user) == 0) {
        if (g_impersonated) {
            unsigned long disable = 0;
            WZPlatformInfo().getNumber("FileSystemAgent", "bDisableACLPassthrough", &disable);
            if (disable == 1) {
                FCL_LOG(0, "Registry key %s is set in %s section of registry with value 1", "bDisableACLPassthrough",
                        "FileSystemAgent");
                job._fclRestoreUnix->DisableACLPassthrough();
            }
        }
        return true;
    }
    *job._event << user.c_str();
    job._event->MajorEvent(0x17000073, 0, 0);
    FCL_ERROR("Error impersonating as user %s", user.c_str());
    job.setFailureReason("Restore: Error impersonating as user. ");
    if (job._rstJobClientReady == 1) {
        *job._rstJobClient << user.c_str();
        job._rstJobClient->setPendingCause(0x17000073);
    }
    job.terminateOnFatalError();
    job._fatalError = 1;
    return false;
}

void fixPermissionsForRestoreUser(FclRestore& job) {
    WZPlatformInfo settings;
    std::string logDir;
    settings.getString("EventManager", "dEVLOGDIR", &logDir);
    if (!logDir.empty()) {
        static const char* const kLogFiles[] = {"fclrestore.log", "PerformanceMetrics.log", "wzcl.log"};
        FclRestore::SetPermissionForOthers(logDir, 0111);
        for (const char* file : kLogFiles) {
            FclRestore::SetPermissionForOthers(joined(logDir, file), 0666);
        }
        std::string locks = joined(logDir, "locks");
        FclRestore::SetPermissionForOthers(locks, 0111);
        for (const char* file : kLogFiles) {
            FclRestore::SetPermissionForOthers(joined(locks, file), 0666);
        }
    }

    std::string tempDir;
    settings.getString("Base", "dNEBRINTEMPDIR", &tempDir);
    if (!tempDir.empty()) {
        FclRestore::SetPermissionForOthers(tempDir, 0777);
        std::string group = joined(tempDir, "use_nebrin_group");
        rename(group.c_str(), (group + ".bak").c_str());
        // Only the group tree named above is opened up, never the whole temporary directory: anyone may write there.
        addPermissionsBeneath(group, 0777, 0666);
    }

    if (job._jobResultsDir != nullptr) {
        std::string dir = job._jobResultsDir;
        FclRestore::SetPermissionForOthers(dir, 0111);
        std::string parent = dir.substr(0, dir.find_last_of('/'));
        FclRestore::SetPermissionForOthers(parent, 0111);
        FclRestore::SetPermissionForOthers(parent.substr(0, parent.find_last_of('/')), 0111);
        FclRestore::SetPermissionForOthers(joined(dir, "WZ_JobResults"), 0111);
    }

    std::string home;
    settings.getString("Base", "dBASEHOME", &home);
    if (!home.empty()) {
        FclRestore::SetPermissionForOthers(home, 0111);
        std::string certificates = joined(home, "certificates");
        FclRestore::SetPermissionForOthers(certificates, 0111);
        addPermissionsBeneath(certificates, 0111, 0444);
    }

    orig_mask = umask(0);
}

bool takeRunAsUser(FclRestore& job) {
    FCL_LOG(0, "setting restoreDataInRawDev = 1 for DB restores");
    job.restoreDataInRawDev = 1;
    boost::shared_ptr<EvRstTask> task;
    CQiError error = job._fclRestoreUnix->getRestoreTaskObject(job.getJobID(), task, false);
    if (error.IsError() || !task) {
        FCL_ERROR("%s", error.AsString().c_str());
        return false;
    }
    std::list<std::string> values;
    if (task->getOptionString(kRunAsUserProperty, values) != 0 || values.empty() || values.front().empty()) {
        return true;
    }
    uName = values.front();
    uPwd.pw_uid = 0;
    uPwd.pw_gid = 0;
    std::vector<char> buffer(4144, 0);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwnam_r(uName.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        uName.clear();
        return true;
    }
    FCL_LOG(2, "user=%s, gid=%d, uid=%d", uName.c_str(), static_cast<int>(found->pw_gid),
            static_cast<int>(found->pw_uid));
    uPwd.pw_uid = found->pw_uid;
    uPwd.pw_gid = found->pw_gid;
    FCL_LOG(0, "Impersonate User=%s", uName.c_str());
    return true;
}

}  // namespace fclstartup
