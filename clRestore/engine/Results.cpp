// The job's results: the store opened with its begin line, one line per item with its result status, the counters of
// each outcome, and the end line at the restore end. Database jobs and distributed restores write a plain raw file.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/objects/FsRestoreObject.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/CurrentThreadId.h"
#include "clRestore/support/FXLockableResource.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/events/EvEvent.h"
#include "platform/files/FileCalls.h"
#include "platform/log/LogWriter.h"
#include "platform/mounts/FileShareAutoMountManager.h"
#include "platform/restorefiles/ExtentNameConverter.h"
#include "platform/results/ResultsText.h"
#include "platform/results/StoreResults.h"
#include "platform/threads/WzThread.h"

namespace {

constexpr int kStatusSucceeded = 5;
constexpr int kItemNotRestoredText = 0x17000070;
constexpr int kSkippedSilently = 99999;
constexpr int kSkippedSilently2 = 99998;

enum class Outcome { Succeeded, Skipped, Failed };

// One row of the status table: an item identifier, its result status, its outcome and the identifier whose text
// goes into the line. An item refused for its name (0x1700005b) keeps its status but counts as failed: it was asked for
// and not restored.
struct StatusRow {
    int id;
    int status;
    Outcome outcome;
    int text;
};

const StatusRow kStatusTable[] = {
    {0x1700003e, 3, Outcome::Failed, 0x1700003e},     {0x1700004c, 3, Outcome::Failed, 0x1700003e},
    {0x17000040, 4, Outcome::Skipped, 0x17000040},    {0x1700005b, 7, Outcome::Failed, 0x1700005b},
    {0x1700005c, 8, Outcome::Skipped, 0x1700005c},    {0x1700005e, 10, Outcome::Failed, 0x1700005e},
    {0x1700005f, 12, Outcome::Failed, 0x17000060},    {0x17000060, 12, Outcome::Failed, 0x17000060},
    {0x17000065, 4, Outcome::Skipped, 0x17000065},    {0x17000071, 14, Outcome::Succeeded, 0x17000071},
    {0x17000072, 3, Outcome::Failed, 0x17000072},     {0x17000076, 17, Outcome::Succeeded, 0x17000076},
    {0x17000077, 15, Outcome::Succeeded, 0x17000077}, {0x1700008a, 3, Outcome::Failed, 0x1700008a},
    {0x1700008b, 3, Outcome::Failed, 0x1700008b},     {0x1700008c, 4, Outcome::Skipped, 0x1700008c},
    {0x17000094, 4, Outcome::Skipped, 0x17000094},    {0x170000a7, 4, Outcome::Skipped, 0x170000a7},
    {0x170000ad, 4, Outcome::Skipped, 0x170000ad},    {0x170000b1, 4, Outcome::Skipped, 0x170000b1},
    {0x170000b2, 4, Outcome::Skipped, 0x170000b2},
};

// Any identifier the table does not name is a failure.
const StatusRow kOtherFailure = {0, 3, Outcome::Failed, 0x1700003e};

const StatusRow& statusRowOf(int errCode) {
    for (const StatusRow& row : kStatusTable) {
        if (row.id == errCode) {
            return row;
        }
    }
    return kOtherFailure;
}

bool isEZUnixAppType(unsigned long appType) {
    return isUnixFileSystemAppType(appType);
}

std::string catalogueText(EvEvent* event, int id) {
    char text[1025] = {};
    if (event != nullptr) {
        event->evPrintf(text, 1024, id);
    }
    return text;
}

std::string pidLine(const char* format) {
    char line[64];
    snprintf(line, sizeof line, format, static_cast<int>(getpid()));
    return line;
}

}  // namespace

std::string restoreOutTranslate(const char* path) {
    return wzresults::oneLine(path);
}

