#include "platform/apps/ClientApplications.h"

#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/settings/IniDocument.h"
#include "platform/settings/SettingValues.h"
#include "platform/settings/SettingsFile.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/support/FXString.h"

namespace {

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    FXString::Split(line, ",", fields);
    return fields;
}

struct AppLine {
    unsigned long zendrelId = 0;
    unsigned long clientId = 0;
    unsigned long appType = 0;
    unsigned long instanceId = 0;
    std::string name;
    unsigned long backupSetId = 0;
};

std::vector<AppLine> applicationTable() {
    std::vector<AppLine> table;
    const wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    for (const std::string& line : settings.document->findAll("Applications", "app")) {
        const std::vector<std::string> f = fieldsOf(line);
        AppLine app;
        if (f.size() == 6 && wzsettings::parseUnsigned(f[0], &app.zendrelId) &&
            wzsettings::parseUnsigned(f[1], &app.clientId) && wzsettings::parseUnsigned(f[2], &app.appType) &&
            wzsettings::parseUnsigned(f[3], &app.instanceId) && !f[4].empty() &&
            wzsettings::parseUnsigned(f[5], &app.backupSetId)) {
            app.name = f[4];
            table.push_back(app);
        }
    }
    return table;
}

bool readSubclientLine(const std::string& line, wzapps::SubclientLine* out) {
    const std::vector<std::string> f = fieldsOf(line);
    if (f.size() != 4 || !wzsettings::parseUnsigned(f[0], &out->backupSetId) ||
        !wzsettings::parseUnsigned(f[1], &out->subclientId) || (f[2] != "default" && f[2] != "other")) {
        return false;
    }
    out->isDefault = f[2] == "default";
    out->directory = f[3];
    return true;
}

int failure(wzfault::FaultCounter& faults) {
    int error = 0;
    return faults.take(&error) ? (error != 0 ? error : EIO) : 0;
}

}  // namespace

namespace wzapps {

bool getPhysicalMachine(std::string* name) {
    if (failure(physicalMachineFaults()) != 0) {
        return false;
    }
    std::string configured;
    if (WZPlatformInfo().getString("Client", "physicalMachine", &configured) && !configured.empty()) {
        *name = configured;
        return true;
    }
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        return false;
    }
    *name = host;
    return true;
}

wzfault::FaultCounter& physicalMachineFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

wzfault::FaultCounter& applicationListFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

wzfault::FaultCounter& subclientListFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

wzfault::FaultCounter& defaultSubclientFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

std::vector<SubclientLine> subclientTable() {
    std::vector<SubclientLine> table;
    const wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    for (const std::string& line : settings.document->findAll("Subclients", "subclient")) {
        SubclientLine entry;
        if (readSubclientLine(line, &entry)) {
            table.push_back(entry);
        }
    }
    return table;
}

}  // namespace wzapps

int Subclient::isDefaultSubclient(bool& isDefault, void*) {
    const int error = failure(wzapps::defaultSubclientFaults());
    if (error == 0) {
        isDefault = default_;
    }
    return error;
}

WZDbBackupSet* DbApplicationId::getBackupSet(void*) {
    for (const AppLine& app : applicationTable()) {
        if (app.name != name_) {
            continue;
        }
        if (app.backupSetId == 0) {
            lastError_ = ENOENT;
            errorString_ = "application " + name_ + " has no backup set";
            return nullptr;
        }
        backupSet_ = WZDbBackupSet(app.backupSetId);
        lastError_ = 0;
        errorString_.clear();
        return &backupSet_;
    }
    lastError_ = ENOENT;
    errorString_ = "unknown application " + name_;
    return nullptr;
}

int ClientApplicationList::getApplications(unsigned long zendrelId, unsigned long clientId, unsigned long appType,
                                           unsigned long instanceId, std::vector<std::string>& names) {
    const int error = failure(wzapps::applicationListFaults());
    if (error != 0) {
        return error;
    }
    names.clear();
    for (const AppLine& app : applicationTable()) {
        if (app.zendrelId == zendrelId && app.clientId == clientId && app.appType == appType &&
            app.instanceId == instanceId) {
            names.push_back(app.name);
        }
    }
    return 0;
}

int ClientApplicationList::getSubclientList(int, unsigned long backupSetId, void*, int,
                                            std::vector<Subclient>& subclients) {
    const int error = failure(wzapps::subclientListFaults());
    if (error != 0) {
        return error;
    }
    subclients.clear();
    for (const wzapps::SubclientLine& line : wzapps::subclientTable()) {
        if (line.backupSetId == backupSetId) {
            subclients.emplace_back(line.subclientId, line.isDefault);
        }
    }
    return 0;
}
