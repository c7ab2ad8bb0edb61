#include "platform/tasks/EvTask.h"

#include <climits>

#include "platform/settings/SettingValues.h"
#include "platform/settings/SettingsFile.h"

const char kEmptyJobOptions[] = "<TMMsg_JobOption/>";

namespace {

const char kTaskSection[] = "RestoreTask";
const int kNotAvailable = 1;

// Values of the option `id`, in file order.
std::list<std::string> optionValues(unsigned long id) {
    std::list<std::string> values;
    wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    settings.document->forEach(kTaskSection, [&](const std::string& key, const std::string& value) {
        unsigned long keyId = 0;
        if (wzsettings::parseHexId(key, &keyId) && keyId == id) {
            values.push_back(value);
        }
    });
    return values;
}

}  // namespace

EvTask::EvTask(unsigned long long jobId, int /*kind*/, void* /*context*/, bool /*flag*/) : m_jobId(jobId) {}

int EvTask::getOptionBool(unsigned long id, bool& value, void*) {
    std::list<std::string> values = optionValues(id);
    bool flag = false;
    if (values.empty() || !wzsettings::parseBoolean(values.back(), &flag)) {
        return kNotAvailable;
    }
    value = flag;
    return 0;
}

int EvTask::getOptionInt(unsigned long id, int& value, void*) {
    std::list<std::string> values = optionValues(id);
    int number = 0;
    if (values.empty() || !wzsettings::parseInt(values.back(), &number)) {
        return kNotAvailable;
    }
    value = number;
    return 0;
}

int EvTask::getOptionString(unsigned long id, std::list<std::string>& values, void*) {
    std::list<std::string> found = optionValues(id);
    if (found.empty()) {
        return kNotAvailable;
    }
    values.swap(found);
    return 0;
}

int EvTask::getXMLOptions(std::string& options, void*) {
    wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    const std::string* text = settings.document->find("JobOptions", "xml");
    options = text ? *text : std::string(kEmptyJobOptions);
    return 0;
}

int EvTask::getNamedNumber(const char* key, long& value) {
    wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    const std::string* text = settings.document->find(kTaskSection, key);
    unsigned long number = 0;
    if (text == nullptr || !wzsettings::parseUnsigned(*text, &number) ||
        number > static_cast<unsigned long>(LONG_MAX)) {
        return kNotAvailable;
    }
    value = static_cast<long>(number);
    return 0;
}

int EvRstTask::getAppTypeId(long& value, void*) {
    return getNamedNumber("appTypeId", value);
}

int EvRstTask::getSourceClientId(long& value, void*) {
    return getNamedNumber("sourceClientId", value);
}

int EvRstTask::getToTime(long& value, void*) {
    return getNamedNumber("toTime", value);
}

int EvRstTask::getDestinationInstanceId(long& value, void*) {
    return getNamedNumber("destinationInstanceId", value);
}