void FclRestore::openResultsFile() {
    const bool database = fclapps::isDatabaseAppType(getAppType());
    if (database || isDistributedRestore()) {
        std::string path;
        if (_results != nullptr && _results->openRaw(StoreResults::kRestoreResults, path) == 0) {
            _rawResultsFile = fopen64(path.c_str(), "w+");
        }
        if (_rawResultsFile == nullptr) {
            FCL_ERROR("Could not open file for restore results");
            delete _results;
            _results = nullptr;
        } else {
            _rawResultsMode = 1;
            FCL_LOG(3, "Setting rawMode to True");
            const std::string begin =
                pidLine(database ? "BeginIndexedRestore pid:%d" : "BeginDistributedRestore pid:%d");
            fprintf(_rawResultsFile, "%s\n", begin.c_str());
            fflush(_rawResultsFile);
        }
    } else if (_results != nullptr) {
        if (_results->openFile(StoreResults::kRestoreResults, true, false) != 0) {
            FCL_ERROR("Could not open file for restore results");
            delete _results;
            _results = nullptr;
        } else if (_results->putLine(pidLine("BeginIndexedRestore pid:%d").c_str(), true) != 0) {
            FCL_ERROR("Failed to save the restore result");
        }
    }

    const unsigned long long options = _setParams != nullptr ? _setParams->options : 0;
    if ((options & FSR_OPT_INDEX_CACHE) == 0 && _fclRestoreUnix->IsSyncRestore() && _results != nullptr) {
        std::string marker = _results->getDirectory();
        if (!marker.empty() && marker.back() != '/') {
            marker += '/';
        }
        marker += "syncrestore";
        unlink_utf(marker.c_str());
        FILE* file = fopen_utf(marker.c_str(), "w");
        if (file == nullptr) {
            FCL_ERROR("Failed to create file '%s' to indicate SYNC_RESTORE", marker.c_str());
        } else {
            fclose(file);
        }
    }
}

void FclRestore::HandleRestoreFileUpdate(const char* path, int errCode, FsRestoreObject* object,
                                         const std::string& suffix) {
    HandleRestoreFileUpdate(path, errCode, std::string(), object, suffix);
}

void FclRestore::UpdateStatistics(const char* path, int errCode, unsigned long long size, unsigned long long compSize,
                                  FsRestoreObject* object) {
    auto_lock lock(&_fclRestoreUnix->_resultsLock, true);
    _givenItemSizes.given = true;
    _givenItemSizes.size = size;
    _givenItemSizes.compSize = compSize;
    HandleRestoreFileUpdate(path, errCode, object, "");
    _givenItemSizes.given = false;
}

