#include "tools/fir/FirJob.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string_view>

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

// The roots of a backup: the items that lie under no other item. A backup may hold several (a reference copy of
// several clients, any peer's stream), and each is a source path of its own, so that every item keeps its whole path
// under the destination. Looked up by ancestor, so that a backup of many roots costs no more than one of a few.
class BackupRoots {
public:
    void add(const std::string& item) {
        std::string_view path(item);
        while (path.size() > 1 && path.back() == '/') {
            path.remove_suffix(1);
        }
        if (path.empty() || coveredBy(path)) {
            return;
        }
        // Roots seen before their parent (another archive, or an index out of order) now lie under it.
        std::string root(path);
        const std::string beneath = root == "/" ? root : root + "/";
        auto it = roots_.lower_bound(beneath);
        while (it != roots_.end() && it->compare(0, beneath.size(), beneath) == 0) {
            it = roots_.erase(it);
        }
        roots_.insert(std::move(root));
    }
    std::vector<std::string> paths() const { return std::vector<std::string>(roots_.begin(), roots_.end()); }

private:
    bool coveredBy(std::string_view path) const {
        if (roots_.count(std::string_view("/")) != 0 || roots_.count(path) != 0) {
            return true;
        }
        for (size_t slash = path.find('/', 1); slash != std::string_view::npos; slash = path.find('/', slash + 1)) {
            if (roots_.count(path.substr(0, slash)) != 0) {
                return true;
            }
        }
        return false;
    }

    std::set<std::string, std::less<>> roots_;
};

// The ids of a media directory's archive files and indexes; false with `why` when it holds none.
bool listMedia(const std::string& mediaDir, std::vector<uint64_t>* ids, std::string* why) {
    if (!listArchiveIds(mediaDir, ids, why)) {
        return false;
    }
    if (ids->empty()) {
        *why = "no archive files in " + mediaDir;
        return false;
    }
    return true;
}

