#include "platform/events/Journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/events/RecordedList.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/PlatformPaths.h"

namespace wzplatform {

namespace {

RecordedList<JournalEntry>& entries() {
    static RecordedList<JournalEntry> list;
    return list;
}

std::mutex& fileMutex() {
    static std::mutex m;
    return m;
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

// One write with O_APPEND per line keeps lines of concurrent callers whole. Answers 0 or an errno.
int appendLine(const std::string& path, const std::string& text) {
    int fd = openFile(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) {
        return errno;
    }
    int error = wzlog::writeAll(fd, text);
    ::close(fd);
    return error;
}

}  // namespace

std::string journalPath() {
    return resultsDirectory() + "/journal.log";
}

void journal(const std::string& component, const std::string& line) {
    std::string path = journalPath();
    std::string text = wzlog::timeStamp("%Y-%m-%d %H:%M:%S") + "\t" + escaped(component) + "\t" + escaped(line) + "\n";
    // One lock over both keeps the file in the order of the memory list.
    std::lock_guard<std::mutex> lock(fileMutex());
    entries().add(JournalEntry{component, line});
    int error = appendLine(path, text);
    if (error != 0) {
        FCL_ERROR("Cannot append to the job journal [%s]: %s", path.c_str(), strerror(error));
    }
}

std::vector<JournalEntry> journalEntries() {
    return entries().snapshot();
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
    entries().clear();
}

}  // namespace wzplatform
