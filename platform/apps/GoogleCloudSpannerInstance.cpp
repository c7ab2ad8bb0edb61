#include "platform/apps/GoogleCloudSpannerInstance.h"

#include <cerrno>
#include <string>

#include "platform/settings/WZPlatformInfo.h"

int GoogleCloudSpannerInstance::getCloudStagingPath(std::string& path) {
    const std::string own = "sStagingPath" + std::to_string(instanceNumber_);
    std::string found;
    WZPlatformInfo settings;
    if (settings.getString("CloudSpanner", own.c_str(), &found) ||
        settings.getString("CloudSpanner", "sStagingPath", &found)) {
        path = found;
        return 0;
    }
    return ENOENT;
}
