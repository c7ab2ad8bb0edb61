#include "platform/settings/WZPlatformInfo.h"

#include <cerrno>

#include "platform/settings/SettingValues.h"
#include "platform/settings/SettingsFile.h"
#include "platform/settings/WZPlatformAgents.h"

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

// Looks the setting up and converts it with `parse`; the caller's variable changes only when both succeed.
template <typename T, typename Parse>
int WZPlatformInfo::readTyped(const char* section, const char* key, T* value, Parse parse) {
    std::string text;
    T converted{};
    if (!lookup(section, key, &text)) {
        return 0;
    }
    if (!parse(text, &converted)) {
        m_lastError = EINVAL;
        return 0;
    }
    if (value != nullptr) {
        *value = std::move(converted);
    }
    return 1;
}

int WZPlatformInfo::getNumber(const char* section, const char* key, unsigned long* value) {
    return readTyped(section, key, value,
                     [](const std::string& t, unsigned long* v) { return wzsettings::parseUnsigned(t, v); });
}

int WZPlatformInfo::getString(const char* section, const char* key, std::string* value) {
    return readTyped(section, key, value, [](std::string& t, std::string* v) {
        v->swap(t);
        return true;
    });
}

int WZPlatformInfo::getBoolean(const char* section, const char* key, bool* value) {
    return readTyped(section, key, value, [](const std::string& t, bool* v) { return wzsettings::parseBoolean(t, v); });
}

bool WZPlatformInfo::setFocus(const std::string& focus) {
    if (focusFaults().take() || focus != WZPI_Focus::getFocus()) {
        m_lastError = ENOENT;
        return false;
    }
    m_lastError = 0;
    return true;
}

std::string WZPlatformInfo::getClientNameFromHostName(const std::string& hostName) {
    std::string client;
    if (!hostName.empty() && getString("ClientHostNames", hostName.c_str(), &client)) {
        return client;
    }
    return WZPI_Focus::isThisHost(hostName) ? WZPI_Focus::getFocusClientName(true) : "";
}

wzfault::FaultCounter& WZPlatformInfo::focusFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}
