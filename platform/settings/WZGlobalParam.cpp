#include "platform/settings/WZGlobalParam.h"

#include "platform/settings/SettingsFile.h"

namespace {
const char kSection[] = "GlobalParams";
}

int WZGlobalParam::getProperty(const std::string& name, std::string& value) {
    wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();  // keeps the document alive while read
    const std::string* found = settings.document->find(kSection, name);
    value = found ? *found : std::string();
    return found != nullptr;
}

bool WZGlobalParam::getUpdateRecoverySec(unsigned long appType, std::string& seconds) {
    return getProperty("UpdateRecoverySec." + std::to_string(appType), seconds) && !seconds.empty();
}
