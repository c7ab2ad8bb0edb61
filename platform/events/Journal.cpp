#include "platform/events/Journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/log/LogWriter.h"
#include "platform/settings/PlatformPaths.h"

namespace wzplatform {

namespace {

struct JournalState {
    std::mutex mutex;
    std::vector<JournalEntry> entries;
};

JournalState& state() {
    static JournalState s;
    return s;
}

std::string escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string fileLine(const std::string& component, const std::string& line) {
    char stamp[64];
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm tm;
    localtime_r(&now.tv_sec, &tm);
    size_t len = strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    snprintf(stamp + len, sizeof stamp - len, ".%03ld", now.tv_nsec / 1000000);
    return std::string(stamp) + "\t" + escaped(component) + "\t" + escaped(line) + "\n";
}

// One write with O_APPEND per line keeps lines of concurrent callers whole. Answers 0 or an errno.
int appendLine(const std::string& path, const std::string& text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno;
    }
    size_t done = 0;
    int error = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return error;
}

}  // namespace

std::string journalPath() {
    return resultsDirectory() + "/journal.log";
}

void journal(const std::string& component, const std::string& line) {
    std::string path = journalPath();
    std::string text = fileLine(component, line);
    JournalState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.entries.push_back(JournalEntry{component, line});
    int error = appendLine(path, text);
    if (error != 0) {
        FCL_ERROR("Cannot append to the job journal [%s]: %s", path.c_str(), strerror(error));
    }
}

std::vector<JournalEntry> journalEntries() {
    JournalState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.entries;
}

std::vector<std::string> journalLines(const std::string& component) {
    std::vector<std::string> lines;
    for (const JournalEntry& e : journalEntries()) {
        if (e.component == component) {
            lines.push_back(e.line);
        }
    }
    return lines;
}

void clearJournal() {
    JournalState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.entries.clear();
}

}  // namespace wzplatform
