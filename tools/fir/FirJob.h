#pragma once
// The default job the FIR driver plays: restore the whole backup of a media directory (or the items under the
// paths named) under a destination, exactly as it was.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/fir/FirSession.h"
#include "tools/fir/ReservedOptions.h"

namespace fir {

// Options-word bit that asks for access-control lists to be restored.
constexpr unsigned long kRestoreAcls = 0x80;

// The most leading components a strip level may drop: more than any path can hold.
constexpr uint64_t kMaxStripLevel = 4096;

// Out of place, directory structure kept, progress reported, ACLs restored; plus overwrite and restart when asked.
unsigned long defaultOptionsWord(bool overwrite, bool restart);

struct FirJobOptions {
    std::string mediaDir;
    std::string destDir;
    // Source paths; none: every root of the backup (in place only the packed root, the first item), and every
    // archive read whole.
    std::vector<std::string> paths;
    uint64_t stripLevel = 0;
    bool overwrite = false;
    bool restart = false;
    // Leaves FSR_OPT_OUT_OF_PLACE out of the options word: every item goes back to its own path, destDir aside.
    bool inPlace = false;
    unsigned long extraOptions = 0;    // OR-ed into the options word
    unsigned long droppedOptions = 0;  // taken out of the options word (after extraOptions)
    OptionPairs reservedOptions;
    int64_t jobId = 0;  // 0: taken from the clock
    uint64_t zendrelNumber = 2;
    uint64_t appType = 29;
    std::string sourceMachine;  // empty: this machine's name
    std::string destMachine;    // empty: this machine's name
    std::string subclientName = "default";
    size_t seeksPerMessage = 256;
    // Each wait for an answer of the engine (start-up, each open, the archive-close handshake, the end); -1 waits
    // until the answer comes or the session ends. Answers come in order, so a later open waits for earlier reads.
    int waitMs = -1;
    // Whether the engine's final count of results must cover every item asked for. Off only for engines that
    // restore nothing by design (a job whose handlers only record); a restart always leaves it out, since the
    // items before the restart point get no result in the resumed job.
    bool countItemResults = true;
    // Plays an image-level job instead: the pieces of every selected item in extents of the archive files, in
    // batches of `imageMessagesPerBatch` offsets arrays of `imagePiecesPerMessage` pieces each, then the attributes
    // and the final results in arrays of that size, then the image restore's end.
    bool imageLevel = false;
    size_t imagePiecesPerMessage = 64;
    size_t imageMessagesPerBatch = 4;
};

enum class FirOutcome {
    Succeeded,     // the engine ended the job with FSR_MSG_RESTORE_END
    StartRefused,  // the engine answered the init data with FSR_MSG_FAILURE
    Failed,        // the engine reported a fatal error, or the session ended without FSR_MSG_RESTORE_END
    TimedOut,      // an answer did not come within waitMs
    BadMedia,      // the media directory or an index cannot be read
    BadOptions,    // the reserved options cannot be written
    SendFailed,    // a message could not be sent
    ItemsMissing,  // the job ended, but items asked for got no result: an archive was not opened, or the
                   // engine's final count falls short of the items asked for
};

const char* outcomeName(FirOutcome outcome);

struct FirJobResult {
    FirOutcome outcome = FirOutcome::Failed;
    std::string reason;
    int64_t jobId = 0;
    std::vector<uint64_t> archivesOpened;   // answered with FSR_MSG_SUCCESS
    std::vector<uint64_t> archivesRefused;  // answered with FSR_MSG_FAILURE
    std::optional<FirProgress> lastProgress;
    // Items asked for: the index entries under the selected paths, every name of a hard-link group counted.
    uint64_t itemsAsked = 0;
    // Items the engine gave a result for (restored, skipped or failed), from its final progress report; absent
    // when no final report came.
    std::optional<uint64_t> itemsWithResult;
    // How many items asked for got no result, and the source paths (as the index gives them) of those the driver
    // can name: every item of an archive the engine did not open. A shortfall of the engine's count beyond those
    // cannot be named from here (the engine reports items by count, not one by one), so `itemsMissingCount` may
    // exceed `itemsMissing.size()`.
    uint64_t itemsMissingCount = 0;
    std::vector<std::string> itemsMissing;
    // The items named in the answers to the engine's error reports, in the order answered.
    std::vector<std::string> reportsAnswered;
};

// What the fir command says of a job it played, one line: "job <id> ended: R restored, S skipped, F failed" (and the
// items that got no result), or "job <id> failed: <reason>".
std::string jobAccount(const FirJobResult& result);
// The fir command's exit status: 0 every item asked for was restored or skipped; 1 the job ended but items failed on
// the host or got no result; 2 the job failed.
int jobExitStatus(const FirJobResult& result);

// The name the job gives this machine when no other is named: its host name, or "localhost" without one.
std::string machineName();

// Plays the job on `session` and returns once the engine gave its final status, the session ended, or a wait ran
// out. Error reports are answered with the name of the item the index places at the failed offset.
FirJobResult runDefaultJob(FirSession& session, const FirJobOptions& options);

// Whether the media directory holds a backup the default job can read: archive files or indexes, every index
// readable, the first naming the packed root; false with `why` otherwise. Reads each index as a stream.
bool checkMedia(const std::string& mediaDir, std::string* why);

// Which of `paths` select no item of the media directory's indexes (no item at or beneath them, as the default
// job selects), in the order given; false with `why` when the media directory or an index cannot be read.
bool pathsSelectingNothing(const std::string& mediaDir, const std::vector<std::string>& paths,
                           std::vector<std::string>* unmatched, std::string* why);

}  // namespace fir
