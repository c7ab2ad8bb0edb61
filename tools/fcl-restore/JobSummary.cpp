#include "tools/fcl-restore/JobSummary.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace fclhost {
namespace {

std::string line(const char* name, const std::string& value) {
    char text[64];
    snprintf(text, sizeof text, "  %-15s ", name);
    return text + value + "\n";
}

std::string fixed(double value, int decimals) {
    char text[64];
    snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string signalName(int signo) {
    return signo == SIGINT ? "SIGINT" : signo == SIGTERM ? "SIGTERM" : "signal " + std::to_string(signo);
}

}  // namespace

int exitStatus(const JobSummary& summary) {
    if (summary.interruptSignal != 0) {
        return 128 + summary.interruptSignal;
    }
    if (!summary.jobSucceeded) {
        return 2;
    }
    return summary.failed != 0 || summary.aclsOrXattrsLost.items != 0 ? 1 : 0;
}

std::string ownerLossReason(int error) {
    std::string text = error != 0 ? strerror(error) : "the owner could not be set";
    if (error == EPERM) {
        text += ": only root can give an item to another user, so these items are yours";
    }
    return text;
}

std::string aclLossReason(int error) {
    std::string text = error != 0 ? strerror(error) : "they could not be set";
    if (error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS) {
        text += ": the destination's file system cannot hold them";
    }
    return text;
}

double megabytesPerSecond(uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0;
}

std::string formatSummary(const JobSummary& summary) {
    std::string text;
    if (summary.interruptSignal != 0) {
        text = "Restore stopped by " + signalName(summary.interruptSignal) +
               ": what is listed as restored is in place, the rest was not restored\n";
    } else if (!summary.jobSucceeded) {
        text = "Restore failed: " +
               (summary.failureReason.empty() ? std::string("no reason given") : summary.failureReason) + "\n";
    } else if (summary.failed != 0) {
        text = "Restore finished with failed items\n";
    } else if (summary.aclsOrXattrsLost.items != 0) {
        text = "Restore finished: " + std::to_string(summary.aclsOrXattrsLost.items) +
               " item(s) lost their ACLs or extended attributes\n";
    } else {
        text = "Restore succeeded\n";
    }
    text += line("items restored:", std::to_string(summary.restored));
    text += line("items skipped:", std::to_string(summary.skipped));
    text += line("items failed:", std::to_string(summary.failed));
    if (summary.excluded != 0) {
        text += line("items excluded:", std::to_string(summary.excluded) + " (left out by the mapping file)");
    }
    if (summary.notReached != 0) {
        text += line("not reached:", std::to_string(summary.notReached) + " (the job ended before them)");
    }
    if (summary.ownersNotKept.items != 0) {
        text += line("owners not kept:", std::to_string(summary.ownersNotKept.items) + " item(s) (" +
                                             ownerLossReason(summary.ownersNotKept.error) + ")");
    }
    if (summary.aclsOrXattrsLost.items != 0) {
        text += line("ACLs/xattrs lost:", std::to_string(summary.aclsOrXattrsLost.items) + " item(s) (" +
                                              aclLossReason(summary.aclsOrXattrsLost.error) + ")");
    }
    text += line("bytes:", std::to_string(summary.bytes));
    text += line("seconds:", fixed(summary.seconds, 2));
    text += line("MB/s:", fixed(megabytesPerSecond(summary.bytes, summary.seconds), 1));
    text += line("results file:", summary.resultsFile.empty() ? "none written" : summary.resultsFile);
    text += line("results dir:", summary.resultsDir);
    text += line("log:", summary.logFile);
    return text;
}

}  // namespace fclhost