// The ids and whole indexes of a media directory, for the plans that need every piece at once (image level).
bool loadIndexes(const std::string& mediaDir, std::map<uint64_t, ArchiveIndex>* indexes, std::string* why) {
    std::vector<uint64_t> ids;
    if (!listMedia(mediaDir, &ids, why)) {
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
    uint64_t items = 0;             // the items asked for, every name of a hard-link group counted
    std::vector<uint64_t> offsets;  // where some are asked for, not all: the items' offsets, ascending, each once
};

// At most this many names of missing items go into the result's reason; all are in itemsMissing.
constexpr size_t kNamesInReason = 5;

class DefaultJob {
public:
    DefaultJob(FirSession& session, const FirJobOptions& options) : session_(session), options_(options) {}
    FirJobResult run();

private:
    // Reads each index once, as a stream, for what the job asks for; false (the result says why) when the media
    // directory or an index cannot be read.
    bool plan();
    // The paths of the items asked for in archive `id`, in index order.
    std::vector<std::string> itemsAskedIn(uint64_t id);
    // The name of the item at a failed offset, from the index of its archive, read when a report first needs it.
    std::string itemAt(uint64_t archiveId, uint64_t offset);
    // Whether the job asks for the item at `path`: every item when no paths were given.
    bool asks(const std::string& path) const { return options_.paths.empty() || selected(roots_, path); }
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
    // Read only for error reports: a job that goes well holds no index, however many items it restores.
    std::map<uint64_t, ArchiveIndex> reportIndexes_;
    std::vector<std::string> sourcePaths_;
    std::vector<std::string> roots_;  // the paths given, as selections
    std::vector<ArchivePlan> plans_;
    uint64_t selectedItems_ = 0;
};

FirJobResult DefaultJob::run() {
    result_.jobId = options_.jobId != 0 ? options_.jobId : jobIdFromClock();
    if (!plan()) {
        result_.outcome = FirOutcome::BadMedia;
        return result_;
    }
    // Reports come on the session's receiving thread, one at a time; the namer is let go before the job is.
    session_.setReportNamer(
        [this](const FSRErrorReport& report) { return itemAt(report.archFileId.archiveId, report.offset); });
    struct LetGoNamer {
        FirSession& session;
        ~LetGoNamer() { session.setReportNamer(nullptr); }
    } letGo{session_};
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

bool DefaultJob::plan() {
    std::vector<uint64_t> ids;
    if (!listMedia(options_.mediaDir, &ids, &result_.reason)) {
        return false;
    }
    sourcePaths_ = options_.paths;
    roots_ = selectionOf(options_.paths);
    const bool everything = options_.paths.empty();
    BackupRoots backupRoots;
    for (uint64_t id : ids) {
        ArchivePlan archive;
        archive.id = id;
        uint64_t entries = 0;
        bool read = forEachIndexEntry(options_.mediaDir, id, &result_.reason, [&](const fclarchive::IndexEntry& item) {
            ++entries;
            if (!asks(item.path)) {
                return;
            }
            ++archive.items;
            if (everything && options_.inPlace) {
                // In place every item goes back where it names: only the packed root, the first item, is a source
                // path, so that no other root a stream names widens where the job writes.
                if (sourcePaths_.empty()) {
                    sourcePaths_.push_back(item.path);
                }
            } else if (everything) {
                backupRoots.add(item.path);
            } else {
                archive.offsets.push_back(item.offset);
            }
        });
        if (!read) {
            return false;
        }
        selectedItems_ += archive.items;
        if (archive.items == 0) {
            continue;
        }
        archive.readAll = archive.items == entries;
        if (archive.readAll) {
            archive.offsets = std::vector<uint64_t>();
        } else {
            std::sort(archive.offsets.begin(), archive.offsets.end());
            archive.offsets.erase(std::unique(archive.offsets.begin(), archive.offsets.end()), archive.offsets.end());
        }
        plans_.push_back(std::move(archive));
    }
    if (everything) {
        if (!options_.inPlace) {
            sourcePaths_ = backupRoots.paths();
        }
        if (sourcePaths_.empty()) {
            result_.reason = "the indexes name no item, so the backup has no root";
            return false;
        }
    }
    return true;
}

std::vector<std::string> DefaultJob::itemsAskedIn(uint64_t id) {
    std::vector<std::string> items;
    std::string why;
    if (!forEachIndexEntry(options_.mediaDir, id, &why, [&](const fclarchive::IndexEntry& item) {
            if (asks(item.path)) {
                items.push_back(item.path);
            }
        })) {
        FCL_ERROR("FIR: the items of archive %lu cannot be named: %s", static_cast<unsigned long>(id), why.c_str());
    }
    return items;
}

std::string DefaultJob::itemAt(uint64_t archiveId, uint64_t offset) {
    auto it = reportIndexes_.find(archiveId);
    if (it == reportIndexes_.end()) {
        std::string why;
        ArchiveIndex index;
        if (!readArchiveIndex(options_.mediaDir, archiveId, &index, &why)) {
            FCL_ERROR("FIR: a report on archive %lu cannot be named: %s", static_cast<unsigned long>(archiveId),
                      why.c_str());
        }
        it = reportIndexes_.emplace(archiveId, std::move(index)).first;
    }
    return it->second.itemAt(offset);
}

bool DefaultJob::sendOrFail(unsigned long code, const void* record, size_t length) {
    CQiError error = session_.send(code, record, length);
    if (error.IsError()) {
        result_.outcome = FirOutcome::SendFailed;
        FCL_ERROR("FIR: cannot send %s: %s", WZS_PRIM_STRING(code), error.AsString().c_str());
        result_.reason = "cannot send the job's messages: " + error.AsString(eErrorOutputPlain);
        return false;
    }
    return true;
}

bool DefaultJob::await(std::initializer_list<unsigned long> codes, FirMessage* answer, const char* what) {
    if (session_.waitFor(codes, options_.waitMs, answer)) {
        return true;
    }
    unsigned long status = session_.finalStatus();
    std::string engineSaid = status == FSR_MSG_RESTORE_END ? "the engine ended the job; "
                             : status != 0                 ? "the engine reported the job failed; "
                                                           : "";
    if (session_.ended()) {
        result_.outcome = FirOutcome::Failed;
        result_.reason = engineSaid + "the session ended while waiting for " + what + ": " +
                         session_.endError().AsString(eErrorOutputPlain);
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
        !await({FSR_MSG_SUCCESS, FSR_MSG_FAILURE}, &answer, "the answer to the job's start")) {
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
        !await({FSR_MSG_SUCCESS, FSR_MSG_FAILURE}, &answer, "the answer to an archive's open")) {
        return false;
    }
    if (answer.code == FSR_MSG_FAILURE) {
        // The job goes on with the other archives; what this one holds is missing, not done.
        FCL_ERROR("FIR: archive %lu was not opened; its %lu items asked for get no result",
                  static_cast<unsigned long>(archive.id), static_cast<unsigned long>(archive.items));
        result_.archivesRefused.push_back(archive.id);
        std::vector<std::string> missing = itemsAskedIn(archive.id);
        result_.itemsMissing.insert(result_.itemsMissing.end(), missing.begin(), missing.end());
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
    std::map<uint64_t, ArchiveIndex> indexes;
    ImagePlan image;
    std::string why;
    if (!loadIndexes(options_.mediaDir, &indexes, &why) ||
        !image.build(
            options_.mediaDir, indexes, [&](const std::string& path) { return asks(path); }, &why)) {
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
           await({FSR_MSG_IMG_RESTORE_END}, &answer, "the end of the image restore");
}

void DefaultJob::finish() {
    if (!sendOrFail(FSR_MSG_WAIT_ARCHIVE_CLOSED) ||
        !await({FSR_MSG_WAIT_ARCHIVE_CLOSED}, nullptr, "the archives to close") || !sendOrFail(FSR_MSG_RESTORE_END)) {
        return;
    }
    if (await({FSR_MSG_RESTORE_END}, nullptr, "the job's end")) {
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

namespace {

uint64_t itemsFailed(const FirJobResult& result) {
    return result.lastProgress ? result.lastProgress->record.progress.filesFailed : 0;
}

bool jobEnded(const FirJobResult& result) {
    return result.outcome == FirOutcome::Succeeded || result.outcome == FirOutcome::ItemsMissing;
}

}  // namespace

std::string jobAccount(const FirJobResult& result) {
    const std::string job = "job " + std::to_string(result.jobId);
    if (!jobEnded(result)) {
        return job + " failed: " + (result.reason.empty() ? outcomeName(result.outcome) : result.reason);
    }
    std::string text = job + " ended: ";
    if (result.lastProgress) {
        const FSRProgressReport_5_9& counts = result.lastProgress->record.progress;
        text += std::to_string(counts.filesSucceeded) + " restored, " + std::to_string(counts.filesSkipped) +
                " skipped, " + std::to_string(counts.filesFailed) + " failed";
    } else {
        text += "the host sent no count of its items";
    }
    if (result.itemsMissingCount != 0) {
        text += ", " + std::to_string(result.itemsMissingCount) + " without a result (" + result.reason + ")";
    }
    return text;
}

int jobExitStatus(const FirJobResult& result) {
    if (!jobEnded(result)) {
        return 2;
    }
    return result.outcome == FirOutcome::ItemsMissing || itemsFailed(result) != 0 ? 1 : 0;
}

FirJobResult runDefaultJob(FirSession& session, const FirJobOptions& options) {
    return DefaultJob(session, options).run();
}

bool checkMedia(const std::string& mediaDir, std::string* why) {
    std::vector<uint64_t> ids;
    if (!listMedia(mediaDir, &ids, why)) {
        return false;
    }
    for (size_t i = 0; i < ids.size(); ++i) {
        uint64_t entries = 0;
        if (!forEachIndexEntry(mediaDir, ids[i], why, [&](const fclarchive::IndexEntry&) { ++entries; })) {
            return false;
        }
        if (i == 0 && entries == 0) {
            *why = "the first index names no item, so there is no packed root";
            return false;
        }
    }
    return true;
}

bool pathsSelectingNothing(const std::string& mediaDir, const std::vector<std::string>& paths,
                           std::vector<std::string>* unmatched, std::string* why) {
    std::vector<uint64_t> ids;
    if (!listMedia(mediaDir, &ids, why)) {
        return false;
    }
    const std::vector<std::string> roots = selectionOf(paths);
    std::vector<bool> found(roots.size(), false);
    for (uint64_t id : ids) {
        bool read = forEachIndexEntry(mediaDir, id, why, [&](const fclarchive::IndexEntry& item) {
            for (size_t i = 0; i < roots.size(); ++i) {
                found[i] = found[i] || under(item.path, roots[i]);
            }
        });
        if (!read) {
            return false;
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
