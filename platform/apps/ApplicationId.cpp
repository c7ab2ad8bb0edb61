#include "platform/apps/ApplicationId.h"

#include "platform/apps/ApplicationTypes.h"
#include "platform/settings/WZPlatformInfo.h"

namespace {

bool settingFlag(const char* section, const char* key) {
    bool value = false;
    WZPlatformInfo().getBoolean(section, key, &value);
    return value;
}

}  // namespace

int WZBackupSet::hasSingleInstanceSilo(bool& silo) {
    silo = settingFlag("BackupSet", "singleInstanceSilo");
    return 0;
}

ApplicationId::ApplicationId(unsigned long zendrelNumber, unsigned long appNumber)
    : zendrelNumber_(zendrelNumber), appNumber_(appNumber) {}

boost::shared_ptr<WZBackupSet> ApplicationId::getBackupSet() {
    unsigned long appType = 0;
    if (!WZPlatformInfo().getNumber("BackupSet", "appType", &appType)) {
        return boost::shared_ptr<WZBackupSet>();
    }
    return boost::shared_ptr<WZBackupSet>(new WZBackupSet(appType));
}

boost::shared_ptr<WZClient> ApplicationId::getClient() {
    return boost::shared_ptr<WZClient>(new WZClient());
}

unsigned long ApplicationId::getAppType() {
    boost::shared_ptr<WZBackupSet> set = getBackupSet();
    return set ? set->getAppType() : 0;
}

bool IsUnixFsBackupSetType(unsigned long appType) {
    return isUnixFileSystemAppType(appType);
}