void FclRestore::HandleRestoreFileUpdate(const char* path, int errCode, const std::string& reason,
                                         FsRestoreObject* object, const std::string& suffix) {
    std::string name = path != nullptr ? path : "";
    if (IsDistributedTimestampRestore()) {
        return;
    }
    auto_lock lock(&_fclRestoreUnix->_resultsLock, true);
    const bool onProcessingThread =
        _prThread != nullptr && static_cast<unsigned int>(_prThread->getThreadID()) == GetCurrentThreadId();

    // The item's sizes: those handed over with it, else the reader's file in progress. An item settled on the
    // message thread has none of the reader's bytes.
    unsigned long long size = onProcessingThread ? 0 : _currFileSize;
    unsigned long long compSize = onProcessingThread ? 0 : _currFileCompSize;
    if (_givenItemSizes.given) {
        size = _givenItemSizes.size;
        compSize = _givenItemSizes.compSize;
        _givenItemSizes.given = false;
    }
    if (_statistics != nullptr && !onProcessingThread) {
        _statistics->setCurrFileSizes(size, compSize);
    }

    std::string itemSuffix = suffix;
    if (itemSuffix.empty() && !onProcessingThread && isEZUnixAppType(getAppType()) && object != nullptr) {
        itemSuffix = " " + object->GetRestoredItemType();
    }

    if (ShouldAutoMountAnyShare()) {
        FileShareAutoMountManager* manager = GetAutoMountManager();
        if (manager == nullptr) {
            FCL_ERROR("ERROR: Failed to get AutoMountManager, restore.out filenames may not be correct");
        } else {
            std::string source;
            if (!manager->unTranslatePath(source, name).IsError()) {
                FCL_LOG(7, "unTranslated [%s] to [%s]", name.c_str(), source.c_str());
                name = source;
            } else {
                FCL_LOG(7, "could not untranslate [%s], so must already be untranslated", source.c_str());
            }
        }
    }

    if (errCode == kSkippedSilently || errCode == kSkippedSilently2) {
        return;
    }
    int status = kStatusSucceeded;
    int textId = 0;
    if (errCode == 0) {
        // A stub restored as a stub in a job that restores stub data is not this job's result.
        if (itemSuffix.find("STUB") != std::string::npos && _factory != nullptr &&
            _factory->getRestoreDataNotStubOption() && !g_bStubWithNoData) {
            return;
        }
        if (_statistics != nullptr) {
            onProcessingThread ? _statistics->fileSucceeded(size, compSize) : _statistics->fileSucceeded();
        }
        CreateSkipPreventOverwriteOnRestartFile();
    } else {
        const StatusRow& row = statusRowOf(errCode);
        status = row.status;
        textId = row.text;
        if (_statistics != nullptr) {
            switch (row.outcome) {
                case Outcome::Succeeded:
                    onProcessingThread ? _statistics->fileSucceeded(size, compSize) : _statistics->fileSucceeded();
                    break;
                case Outcome::Skipped:
                    onProcessingThread ? _statistics->fileSkipped(size) : _statistics->fileSkipped();
                    break;
                case Outcome::Failed:
                    onProcessingThread ? _statistics->fileFailed(size) : _statistics->fileFailed();
                    break;
            }
        }
        if (errCode == 0x1700005f || errCode == 0x17000060) {
            _itemFailureCausePending = true;
        } else if (errCode == 0x17000072) {
            _stubsNotRestored = true;
        }
    }

    FCL_LOG(3, "Restore %s(%s), ToBeCounted=%d, StubWithNoData=%d, ErrCode=%d, reason='%s', restorestatus=%d",
            name.c_str(), itemSuffix.c_str(), 1, g_bStubWithNoData ? 1 : 0, errCode,
            reason.empty() ? "N/A" : reason.c_str(), status);

    std::string line;
    line.reserve(name.size() + itemSuffix.size() + 1);
    line += name;
    line += itemSuffix;
    line += ' ';
    if (status != kStatusSucceeded) {
        const bool proxyText = _useProxyItemMessages && _proxyRestore != nullptr && !reason.empty();
        const auto* unixObject = dynamic_cast<FsRestoreUnixObject*>(object);
        const char* ownText = unixObject != nullptr ? unixObject->_resultText : nullptr;
        line += " [ " + catalogueText(_event, kItemNotRestoredText) + "  " +
                (proxyText            ? reason
                 : ownText != nullptr ? std::string(ownText)
                                      : catalogueText(_event, textId)) +
                "  ] ";
    }
    // Every piece of the line, not only the name, keeps the item on one line: the store spells out what would break
    // it as it takes the line, the raw file gets it spelled out here.
    if (_factory != nullptr && (_factory->getOptions() & FSR_OPT_REPORT_PROGRESS) != 0) {
        if (_results != nullptr) {
            if (IsSkipAddtoRestoreStatus()) {
                FCL_LOG(7, "Skip adding restore status to restore.out for the item [%s]", name.c_str());
            } else if (_rawResultsMode == 0) {
                if (_results->setRestoreStatusOnObject(line.c_str(), status, false) != 0) {
                    FCL_LOG(0, "Failed to save the restore result");
                }
            } else if (_rawResultsFile != nullptr) {
                fprintf(_rawResultsFile, "%s %d\n", restoreOutTranslate(line.c_str()).c_str(), status);
                fflush(_rawResultsFile);
            }
        }
        if (_statistics != nullptr && _statistics->timeToUpdateByTime()) {
            updateRestoreProgress(0);
        }
    }
    if (IsSkipAddtoRestoreStatus()) {
        SetSkipAddtoRestoreStatus(false);
    }
}

