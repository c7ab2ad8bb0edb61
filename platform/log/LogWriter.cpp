#include "platform/log/LogWriter.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/files/WholeIo.h"
#include "platform/support/TextFormat.h"

boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter(new wzlog::StderrLogWriter(wzlog::levelFromEnvironment()));

void CLogWriterInterface::write(int level, const char* function, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vwrite(level, function, line, format, args);
    va_end(args);
}

namespace wzlog {

void flushLog() {
    boost::shared_ptr<CLogWriterInterface> writer = g_ptrLogWriter;
    if (writer) {
        writer->flush();
    }
}

std::string timeStamp(const char* strftimeFormat) {
    char stamp[64];
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm tm;
    localtime_r(&now.tv_sec, &tm);
    size_t len = strftime(stamp, sizeof stamp, strftimeFormat, &tm);
    snprintf(stamp + len, sizeof stamp - len, ".%03ld", now.tv_nsec / 1000000);
    return stamp;
}

int writeAll(int fd, const std::string& text) {
    return wzfiles::writeFully(fd, text.data(), text.size()) == text.size() ? 0 : errno;
}

namespace {

// Bumped in a forked child, whose process and thread ids differ from its parent's.
std::atomic<unsigned> g_forks{0};
std::once_flag g_forkWatch;

struct ThreadIds {
    unsigned forks = ~0u;
    int process = 0;
    long thread = 0;
};

// Every line names its process and thread; both are asked once per thread (and again in a forked child).
const ThreadIds& threadIds() {
    std::call_once(g_forkWatch, [] { pthread_atfork(nullptr, nullptr, [] { g_forks.fetch_add(1); }); });
    static thread_local ThreadIds ids;
    const unsigned forks = g_forks.load(std::memory_order_relaxed);
    if (ids.forks != forks) {
        ids.forks = forks;
        ids.process = static_cast<int>(getpid());
        ids.thread = static_cast<long>(syscall(SYS_gettid));
    }
    return ids;
}

}  // namespace

std::string formatLine(int level, const char* function, int line, const char* format, va_list args) {
    std::string stamp = timeStamp("%m/%d %H:%M:%S");
    char prefix[160];
    const ThreadIds& ids = threadIds();
    snprintf(prefix, sizeof prefix, "%s %d %ld %2d ", stamp.c_str(), ids.process, ids.thread, level);
    std::string out(prefix);
    out += function ? function : "?";
    out += ':';
    out += std::to_string(line);
    out += ' ';
    out += wztext::vformat(format, args);
    if (out.empty() || out.back() != '\n') {
        out += '\n';
    }
    return out;
}

FileLogWriter::FileLogWriter(const std::string& path, int level, uint64_t maxBytes)
    : path_(path),
      fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644)),
      level_(level),
      maxBytes_(maxBytes),
      lastWrite_(std::chrono::steady_clock::now()) {
    struct stat info;
    if (fd_ >= 0 && fstat(fd_, &info) == 0) {
        fileBytes_ = static_cast<uint64_t>(info.st_size);
    }
    pending_.reserve(kBufferBytes);
}

FileLogWriter::~FileLogWriter() {
    flush();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void FileLogWriter::flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    writeOutLocked();
}

void FileLogWriter::writeOutLocked() {
    lastWrite_ = std::chrono::steady_clock::now();
    if (pending_.empty() || fd_ < 0) {
        pending_.clear();
        return;
    }
    if (maxBytes_ != 0 && fileBytes_ != 0 && fileBytes_ + pending_.size() > maxBytes_) {
        // The first full file is the start of the job, which says how it was set up: it is kept as ".1"; later ones
        // take turns as ".2".
        struct stat start;
        const std::string older = path_ + (::lstat((path_ + ".1").c_str(), &start) == 0 ? ".2" : ".1");
        int fresh = -1;
        if (::rename(path_.c_str(), older.c_str()) == 0) {
            fresh = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
        }
        if (fresh >= 0) {
            ::close(fd_);
            fd_ = fresh;
            fileBytes_ = 0;
        }
    }
    // One write of whole lines with O_APPEND keeps lines of other writers of the file whole.
    if (writeAll(fd_, pending_) == 0) {
        fileBytes_ += pending_.size();
    }
    pending_.clear();
}

void FileLogWriter::vwrite(int level, const char* function, int line, const char* format, va_list args) {
    if (fd_ < 0) {
        return;
    }
    std::string text = formatLine(level, function, line, format, args);
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ += text;
    if (level < 0 || pending_.size() >= kBufferBytes ||
        std::chrono::steady_clock::now() - lastWrite_ >= std::chrono::seconds(1)) {
        writeOutLocked();
    }
}

void StderrLogWriter::vwrite(int level, const char* function, int line, const char* format, va_list args) {
    writeAll(STDERR_FILENO, formatLine(level, function, line, format, args));
}

void CaptureLogWriter::vwrite(int level, const char* function, int line, const char* format, va_list args) {
    Line l{level, function ? function : "", line, wztext::vformat(format, args)};
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(std::move(l));
}

std::vector<CaptureLogWriter::Line> CaptureLogWriter::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool CaptureLogWriter::contains(const std::string& needle) const {
    return count(needle) > 0;
}

size_t CaptureLogWriter::count(const std::string& needle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const Line& l : lines_) {
        if (l.text.find(needle) != std::string::npos) {
            ++n;
        }
    }
    return n;
}

void CaptureLogWriter::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

int levelFromEnvironment(int fallback) {
    const char* text = getenv("FCL_LOG_LEVEL");
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    if (*end != '\0' || value < -1 || value > 100) {
        return fallback;
    }
    return static_cast<int>(value);
}

ScopedCapture::ScopedCapture(int level) : capture_(new CaptureLogWriter(level)), previous_(g_ptrLogWriter) {
    g_ptrLogWriter = capture_;
}

ScopedCapture::~ScopedCapture() {
    g_ptrLogWriter = previous_;
}

}  // namespace wzlog
