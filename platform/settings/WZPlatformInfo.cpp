#include "platform/settings/WZPlatformInfo.h"

#include <cerrno>

#include "platform/settings/SettingValues.h"
#include "platform/settings/SettingsFile.h"

bool WZPlatformInfo::lookup(const char* section, const char* key, std::string* text) {
    if (section == nullptr || key == nullptr) {
        m_lastError = EINVAL;
        return false;
    }
    wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    const std::string* found = settings.document->find(section, key);
    if (found == nullptr) {
        m_lastError = settings.error != 0 && settings.error != ENOENT ? settings.error : ENOENT;
        return false;
    }
    *text = *found;
    m_lastError = 0;
    return true;
}

int WZPlatformInfo::getNumber(const char* section, const char* key, unsigned long* value) {
    std::string text;
    unsigned long number = 0;
    if (!lookup(section, key, &text)) {
        return 0;
    }
    if (!wzsettings::parseUnsigned(text, &number)) {
        m_lastError = EINVAL;
        return 0;
    }
    if (value != nullptr) {
        *value = number;
    }
    return 1;
}

int WZPlatformInfo::getString(const char* section, const char* key, std::string* value) {
    std::string text;
    if (!lookup(section, key, &text)) {
        return 0;
    }
    if (value != nullptr) {
        *value = std::move(text);
    }
    return 1;
}

int WZPlatformInfo::getBoolean(const char* section, const char* key, bool* value) {
    std::string text;
    bool flag = false;
    if (!lookup(section, key, &text)) {
        return 0;
    }
    if (!wzsettings::parseBoolean(text, &flag)) {
        m_lastError = EINVAL;
        return 0;
    }
    if (value != nullptr) {
        *value = flag;
    }
    return 1;
}
