#pragma once
// A Google Cloud Spanner instance of the cloud database library, as a restore reads it: where its files are staged.
// The staging path of instance N is the setting CloudSpanner/sStagingPath<N>, else CloudSpanner/sStagingPath.
#include <string>

#include "platform/support/FaultCounter.h"

class GoogleCloudSpannerInstance : public wzfault::FailableAllocation<GoogleCloudSpannerInstance> {
public:
    explicit GoogleCloudSpannerInstance(unsigned int instanceNumber) : instanceNumber_(instanceNumber) {}

    // 0 with `path` set; ENOENT when no staging path is configured.
    int getCloudStagingPath(std::string& path);

private:
    unsigned int instanceNumber_;
};
