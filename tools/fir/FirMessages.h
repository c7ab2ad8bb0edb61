#pragma once
// What the FIR driver keeps of each message the engine sent it: the code and a copy of the record, owning its
// texts, so that it outlives the session's memory.
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/FsrRecords.h"

class wzsDatabuf_v2;

namespace fir {

// A text of a record: absent (a null pointer) or present, possibly empty.
struct FirText {
    bool present = false;
    std::string text;
    static FirText of(const char* s) { return s != nullptr ? FirText{true, s} : FirText{}; }
};

struct FirRestoreItem {
    FSRRestoreItem record;  // its name pointer cleared; the name is below
    FirText name;
};

struct FirProgress {
    FSRProgressReport_11_14 record;  // a 5_9 report fills only `progress`; its texts cleared
    bool extended = false;
    FirText subclientName;
};

struct FirErrorReport {
    FSRErrorReport record;  // its name pointer cleared
    FirText name;
};

struct FirExtentStatus {
    FSRImgExtentRestoreStatus record;
    FirText name;
};

struct FirSrcPath {
    FSRSrcPath record;
    FirText path;
};

struct FirMetaDataFolder {
    FSRMetaDataFolder record;
    FirText folderPath;
};

struct FirMessage {
    unsigned long code = 0;
    std::optional<FirRestoreItem> item;               // FSR_MSG_RESTORE_ITEM
    std::optional<FirProgress> progress;              // FSR_MSG_PROGRESS_REPORT_5_9 and _11_14
    std::optional<FirErrorReport> errorReport;        // FSR_MSG_ERROR_REPORT
    std::optional<FirExtentStatus> extentStatus;      // FSR_MSG_IMG_EXTENT_RESTORE_STATUS
    std::optional<FirSrcPath> srcPath;                // FSR_MSG_SRC_PATH, a path an item depends on
    std::optional<FirMetaDataFolder> metaDataFolder;  // FSR_MSG_META_DATA_FOLDER
    std::string bytes;                                // any other record, as decoded
};

// Copies a received message out of the session's buffer.
FirMessage copyOut(unsigned long code, const wzsDatabuf_v2& buffer);

}  // namespace fir
