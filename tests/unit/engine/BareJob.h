#pragma once
// A job object that was never started, with just what the archive and seek handlers read: an archive file taken
// for open, a restore-head session whose far end the test reads, statistics, parameters and a factory.
#include <memory>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/log/LogWriter.h"
#include "tests/unit/engine/JobFixture.h"

namespace jobtest {

template <class Job = FclRestore>
struct BareJob {
    explicit BareJob(unsigned long options = 0, FsRestoreObjectsFactory* factory = nullptr) {
        job._headSession = head.jobEnd.get();
        job._archiveOpen = 1;
        job._statistics = new FsRestoreStatistics(100);
        job._initData = new FSRInitData();
        job._setParams = new FSRSetParams();
        job._setParams->options = options;
        job._factory =
            factory != nullptr ? factory : new FsRestoreUnixObjectsFactory(nullptr, nullptr, 0, nullptr, options, &job);
    }
    ~BareJob() { job._headSession = nullptr; }

    // The next message the restore head received within `seconds` (0 when none), its record in `data`.
    unsigned long next(int seconds = 5) { return head.next(seconds, &data); }
    template <class Record>
    const Record& record() const {
        return *reinterpret_cast<const Record*>(data.getDataBuffer());
    }

    wzlog::ScopedCapture log;
    HeadPair head;
    wzsDatabuf_v2 data;
    Job job;
};

// A seek array over `entries`.
template <class Array, class Entry>
Array seekArray(std::vector<Entry>& entries) {
    Array array;
    array.count = static_cast<uint32_t>(entries.size());
    array.entries = entries.data();
    return array;
}

}  // namespace jobtest
