#include "tools/fir/FirJob.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "tools/fir/ArchiveIndexFile.h"
#include "tools/fir/ImagePlan.h"

namespace fir {

std::string machineName() {
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return name;
}

namespace {

int64_t jobIdFromClock() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

bool under(const std::string& path, const std::string& root) {
    if (path == root || root == "/") {
        return true;
    }
    return path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/';
}

// The paths as selections: "/a/b/" selects what "/a/b" does.
std::vector<std::string> selectionOf(const std::vector<std::string>& paths) {
    std::vector<std::string> roots = paths;
    for (std::string& root : roots) {
        while (root.size() > 1 && root.back() == '/') {
            root.pop_back();
        }
    }
    return roots;
}

bool selected(const std::vector<std::string>& roots, const std::string& path) {
    return std::any_of(roots.begin(), roots.end(), [&](const std::string& root) { return under(path, root); });
}

// The ids and indexes of a media directory; false with `why` when it holds none or one cannot be read.
bool loadIndexes(const std::string& mediaDir, std::map<uint64_t, ArchiveIndex>* indexes, std::string* why) {
    std::vector<uint64_t> ids;
    if (!listArchiveIds(mediaDir, &ids, why)) {
        return false;
    }
    if (ids.empty()) {
        *why = "no archive files in " + mediaDir;
        return false;
    }
    for (uint64_t id : ids) {
        if (!readArchiveIndex(mediaDir, id, &(*indexes)[id], why)) {
            return false;
        }
    }
    return true;
}

// What the job reads of one archive file: all of it, nothing, or the items at these offsets.
struct ArchivePlan {
    uint64_t id = 0;
    bool readAll = false;
    std::vector<uint64_t> offsets;
    std::vector<std::string> items;  // the paths asked for, in index order
};

// At most this many names of missing items go into the result's reason; all are in itemsMissing.
constexpr size_t kNamesInReason = 5;

class DefaultJob {
public:
    DefaultJob(FirSession& session, const FirJobOptions& options) : session_(session), options_(options) {}
    FirJobResult run();

private:
    bool loadMedia();
    void plan();
    bool start();
    bool readArchive(const ArchivePlan& archive);
    bool restoreImage();
    template <typename ARRAY, typename ENTRY>
    bool sendArrays(unsigned long code, std::vector<ENTRY>& entries, size_t perMessage, size_t perBatch);
    void finish();
    // Compares the items asked for with the results the engine counted; a job that otherwise succeeded but left
    // items without a result does not succeed.
    void accountForItems();
    bool sendOrFail(unsigned long code, const void* record = nullptr, size_t length = 0);
    // Waits for one of `codes`; false (the result says why) when the session ended or the wait ran out.
    bool await(std::initializer_list<unsigned long> codes, FirMessage* answer, const char* what);

