#include "platform/support/PerfCounter.h"

#include "platform/log/LogWriter.h"

namespace {

void add(PerfCounter::Figures& into, const PerfCounter::Figures& from) {
    into.count += from.count;
    into.cancels += from.cancels;
    into.time += from.time;
    into.bytes += from.bytes;
}

}  // namespace

PerfCounter::PerfCounter(EvEvent* event)
    : m_event(event), m_fileSize(-1), m_enabled(false), m_perFile(false), m_aggregate(false) {}

PerfCounter::~PerfCounter() = default;

void PerfCounter::initPerfCounters(EvEvent* event) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_event = event;
    m_counters.clear();
    m_file.clear();
    m_fileSize = -1;
}

void PerfCounter::AddPerfCounter(int index, std::string name, CTRBASETYPE type, bool flag) {
    if (index < 0) {
        FCL_ERROR("Refusing performance counter [%s] at index %d", name.c_str(), index);
        return;
    }
    std::lock_guard<std::mutex> hold(m_lock);
    if (static_cast<size_t>(index) >= m_counters.size()) {
        m_counters.resize(static_cast<size_t>(index) + 1);
    }
    Counter& c = m_counters[static_cast<size_t>(index)];
    c = Counter();
    c.registered = true;
    c.name = std::move(name);
    c.type = type;
    c.flag = flag;
}

PerfCounter::Counter* PerfCounter::find(int index) {
    if (index < 0 || static_cast<size_t>(index) >= m_counters.size()) {
        return nullptr;
    }
    Counter& c = m_counters[static_cast<size_t>(index)];
    return c.registered ? &c : nullptr;
}

const PerfCounter::Counter* PerfCounter::find(int index) const {
    return const_cast<PerfCounter*>(this)->find(index);
}

void PerfCounter::startLocked(int index, std::chrono::steady_clock::time_point now) {
    if (Counter* c = find(index)) {
        // A start without a stop in between (a wait that timed out) begins the measurement afresh.
        c->running = true;
        c->started = now;
    }
}

void PerfCounter::stopLocked(int index, unsigned long long bytes, std::chrono::steady_clock::time_point now) {
    if (Counter* c = find(index)) {
        Figures step;
        step.count = 1;
        step.bytes = bytes;
        if (c->running) {
            step.time = now - c->started;
            c->running = false;
        }
        add(c->file, step);
        add(c->pending, step);
    }
}

void PerfCounter::cancelLocked(int index) {
    if (Counter* c = find(index)) {
        c->running = false;
        ++c->file.cancels;
        ++c->pending.cancels;
    }
}

void PerfCounter::startCounter(const char*, int index) {
    std::lock_guard<std::mutex> hold(m_lock);
    startLocked(index, std::chrono::steady_clock::now());
}

void PerfCounter::stopCounter(const char*, int index, unsigned long long bytes) {
    auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> hold(m_lock);
    stopLocked(index, bytes, now);
}

void PerfCounter::cancelCounter(const char*, int index) {
    std::lock_guard<std::mutex> hold(m_lock);
    cancelLocked(index);
}

void PerfCounter::startCounterPair(const char*, int first, int second) {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto now = std::chrono::steady_clock::now();
    startLocked(first, now);
    startLocked(second, now);
}

void PerfCounter::stopCounterPair(const char*, int first, unsigned long long firstBytes, int second,
                                  unsigned long long secondBytes) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> hold(m_lock);
    stopLocked(first, firstBytes, now);
    stopLocked(second, secondBytes, now);
}

void PerfCounter::cancelCounterPair(const char*, int first, int second) {
    std::lock_guard<std::mutex> hold(m_lock);
    cancelLocked(first);
    cancelLocked(second);
}

void PerfCounter::resetCountersForFile(const char*, const char* file, long long size) {
    std::lock_guard<std::mutex> hold(m_lock);
    for (Counter& c : m_counters) {
        // Running measurements belong to other threads' work in progress; only the figures restart.
        c.file = Figures();
    }
    m_file = file;
    m_fileSize = size;
}

void PerfCounter::stopCountersForFile(const char* label, const char* file, bool report, bool, long long size) {
    auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> hold(m_lock);
    m_file = file;
    m_fileSize = size;
    for (Counter& c : m_counters) {
        if (!c.registered) {
            continue;
        }
        if (c.running) {
            Figures step;
            step.count = 1;
            step.time = now - c.started;
            c.running = false;
            add(c.file, step);
            add(c.pending, step);
        }
        if (report && (c.file.count != 0 || c.file.cancels != 0)) {
            FCL_LOG(2, "%s [%s]: counter [%s] count %llu cancelled %llu time %.6f s bytes %llu", label, file,
                    c.name.c_str(), c.file.count, c.file.cancels, std::chrono::duration<double>(c.file.time).count(),
                    c.file.bytes);
        }
    }
}

void PerfCounter::aggregateCounters(const char*, const char*, long long) {
    std::lock_guard<std::mutex> hold(m_lock);
    for (Counter& c : m_counters) {
        add(c.total, c.pending);
        c.pending = Figures();
    }
}

EvEvent* PerfCounter::event() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_event;
}

bool PerfCounter::isRegistered(int index) const {
    std::lock_guard<std::mutex> hold(m_lock);
    return find(index) != nullptr;
}

std::string PerfCounter::counterName(int index) const {
    std::lock_guard<std::mutex> hold(m_lock);
    const Counter* c = find(index);
    return c != nullptr ? c->name : std::string();
}

PerfCounter::Figures PerfCounter::fileFigures(int index) const {
    std::lock_guard<std::mutex> hold(m_lock);
    const Counter* c = find(index);
    return c != nullptr ? c->file : Figures();
}

PerfCounter::Figures PerfCounter::totalFigures(int index) const {
    std::lock_guard<std::mutex> hold(m_lock);
    const Counter* c = find(index);
    return c != nullptr ? c->total : Figures();
}

std::string PerfCounter::currentFile() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_file;
}

long long PerfCounter::currentFileSize() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_fileSize;
}