void FclRestore::flushItemReports(bool staleOnly) {
    // The store is made before the reader starts and goes only with the job, after the reader ended.
    if (_results != nullptr && _rawResultsMode == 0) {
        const int rc = staleOnly ? _results->flushIfStale() : _results->flushPending();
        if (rc != 0) {
            FCL_LOG(0, "Failed to save the restore result");
        }
    }
}

void FclRestore::endResults() {
    auto_lock lock(&_fclRestoreUnix->_resultsLock, true);
    if (_results == nullptr) {
        return;
    }
    if (_rawResultsMode == 0) {
        if (_results->putLine(pidLine("EndIndexedRestore pid:%d").c_str(), false) != 0) {
            FCL_LOG(0, "Failed to save the restore result");
        }
        if (_results->closeFile() != 0) {
            FCL_LOG(0, "Failed to save the restore result");
        }
        return;
    }
    if (_rawResultsFile != nullptr) {
        const char* format =
            isDistributedRestore() ? "EndDistributedRestore pid:%d" : "EndRestoreByJob pid:%d MediaGrpId";
        fprintf(_rawResultsFile, "%s\n", pidLine(format).c_str());
        fclose(_rawResultsFile);
        _rawResultsFile = nullptr;
    }
}

void FclRestore::HandleRestoreFileUpdateForExtentBasedRestore(const char* path, int& errCode, const std::string&,
                                                              FsRestoreObject*, const std::string&,
                                                              CXFileHeader* header, bool& skipUpdate) {
    skipUpdate = true;
    if (header == nullptr) {
        return;
    }
    FclRestoreUNIX& unix = *_fclRestoreUnix;
    const std::string key = unix.getEBLongRealPath();
    if ((header->h_flags2 & CXHDR_F2_CONTAINER) != 0) {
        if (errCode != 0) {
            if (!unix.HandleRestoreContainerUpdate(key, errCode)) {
                FCL_ERROR("ExtentRestore: Failed to handle extent restore update for container file=%s", key.c_str());
            }
            skipUpdate = false;
        }
        return;
    }
    if ((header->h_flags2 & CXHDR_F2_EXTENT) == 0) {
        return;
    }
    m_bIsFileCountable = false;
    unsigned long long processed = 0;
    bool anyFailed = false;
    if (!unix.GetProcessedExtentsForExtentPath(key, processed, anyFailed)) {
        return;
    }
    if (!unix.HandleRestoreExtentUpdate(key, errCode)) {
        FCL_ERROR("ExtentRestore: Failed to handle Extent item restore update, item=%s", path != nullptr ? path : "");
        skipUpdate = false;
    }
    if (errCode == 0 && !unix.IsContainerFileLastExtent()) {
        return;
    }
    m_bIsFileCountable = true;
    unsigned long long containerSize = 0;
    if (!unix.GetContainerFileSizeForExtentPath(key, containerSize)) {
        FCL_ERROR("ExtentRestore: Failed to fetch container fileSize for extent=%s", key.c_str());
    }
    if (errCode == 0) {
        std::string container;
        unsigned long long extentNumber = 0;
        ExtentNameConverter().GetFileNameAndExtentNumber(key, container, extentNumber);
        while (container.size() > 1 && container.back() == '/') {
            container.pop_back();
        }
        if (_statistics != nullptr) {
            _statistics->setCurrFileSize(containerSize);
        }
        unix.UpdateTotalProcExtents(processed);
        if (!unix.AreAllExtentsRestoredForContainerFile(container)) {
            FCL_ERROR("ExtentRestore: Error: All the extents were not restored for container file=(%s)",
                      path != nullptr ? path : "");
            errCode = 0x1700003e;
        }
    } else if (anyFailed) {
        unix.UpdateTotalProcExtents(1);
        skipUpdate = true;
        return;
    } else {
        unix.UpdateTotalProcExtents(processed);
    }
    skipUpdate = false;
}
