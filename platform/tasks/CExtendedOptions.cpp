#include "platform/tasks/CExtendedOptions.h"

#include <string_view>

#include "platform/settings/SettingValues.h"

CExtendedOptions::CExtendedOptions(const std::string& text) {
    std::string_view rest(text);
    std::string_view line;
    std::string_view key;
    std::string_view value;
    while (wzsettings::nextLine(rest, &line)) {
        if (wzsettings::splitKeyValue(line, &key, &value)) {
            m_options[std::string(key)] = std::string(value);
        }
    }
}

int CExtendedOptions::getOptionAsInt(const std::string& key) const {
    int value = 0;
    auto it = m_options.find(key);
    return it != m_options.end() && wzsettings::parseInt(it->second, &value) ? value : 0;
}

unsigned long CExtendedOptions::getOptionAsUInt(const std::string& key) const {
    unsigned long value = 0;
    auto it = m_options.find(key);
    return it != m_options.end() && wzsettings::parseUnsigned(it->second, &value) ? value : 0;
}

std::string CExtendedOptions::getOption(const std::string& key) const {
    auto it = m_options.find(key);
    return it == m_options.end() ? std::string() : it->second;
}
