#include "tools/fcl-restore/FailureReason.h"

#include <sys/statvfs.h>

#include <algorithm>

#include "platform/events/MessageCatalogue.h"

namespace fclhost {
namespace {

// The engine's cause for a write or a create that found no room (ENOSPC, EDQUOT).
constexpr int kDiskFullCause = 0x17000046;

std::string fullDisk(const JobFacts& facts) {
    std::string text = facts.destination.noInodes ? "the destination's file system has no free inodes left"
                                                  : "the destination's file system is full";
    if (!facts.currentItem.empty()) {
        text += ": " + facts.currentItem + " could not be written";
    }
    return text;
}

}  // namespace

std::string explainFailure(const JobFacts& facts) {
    if (facts.interrupted) {
        return "stopped by an interrupt";
    }
    if (!facts.refusal.empty()) {
        return facts.refusal;
    }
    if (!facts.firGaveUp.empty()) {
        return facts.firGaveUp;
    }
    if (!facts.archiveReason.empty()) {
        return "the backup cannot be read: " + facts.archiveReason;
    }
    const std::vector<int>& causes = facts.pendingCauses;
    if (std::find(causes.begin(), causes.end(), kDiskFullCause) != causes.end()) {
        return fullDisk(facts);
    }
    if (!facts.engineReason.empty()) {
        return facts.engineReason;
    }
    if (!causes.empty()) {
        return wzplatform::catalogueText(causes.back());
    }
    if (facts.destination.readOnly) {
        return "the destination's file system is read-only";
    }
    if (!facts.started) {
        return facts.firAccount.empty() ? "the job did not start" : "the job did not start: " + facts.firAccount;
    }
    if (!facts.firAccount.empty()) {
        return "the engine ended the job without giving a reason (its log may say more); " + facts.firAccount;
    }
    return "the job ended without its final status";
}

std::string explainItemFailures(const JobFacts& facts) {
    if (facts.destination.readOnly) {
        return "the destination's file system is read-only";
    }
    if (facts.destination.noInodes) {
        return "the destination's file system has no free inodes left";
    }
    return "";
}

DestinationState destinationStateOf(const std::string& path) {
    DestinationState state;
    struct statvfs fs;
    if (statvfs(path.c_str(), &fs) == 0) {
        state.readOnly = (fs.f_flag & ST_RDONLY) != 0;
        state.noInodes = fs.f_files != 0 && fs.f_favail == 0;
    }
    return state;
}

}  // namespace fclhost
