// Whether the job restores as another user, and whom: asked by the restore task (a user and its password), or
// enforced by a global parameter (a user id). The decision sets the identity globals read by the pipeline reader
// and the restore objects; the process's groups are changed here and given back when the job ends.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/JobIdentity.h"
#include "clRestore/engine/RestoreIdentity.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZGlobalParam.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/tasks/EvTask.h"
#include "platform/users/WZPassword.h"
#include "platform/users/WzPwEnt.h"

namespace {

constexpr unsigned long kRestoreAsUser = 0x3dc4af91;
constexpr unsigned long kUserName = 0x4322b07d;
constexpr unsigned long kUserPassword = 0x646e91de;
constexpr unsigned long kEnforcedUserId = 120010;
constexpr size_t kPasswordCapacity = 33;
constexpr size_t kEntryBuffer = 4144;

struct SavedIdentity {
    bool groupsChanged = false;
    std::vector<gid_t> groups;
};
SavedIdentity g_saved;

boost::shared_ptr<EvRstTask> restoreTask(FclRestore& job) {
    boost::shared_ptr<EvRstTask> task;
    CQiError error = job._fclRestoreUnix->getRestoreTaskObject(job.getJobID(), task, false);
    if (error.IsError() || !task) {
        FCL_ERROR("%s", error.IsError() ? error.AsString().c_str() : "The restore task is not available");
        task.reset();
    }
    return task;
}

std::string firstValue(EvRstTask& task, unsigned long id, bool* read) {
    std::list<std::string> values;
    *read = task.getOptionString(id, values) == 0 && !values.empty();
    return *read ? values.front() : std::string();
}

// The process's supplementary groups become the user's; the ones it had are kept to be given back.
bool takeGroupsOf(const std::string& name, gid_t group) {
    std::vector<gid_t> groups(static_cast<size_t>(NGROUPS_MAX) + 1);
    const int count = getgroups(static_cast<int>(groups.size()), groups.data());
    if (count < 0 || initgroups(name.c_str(), group) != 0) {
        FCL_ERROR("Failed to set groups for impersonate user ");
        return false;
    }
    groups.resize(static_cast<size_t>(count));
    g_saved.groups.swap(groups);
    g_saved.groupsChanged = true;
    return true;
}

void impersonate(FclRestore& job, uid_t uid, gid_t gid) {
    uPwd.pw_uid = uid;
    uPwd.pw_gid = gid;
    g_impersonated = true;
    job._impersonating = 1;
}

// The parameter's decimal value is 1: leading zeros are allowed, nothing else.
bool isOne(const std::string& text) {
    const size_t first = text.find_first_not_of('0');
    return first != std::string::npos && text.compare(first, std::string::npos, "1") == 0;
}

}  // namespace

namespace fclstartup {

UserIdText parseUserId(const std::string& text, uid_t* uid) {
    std::string digits = text.substr(0, text.find(':'));
    bool negative = false;
    if (!digits.empty() && digits[0] == '-') {
        negative = true;
        digits.erase(0, 1);
    }
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
        return UserIdText::kBad;
    }
    if (negative) {
        return UserIdText::kNegative;
    }
    // (uid_t)-1 means "no change" to every id call: it is no user. Digits are taken while the value stays below it,
    // so no length of text can overflow.
    const uint64_t limit = static_cast<uid_t>(-1);
    uint64_t value = 0;
    for (char digit : digits) {
        value = value * 10 + static_cast<uint64_t>(digit - '0');
        if (value >= limit) {
            return UserIdText::kBad;
        }
    }
    *uid = static_cast<uid_t>(value);
    return UserIdText::kUser;
}

void giveBackJobIdentity() {
    if (g_saved.groupsChanged) {
        if (setgroups(g_saved.groups.size(), g_saved.groups.data()) != 0) {
            FCL_ERROR("error [%d] giving back the process's supplementary groups", errno);
        } else {
            g_saved.groupsChanged = false;
        }
    }
    if (g_impersonated) {
        umask(orig_mask);
    }
}

}  // namespace fclstartup