    FirSession& session_;
    const FirJobOptions& options_;
    FirJobResult result_;
    std::map<uint64_t, ArchiveIndex> indexes_;
    std::vector<std::string> sourcePaths_;
    std::vector<ArchivePlan> plans_;
    uint64_t selectedItems_ = 0;
};

FirJobResult DefaultJob::run() {
    result_.jobId = options_.jobId != 0 ? options_.jobId : jobIdFromClock();
    if (!loadMedia()) {
        result_.outcome = FirOutcome::BadMedia;
        return result_;
    }
    plan();
    session_.setReportNamer([this](const FSRErrorReport& report) {
        auto it = indexes_.find(report.archFileId.archiveId);
        return it != indexes_.end() ? it->second.itemAt(report.offset) : std::string();
    });
    if (!start()) {
        return result_;
    }
    bool read = true;
    if (options_.imageLevel) {
        read = restoreImage();
    }
    for (size_t i = 0; read && !options_.imageLevel && i < plans_.size(); ++i) {
        read = readArchive(plans_[i]);
    }
    if (read) {
        finish();
    }
    result_.lastProgress = session_.lastProgress();
    accountForItems();
    for (const FirAnswer& answer : session_.answers()) {
        result_.reportsAnswered.push_back(answer.name);
    }
    return result_;
}

bool DefaultJob::loadMedia() {
    if (!loadIndexes(options_.mediaDir, &indexes_, &result_.reason)) {
        return false;
    }
    sourcePaths_ = options_.paths;
    if (sourcePaths_.empty()) {
        const ArchiveIndex& first = indexes_.begin()->second;
        if (first.items.empty()) {
            result_.reason = "the first index names no item, so there is no packed root";
            return false;
        }
        sourcePaths_.push_back(first.items.front().path);
    }
    return true;
}

void DefaultJob::plan() {
    const std::vector<std::string> roots = selectionOf(sourcePaths_);
    for (const auto& entry : indexes_) {
        ArchivePlan archive;
        archive.id = entry.first;
        for (const fclarchive::IndexEntry& item : entry.second.items) {
            if (options_.paths.empty() || selected(roots, item.path)) {
                archive.offsets.push_back(item.offset);
                archive.items.push_back(item.path);
            }
        }
        const size_t count = archive.items.size();
        selectedItems_ += count;
        if (count == 0) {
            continue;
        }
        archive.readAll = count == entry.second.items.size();
        std::sort(archive.offsets.begin(), archive.offsets.end());
        archive.offsets.erase(std::unique(archive.offsets.begin(), archive.offsets.end()), archive.offsets.end());
        plans_.push_back(std::move(archive));
    }
}

bool DefaultJob::sendOrFail(unsigned long code, const void* record, size_t length) {
    CQiError error = session_.send(code, record, length);
    if (error.IsError()) {
        result_.outcome = FirOutcome::SendFailed;
        result_.reason = std::string("cannot send ") + WZS_PRIM_STRING(code) + ": " + error.AsString();
        return false;
    }
    return true;
}

bool DefaultJob::await(std::initializer_list<unsigned long> codes, FirMessage* answer, const char* what) {
    if (session_.waitFor(codes, options_.waitMs, answer)) {
        return true;
    }
    unsigned long status = session_.finalStatus();
    std::string engineSaid = status != 0 ? std::string("the engine sent ") + WZS_PRIM_STRING(status) + "; " : "";
    if (session_.ended()) {
        result_.outcome = FirOutcome::Failed;
        result_.reason =
            engineSaid + "the session ended while waiting for " + what + ": " + session_.endError().AsString();
    } else {
        result_.outcome = FirOutcome::TimedOut;
        result_.reason = engineSaid + "no answer to " + what + " within " + std::to_string(options_.waitMs) + " ms";
    }
    return false;
}

bool DefaultJob::start() {
    std::string reserved;
    if (!encodeReservedOptions(options_.reservedOptions, &reserved, &result_.reason)) {
        result_.outcome = FirOutcome::BadOptions;
        return false;
    }
    std::string source = options_.sourceMachine.empty() ? machineName() : options_.sourceMachine;
    std::string dest = options_.destMachine.empty() ? machineName() : options_.destMachine;
    std::string subclient = options_.subclientName;
    FSRInitData init;
    init.zendrelNumber = options_.zendrelNumber;
    init.appType = options_.appType;
    init.jobId = result_.jobId;
    init.sourceMachine = &source[0];
    init.destMachine = &dest[0];
    init.subclientName = &subclient[0];
    init.numFiles = selectedItems_;
    init.reservedString = reserved.empty() ? nullptr : &reserved[0];
    FirMessage answer;
    if (!sendOrFail(FSR_MSG_INIT_DATA, &init, sizeof init) ||
        !await({FSR_MSG_SUCCESS, FSR_MSG_FAILURE}, &answer, "FSR_MSG_INIT_DATA")) {
        return false;
    }
    if (answer.code == FSR_MSG_FAILURE) {
        result_.outcome = FirOutcome::StartRefused;
        result_.reason = "the engine refused the job's start";
        return false;
    }

    std::string destDir = options_.destDir;
    FSRSetParams params;
    params.destDir = &destDir[0];
    params.numSrcPaths = sourcePaths_.size();
    params.options =
        (defaultOptionsWord(options_.overwrite, options_.restart) | options_.extraOptions) & ~options_.droppedOptions;
    if (options_.inPlace) {
        params.options &= ~static_cast<unsigned long>(FSR_OPT_OUT_OF_PLACE);
    }
    if (!sendOrFail(FSR_MSG_SET_PARAMS, &params, sizeof params)) {
        return false;
    }
    for (size_t i = 0; i < sourcePaths_.size(); ++i) {
        std::string path = sourcePaths_[i];
        FSRSrcPath src;
        src.index = int64_t(i);
        src.stripLevel = options_.stripLevel;
        src.path = &path[0];
        if (!sendOrFail(FSR_MSG_SRC_PATH, &src, sizeof src)) {
            return false;
        }
    }
    return true;
}

bool DefaultJob::readArchive(const ArchivePlan& archive) {
    FSROpenArchive open;
    open.zendrelId = options_.zendrelNumber;
    open.archiveFileId = archive.id;
    FirMessage answer;
    if (!sendOrFail(FSR_MSG_OPEN_ARCHIVE, &open, sizeof open) ||
        !await({FSR_MSG_SUCCESS, FSR_MSG_FAILURE}, &answer, "FSR_MSG_OPEN_ARCHIVE")) {
        return false;
    }
    if (answer.code == FSR_MSG_FAILURE) {
        // The job goes on with the other archives; what this one holds is missing, not done.
        FCL_ERROR("FIR: archive %lu was not opened; its %zu items asked for get no result",
                  static_cast<unsigned long>(archive.id), archive.items.size());
        result_.archivesRefused.push_back(archive.id);
        result_.itemsMissing.insert(result_.itemsMissing.end(), archive.items.begin(), archive.items.end());
        return true;
    }
    result_.archivesOpened.push_back(archive.id);
    if (archive.readAll) {
        if (!sendOrFail(FSR_MSG_READ_ALL)) {
            return false;
        }
    } else {
        const size_t batch = std::max<size_t>(1, options_.seeksPerMessage);
        std::vector<FSRSeekArchive> entries;
        for (size_t first = 0; first < archive.offsets.size(); first += batch) {
            size_t count = std::min(batch, archive.offsets.size() - first);
            entries.assign(count, FSRSeekArchive());
            for (size_t k = 0; k < count; ++k) {
                entries[k].offset = archive.offsets[first + k];
            }
            FSRSeekArchiveArray seeks;
            seeks.count = uint32_t(count);
            seeks.entries = entries.data();
            if (!sendOrFail(FSR_MSG_SEEK_TO_OFFSET, &seeks, sizeof seeks)) {
                return false;
            }
        }
    }
    return sendOrFail(FSR_MSG_CLOSE_ARCHIVE);
}

template <typename ARRAY, typename ENTRY>
bool DefaultJob::sendArrays(unsigned long code, std::vector<ENTRY>& entries, size_t perMessage, size_t perBatch) {
    perMessage = std::max<size_t>(1, perMessage);
    size_t inBatch = 0;
    for (size_t first = 0; first < entries.size(); first += perMessage) {
        ARRAY array;
        array.count = int32_t(std::min(perMessage, entries.size() - first));
        array.entries = &entries[first];
        if (!sendOrFail(code, &array, sizeof array)) {
            return false;
        }
        if (perBatch != 0 && ++inBatch == perBatch) {
            inBatch = 0;
            if (!sendOrFail(FSR_MSG_PROCESS_IMG_AFILE_OFFSETS_ARRAY)) {
                return false;
            }
        }
    }
    return perBatch == 0 || inBatch == 0 || sendOrFail(FSR_MSG_PROCESS_IMG_AFILE_OFFSETS_ARRAY);
}

bool DefaultJob::restoreImage() {
    const std::vector<std::string> roots = selectionOf(sourcePaths_);
    ImagePlan image;
    std::string why;
    if (!image.build(
            options_.mediaDir, indexes_,
            [&](const std::string& path) { return options_.paths.empty() || selected(roots, path); }, &why)) {
        result_.outcome = FirOutcome::BadMedia;
        result_.reason = why;
        return false;
    }
    result_.itemsMissing.insert(result_.itemsMissing.end(), image.leftOut().begin(), image.leftOut().end());
    FSRImgInit init;
    init.clusterSize = 4096;
    init.sectorSize = 512;
    init.totalFiles = int64_t(image.files());
    const size_t perMessage = options_.imagePiecesPerMessage;
    FirMessage answer;
    return sendOrFail(FSR_MSG_IMG_INIT_INFO, &init, sizeof init) &&
           sendArrays<FSRImgAfileOffsetsArray>(FSR_MSG_IMG_AFILE_OFFSETS_ARRAY, image.pieces(), perMessage,
                                               std::max<size_t>(1, options_.imageMessagesPerBatch)) &&
           sendArrays<FSRImgWinStreamsArray>(FSR_MSG_IMG_WIN_STREAMS_ARRAY, image.attributes(), perMessage, 0) &&
           sendArrays<FSRImgTimesArray>(FSR_MSG_IMG_TIMES_ARRAY, image.times(), perMessage, 0) &&
           sendOrFail(FSR_MSG_END_IMG_AFILE_OFFSETS_ARRAY) && sendOrFail(FSR_MSG_IMG_RESTORE_END) &&
           await({FSR_MSG_IMG_RESTORE_END}, &answer, "FSR_MSG_IMG_RESTORE_END");
}

void DefaultJob::finish() {
    if (!sendOrFail(FSR_MSG_WAIT_ARCHIVE_CLOSED) ||
        !await({FSR_MSG_WAIT_ARCHIVE_CLOSED}, nullptr, "FSR_MSG_WAIT_ARCHIVE_CLOSED") ||
        !sendOrFail(FSR_MSG_RESTORE_END)) {
        return;
    }
    if (await({FSR_MSG_RESTORE_END}, nullptr, "FSR_MSG_RESTORE_END")) {
        result_.outcome = FirOutcome::Succeeded;
    }
}

void DefaultJob::accountForItems() {
    result_.itemsAsked = selectedItems_;
    if (result_.lastProgress && result_.lastProgress->record.progress.final != 0) {
        const FSRProgressReport_5_9& counts = result_.lastProgress->record.progress;
        result_.itemsWithResult = counts.filesSucceeded + counts.filesSkipped + counts.filesFailed;
    }
    const bool counting = options_.countItemResults && !options_.restart;
    uint64_t shortfall = 0;
    if (counting && result_.itemsWithResult) {
        shortfall = *result_.itemsWithResult < selectedItems_ ? selectedItems_ - *result_.itemsWithResult : 0;
    } else if (counting && result_.outcome == FirOutcome::Succeeded) {
        // A job that ended well without its final count cannot show that every item got a result.
        shortfall = selectedItems_;
    }
    result_.itemsMissingCount = std::max<uint64_t>(shortfall, result_.itemsMissing.size());
    if (result_.itemsMissingCount == 0 || result_.outcome != FirOutcome::Succeeded) {
        return;
    }
    result_.outcome = FirOutcome::ItemsMissing;
    std::string why = std::to_string(result_.itemsMissingCount) + " of the " + std::to_string(selectedItems_) +
                      " items asked for got no result";
    if (counting) {
        why += result_.itemsWithResult ? " (the engine counted " + std::to_string(*result_.itemsWithResult) + ")"
                                       : " (the engine sent no final count)";
    }
    if (!result_.archivesRefused.empty()) {
        why += "; not opened: archive file";
        for (uint64_t id : result_.archivesRefused) {
            why += " " + std::to_string(id);
        }
    }
    for (size_t i = 0; i < result_.itemsMissing.size() && i < kNamesInReason; ++i) {
        why += (i == 0 ? ": " : ", ") + result_.itemsMissing[i];
    }
    if (result_.itemsMissing.size() > kNamesInReason) {
        why += ", ...";
    }
    FCL_ERROR("FIR: the job's items: %s", why.c_str());
    result_.reason = why;
}

}  // namespace

unsigned long defaultOptionsWord(bool overwrite, bool restart) {
    unsigned long word = FSR_OPT_OUT_OF_PLACE | FSR_OPT_KEEP_DIR_STRUCTURE | FSR_OPT_REPORT_PROGRESS | kRestoreAcls;
    if (overwrite) {
        word |= FSR_OPT_OVERWRITE;
    }
    if (restart) {
        word |= FSR_OPT_RESTART | FSR_OPT_RESTART_SKIP;
    }
    return word;
}

const char* outcomeName(FirOutcome outcome) {
    switch (outcome) {
        case FirOutcome::Succeeded:
            return "succeeded";
        case FirOutcome::StartRefused:
            return "start refused";
        case FirOutcome::Failed:
            return "failed";
        case FirOutcome::TimedOut:
            return "timed out";
        case FirOutcome::BadMedia:
            return "bad media";
        case FirOutcome::BadOptions:
            return "bad options";
        case FirOutcome::SendFailed:
            return "send failed";
        case FirOutcome::ItemsMissing:
            return "items missing";
    }
    return "unknown";
}

FirJobResult runDefaultJob(FirSession& session, const FirJobOptions& options) {
    return DefaultJob(session, options).run();
}

bool pathsSelectingNothing(const std::string& mediaDir, const std::vector<std::string>& paths,
                           std::vector<std::string>* unmatched, std::string* why) {
    std::map<uint64_t, ArchiveIndex> indexes;
    if (!loadIndexes(mediaDir, &indexes, why)) {
        return false;
    }
    const std::vector<std::string> roots = selectionOf(paths);
    std::vector<bool> found(roots.size(), false);
    size_t left = roots.size();
    for (auto it = indexes.begin(); left != 0 && it != indexes.end(); ++it) {
        for (const fclarchive::IndexEntry& item : it->second.items) {
            for (size_t i = 0; i < roots.size(); ++i) {
                if (!found[i] && under(item.path, roots[i])) {
                    found[i] = true;
                    --left;
                }
            }
        }
    }
    unmatched->clear();
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!found[i]) {
            unmatched->push_back(paths[i]);
        }
    }
    return true;
}

}  // namespace fir
