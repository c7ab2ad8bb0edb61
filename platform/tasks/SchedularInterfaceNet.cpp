#include "platform/tasks/SchedularInterfaceNet.h"

#include <cerrno>
#include <cstring>

#include "platform/settings/SettingValues.h"
#include "platform/settings/SettingsFile.h"

namespace {
const char kSection[] = "TaskOptions";
}

bool SchedularInterfaceNet::fail(int code, const std::string& text) {
    m_errorCode = code;
    m_errorText = text;
    return false;
}

bool SchedularInterfaceNet::GetTaskOptionBoolean(long long /*jobId*/, wzTaskOptions category, bool& value, int id) {
    clearErrors();
    std::string key = std::to_string(static_cast<int>(category)) + "." + std::to_string(id);
    wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    const std::string* text = settings.document->find(kSection, key);
    if (text == nullptr) {
        return fail(ENOENT, "Task option " + key + " is not set");
    }
    bool flag = false;
    if (!wzsettings::parseBoolean(*text, &flag)) {
        return fail(EINVAL, "Task option " + key + " is not a boolean: " + *text);
    }
    value = flag;
    return true;
}

bool SchedularInterfaceNet::GetTaskOptionString(long long /*jobId*/, wzTaskOptions category, char* buffer,
                                                unsigned long size) {
    clearErrors();
    if (buffer == nullptr || size == 0) {
        return fail(EINVAL, "No buffer for the task option text");
    }
    std::string key = std::to_string(static_cast<int>(category));
    wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    const std::string* text = settings.document->find(kSection, key);
    if (text == nullptr) {
        buffer[0] = '\0';
        return fail(ENOENT, "Task option " + key + " is not set");
    }
    if (text->size() >= size) {
        buffer[0] = '\0';
        return fail(ERANGE, "Task option " + key + " text of " + std::to_string(text->size()) +
                                " bytes does not fit in " + std::to_string(size) + " bytes");
    }
    memcpy(buffer, text->c_str(), text->size() + 1);
    return true;
}
