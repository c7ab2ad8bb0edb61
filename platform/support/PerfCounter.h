#pragma once
// Named performance counters: the job starts and stops them around receives, sends, reads and writes.
// The inline front ends decide whether anything is measured; the measuring operations are virtual.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

class EvEvent;

// The kind of a counter as the reporting side reads it (0 and 1 are in use).
typedef unsigned int CTRBASETYPE;

// One counter descriptor of a job's list; its place in the list is the counter's index.
struct _rstrPerfCounterInfo {
    std::string name;
    CTRBASETYPE baseType;
    bool addFlag;
    unsigned int counterId;  // external id, handed on with the whole list
};

class PerfCounter {
public:
    // The pseudo-file under which job-wide figures are kept.
    static constexpr const char* kAllFiles = "For All The Files";

    struct Figures {
        unsigned long long count = 0;    // completed measurements
        unsigned long long cancels = 0;  // measurements dropped
        std::chrono::nanoseconds time{0};
        unsigned long long bytes = 0;
    };

    explicit PerfCounter(EvEvent* event);
    virtual ~PerfCounter();
    PerfCounter(const PerfCounter&) = delete;
    PerfCounter& operator=(const PerfCounter&) = delete;

    // Forgets every counter and figure and takes the event object that reports go to.
    void initPerfCounters(EvEvent* event);
    // Registers counter `index`; a negative index is refused with an error line.
    void AddPerfCounter(int index, std::string name, CTRBASETYPE type, bool flag);

    void StartPerfCounter(const char* label, int index) {
        if (isEnabled()) {
            startCounter(label, index);
        }
    }
    void StopPerfCounter(const char* label, int index, unsigned long long bytes) {
        if (isEnabled()) {
            stopCounter(label, index, bytes);
            aggregateIfSet(label);
        }
    }
    void CancelPerfCounter(const char* label, int index) {
        if (isEnabled()) {
            cancelCounter(label, index);
            aggregateIfSet(label);
        }
    }
    // Two counters over one span (the reader's wait for a buffer is both a receive and the pipeline's read): one
    // lock and one clock reading serve both.
    void StartPerfCounterPair(const char* label, int first, int second) {
        if (isEnabled()) {
            startCounterPair(label, first, second);
        }
    }
    void StopPerfCounterPair(const char* label, int first, unsigned long long firstBytes, int second,
                             unsigned long long secondBytes) {
        if (isEnabled()) {
            stopCounterPair(label, first, firstBytes, second, secondBytes);
            aggregateIfSet(label);
        }
    }
    void CancelPerfCounterPair(const char* label, int first, int second) {
        if (isEnabled()) {
            cancelCounterPair(label, first, second);
            aggregateIfSet(label);
        }
    }
    void ResetPerfCounters(const char* label, const char* file, long long size) {
        if (isEnabled() && isPerFile()) {
            resetCountersForFile(label, file != nullptr ? file : kAllFiles, size);
        }
    }
    void StopPerfCounters(const char* label, const char* file, bool report, bool last, long long size) {
        if (isEnabled() && !isPerFile()) {
            stopCountersForFile(label, file != nullptr ? file : kAllFiles, report, last, size);
            aggregateIfSet(label);
        }
    }

    void setEnabled(bool on) { m_enabled.store(on, std::memory_order_relaxed); }
    bool isEnabled() const { return m_enabled.load(std::memory_order_relaxed); }
    void setPerFile(bool on) { m_perFile.store(on, std::memory_order_relaxed); }
    bool isPerFile() const { return m_perFile.load(std::memory_order_relaxed); }
    void setAggregate(bool on) { m_aggregate.store(on, std::memory_order_relaxed); }
    bool isAggregate() const { return m_aggregate.load(std::memory_order_relaxed); }

    EvEvent* event() const;
    bool isRegistered(int index) const;
    std::string counterName(int index) const;
    // Figures since the last per-file reset (the whole job when none happened).
    Figures fileFigures(int index) const;
    // Figures folded in by the aggregate steps.
    Figures totalFigures(int index) const;
    // The file of the last per-file reset or stop-all, and its size.
    std::string currentFile() const;
    long long currentFileSize() const;

protected:
    // The measuring operations; unknown or unregistered indexes are ignored.
    virtual void startCounter(const char* label, int index);
    virtual void stopCounter(const char* label, int index, unsigned long long bytes);
    virtual void cancelCounter(const char* label, int index);
    virtual void startCounterPair(const char* label, int first, int second);
    virtual void stopCounterPair(const char* label, int first, unsigned long long firstBytes, int second,
                                 unsigned long long secondBytes);
    virtual void cancelCounterPair(const char* label, int first, int second);
    virtual void resetCountersForFile(const char* label, const char* file, long long size);
    // Ends every running measurement; with `report` the figures are logged.
    virtual void stopCountersForFile(const char* label, const char* file, bool report, bool last, long long size);
    virtual void aggregateCounters(const char* label, const char* file, long long size);

private:
    struct Counter {
        bool registered = false;
        std::string name;
        CTRBASETYPE type = 0;
        bool flag = false;
        bool running = false;
        std::chrono::steady_clock::time_point started;
        Figures file;
        Figures pending;  // not yet folded into total
        Figures total;
    };

    void aggregateIfSet(const char* label) {
        if (isAggregate()) {
            aggregateCounters(label, kAllFiles, -1);
        }
    }
    // What the measuring operations do to one counter; m_lock held.
    void startLocked(int index, std::chrono::steady_clock::time_point now);
    void stopLocked(int index, unsigned long long bytes, std::chrono::steady_clock::time_point now);
    void cancelLocked(int index);
    // The counter at `index` when registered, else null; m_lock held.
    Counter* find(int index);
    const Counter* find(int index) const;

    mutable std::mutex m_lock;
    std::vector<Counter> m_counters;
    EvEvent* m_event;
    std::string m_file;
    long long m_fileSize;
    std::atomic<bool> m_enabled;
    std::atomic<bool> m_perFile;
    std::atomic<bool> m_aggregate;
};
