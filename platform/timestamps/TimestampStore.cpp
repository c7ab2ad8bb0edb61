#include "platform/timestamps/TimestampStore.h"

#include <algorithm>

namespace wztimestamps {

namespace {

uint32_t depthOf(const std::string& path) {
    uint32_t depth = 0;
    bool inName = false;
    for (char c : path) {
        if (c == '/') {
            inName = false;
        } else if (!inName) {
            inName = true;
            ++depth;
        }
    }
    return depth;
}

}  // namespace

bool TimestampStore::add(const std::string& path, const std::string& reportingName, long long accessTicks,
                         long long modifiedTicks, int taskId, bool throughLink) {
    const size_t nameBytes = path.size() + reportingName.size() + 2;
    if (bytesUsed() + nameBytes + sizeof(Record) > limit_ || path.size() > UINT32_MAX ||
        reportingName.size() > UINT32_MAX) {
        return false;
    }
    Record record;
    record.nameOffset = names_.size();
    record.pathLength = static_cast<uint32_t>(path.size());
    record.depth = depthOf(path);
    record.throughLink = throughLink ? 1 : 0;
    record.accessTicks = accessTicks;
    record.modifiedTicks = modifiedTicks;
    record.taskId = taskId;
    record.reportingLength = static_cast<uint32_t>(reportingName.size());
    records_.push_back(record);
    names_.insert(names_.end(), path.begin(), path.end());
    names_.push_back('\0');
    names_.insert(names_.end(), reportingName.begin(), reportingName.end());
    names_.push_back('\0');
    if (taskId != kOwnTask) {
        ++taskFolders_;
    }
    return true;
}

void TimestampStore::forEachDeepestFirst(const std::function<void(const QueuedFolder&)>& visit) const {
    std::vector<uint32_t> order(records_.size());
    for (uint32_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [this](uint32_t a, uint32_t b) { return records_[a].depth > records_[b].depth; });
    for (uint32_t index : order) {
        const Record& record = records_[index];
        const char* path = names_.data() + record.nameOffset;
        visit(QueuedFolder{path, path + record.pathLength + 1, record.accessTicks, record.modifiedTicks, record.taskId,
                           record.throughLink != 0});
    }
}

void TimestampStore::clear() {
    std::vector<char>().swap(names_);
    std::vector<Record>().swap(records_);
    taskFolders_ = 0;
}

}  // namespace wztimestamps
