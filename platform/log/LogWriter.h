#pragma once
// The shared log writer of the engine and the platform stand-ins.
// A line of level N is written when the writer's level is above N-1; error lines (level -1) always are.
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

class CLogWriterInterface {
public:
    virtual ~CLogWriterInterface() = default;
    virtual int getLevel() const = 0;
    virtual void setLevel(int level) = 0;
    // function: the caller's full signature; line: its source line.
    virtual void vwrite(int level, const char* function, int line, const char* format, va_list args) = 0;
    // Writes out what a buffering writer holds.
    virtual void flush() {}
    void write(int level, const char* function, int line, const char* format, ...)
        __attribute__((format(printf, 5, 6)));
    bool wants(int level) const { return level < 0 || getLevel() > level - 1; }
};

extern boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter;

#define FCL_LOG(level, ...)                                                            \
    do {                                                                               \
        boost::shared_ptr<CLogWriterInterface> fclLogWriter_ = g_ptrLogWriter;         \
        if (fclLogWriter_ && fclLogWriter_->wants(level))                              \
            fclLogWriter_->write((level), __PRETTY_FUNCTION__, __LINE__, __VA_ARGS__); \
    } while (0)
#define FCL_ERROR(...) FCL_LOG(-1, __VA_ARGS__)

namespace wzlog {

// Whether the installed writer writes lines of `level`: for work done only for such lines.
inline bool wants(int level) {
    boost::shared_ptr<CLogWriterInterface> writer = g_ptrLogWriter;
    return writer && writer->wants(level);
}

// Flushes the installed writer: at the end of a job, so its log is whole while the process goes on.
void flushLog();

// The local time as `strftimeFormat` gives it, then '.' and the milliseconds.
std::string timeStamp(const char* strftimeFormat);
// Writes all of `text` to `fd`, across short writes and EINTR; 0 or the errno of the failed write.
int writeAll(int fd, const std::string& text);

// Formats one line as "<time> <pid> <tid> <level> <function>:<line> <message>".
std::string formatLine(int level, const char* function, int line, const char* format, va_list args);

// Appends lines to a file (O_APPEND) through a buffer: written when it fills, at once for an error line, when a
// line comes a second or more after the last write (so the log can be followed while a job runs), on flush() and
// at the end. Each write holds whole lines. Past `maxBytes` the file is renamed and a new one begun: the first time
// to "<path>.1", which keeps the start of the job, later to "<path>.2" (replacing an older one), so a long job keeps
// its start and at most about twice `maxBytes` of its latest lines.
class FileLogWriter : public CLogWriterInterface {
public:
    static constexpr size_t kBufferBytes = 64 << 10;
    static constexpr uint64_t kDefaultMaxBytes = 64ull << 20;

    FileLogWriter(const std::string& path, int level, uint64_t maxBytes = kDefaultMaxBytes);
    ~FileLogWriter() override;
    bool isOpen() const { return fd_ >= 0; }
    int getLevel() const override { return level_; }
    void setLevel(int level) override { level_ = level; }
    void vwrite(int level, const char* function, int line, const char* format, va_list args) override;
    void flush() override;

private:
    void writeOutLocked();

    std::string path_;
    int fd_;
    int level_;
    uint64_t maxBytes_;
    uint64_t fileBytes_ = 0;
    std::mutex mutex_;
    std::string pending_;
    std::chrono::steady_clock::time_point lastWrite_;
};

// Writes to standard error; the default writer before a host installs its own.
class StderrLogWriter : public CLogWriterInterface {
public:
    explicit StderrLogWriter(int level) : level_(level) {}
    int getLevel() const override { return level_; }
    void setLevel(int level) override { level_ = level; }
    void vwrite(int level, const char* function, int line, const char* format, va_list args) override;

private:
    int level_;
};

// Keeps every line in memory: tests install it and read what was logged.
class CaptureLogWriter : public CLogWriterInterface {
public:
    struct Line {
        int level;
        std::string function;
        int line;
        std::string text;
    };
    explicit CaptureLogWriter(int level = 10) : level_(level) {}
    int getLevel() const override { return level_; }
    void setLevel(int level) override { level_ = level; }
    void vwrite(int level, const char* function, int line, const char* format, va_list args) override;
    std::vector<Line> lines() const;
    // True when a captured line's text contains `needle`.
    bool contains(const std::string& needle) const;
    size_t count(const std::string& needle) const;
    void clear();

private:
    int level_;
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};

// The level named by FCL_LOG_LEVEL, or `fallback` when it is unset or not a number.
int levelFromEnvironment(int fallback = 1);

// Installs a capturing writer for the lifetime of the object, then puts the previous writer back.
class ScopedCapture {
public:
    explicit ScopedCapture(int level = 10);
    ~ScopedCapture();
    CaptureLogWriter& operator*() const { return *capture_; }
    CaptureLogWriter* operator->() const { return capture_.get(); }

private:
    boost::shared_ptr<CaptureLogWriter> capture_;
    boost::shared_ptr<CLogWriterInterface> previous_;
};

}  // namespace wzlog
