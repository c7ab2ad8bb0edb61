#include "platform/users/WzPwEnt.h"

#include <cerrno>
#include <vector>

#include "platform/settings/SettingsFile.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/users/WZPassword.h"

namespace {

constexpr size_t kEntryBuffer = 16384;
constexpr size_t kPasswordCapacity = 256;
const char kPasswordSection[] = "UserPasswords";

// Compares every byte whatever the first difference, so the time taken tells nothing of the password.
bool sameText(const char* a, const char* b, size_t capacity) {
    unsigned char difference = 0;
    bool ended = false;
    for (size_t i = 0; i < capacity; ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
        ended = ended || a[i] == '\0';
    }
    return difference == 0 && ended;
}

}  // namespace

WzPwEnt::WzPwEnt(const std::string& name) {
    std::vector<char> buffer(kEntryBuffer);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        take(found);
    }
}

WzPwEnt::WzPwEnt(uid_t uid) {
    std::vector<char> buffer(kEntryBuffer);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        take(found);
    }
}

void WzPwEnt::take(const struct passwd* entry) {
    found_ = true;
    name_ = entry->pw_name != nullptr ? entry->pw_name : "";
    uid_ = entry->pw_uid;
    gid_ = entry->pw_gid;
}

CQiError WzPwEnt::checkPassword(const char* password) const {
    if (!found_) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, ENOENT, "No such user");
    }
    wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    const std::string* kept = settings.document->find(kPasswordSection, name_);
    if (kept == nullptr) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EACCES, "No password is kept for user %s", name_.c_str());
    }
    char expected[kPasswordCapacity];
    char given[kPasswordCapacity] = {};
    const bool readable = WZPassword::decrypt(kept->c_str(), expected, sizeof expected) == 0;
    size_t length = 0;
    while (password != nullptr && length + 1 < sizeof given && password[length] != '\0') {
        given[length] = password[length];
        ++length;
    }
    const bool fits = password == nullptr || password[length] == '\0';
    const bool same = readable && fits && password != nullptr && sameText(expected, given, sizeof given);
    WZPassword::wipePassword(expected, sizeof expected);
    WZPassword::wipePassword(given, sizeof given);
    if (!same) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EACCES, "Authentication failed for user %s", name_.c_str());
    }
    return CQiError();
}

int WZ_getpwnam(const char* name, struct passwd* entry, char* buffer, size_t size) {
    struct passwd* found = nullptr;
    if (name == nullptr || getpwnam_r(name, entry, buffer, size, &found) != 0 || found == nullptr) {
        return -1;
    }
    return 0;
}