int FclRestore::VerifyUserPassword(std::string& user) {
    boost::shared_ptr<EvRstTask> task = restoreTask(*this);
    if (!task) {
        return -1;
    }
    int asUser = 0;
    const int read = task->getOptionInt(kRestoreAsUser, asUser);
    if (read != 0) {
        FCL_LOG(1, "error getting restore as user option [%d]", read);
        return 0;
    }
    FCL_LOG(0, "restore as user [%d]", asUser);
    if (asUser == 0) {
        return 0;
    }
    bool present = false;
    user = firstValue(*task, kUserName, &present);
    if (!present || user.empty()) {
        FCL_ERROR("error getting user name for restore or username is empty");
        return -1;
    }
    std::vector<char> buffer(kEntryBuffer, 0);
    struct passwd entry;
    if (WZ_getpwnam(user.c_str(), &entry, buffer.data(), buffer.size()) != 0) {
        FCL_ERROR("impersonate user [%s] does not exist", user.c_str());
        return -1;
    }
    const uid_t userId = entry.pw_uid;
    const gid_t groupId = entry.pw_gid;
    const std::string enciphered = firstValue(*task, kUserPassword, &present);
    if (!present) {
        FCL_ERROR("error getting password for impersonation");
        return -1;
    }
    std::string home;
    WZPlatformInfo().getString("Base", "dBASEHOME", &home);
    if (!home.empty()) {
        SetPermissionForOthers(home, 0111);
        SetPermissionForOthers(home + "/sshf", 0111);
    }

    WzPwEnt account(user);
    char password[kPasswordCapacity];
    CQiError checked;
    if (WZPassword::decrypt(enciphered.c_str(), password, sizeof password) != 0) {
        checked = FXErrorUtil::ErrorErrNo(FX_HERE, EINVAL, "The password of user %s cannot be read", user.c_str());
    } else {
        FCL_LOG(0, "verifying passwd for user [%s]", user.c_str());
        checked = account.checkPassword(password);
    }
    WZPassword::wipePassword(password, sizeof password);
    if (checked.IsError()) {
        FCL_ERROR("%s", checked.AsString().c_str());
        return -1;
    }

    uPwd.pw_uid = 0;
    uPwd.pw_gid = 0;
    uid_orig = getuid();
    gid_orig = getgid();
    if (userId == uid_orig) {
        FCL_ERROR("restore process is already running as impersonate user");
        return 1;
    }
    if (!takeGroupsOf(user, groupId)) {
        return -1;
    }
    FCL_LOG(0, "impersonate user=%s, gid=%d, uid=%d", user.c_str(), static_cast<int>(groupId),
            static_cast<int>(userId));
    impersonate(*this, userId, groupId);
    return 1;
}

int FclRestore::CheckImpersonateUser(std::string& user) {
    if (!restoreTask(*this)) {
        return -1;
    }
    const int verified = VerifyUserPassword(user);
    if (verified != 0) {
        return verified == 1 ? 0 : -1;
    }
    std::string enforce;
    WZGlobalParam::getProperty("EnforceUnixUserPermissionsOnRestore", enforce);
    if (!isOne(enforce)) {
        FCL_LOG(0, "impersonation is not enforced");
        return 0;
    }
    FCL_LOG(0, "global param is set to enforce impersonate user");
    boost::shared_ptr<EvRstTask> task = restoreTask(*this);
    bool present = false;
    const std::string text = task ? firstValue(*task, kEnforcedUserId, &present) : std::string();
    if (!present || text.empty()) {
        FCL_LOG(0, "User ID is not set");
        return 0;
    }
    user = text.substr(0, text.find(':'));
    FCL_LOG(0, "User ID [%s] is set", user.c_str());
    uid_t uid = 0;
    switch (fclstartup::parseUserId(text, &uid)) {
        case fclstartup::UserIdText::kNegative:
            return 0;
        case fclstartup::UserIdText::kBad:
            FCL_ERROR("user ID [%s] is not a user id", user.c_str());
            return -1;
        case fclstartup::UserIdText::kUser:
            break;
    }
    WzPwEnt account(uid);
    if (!account.found() || account.uid() != uid) {
        FCL_ERROR("user ID [%u] not found in system", static_cast<unsigned>(uid));
        return -1;
    }
    uid_orig = getuid();
    gid_orig = getgid();
    if (uid == uid_orig) {
        FCL_LOG(0, "no need to impersonate as restore user [%u] is same as current user", static_cast<unsigned>(uid));
        return 0;
    }
    if (!takeGroupsOf(account.name(), account.gid())) {
        return -1;
    }
    impersonate(*this, uid, account.gid());
    return 0;
}
