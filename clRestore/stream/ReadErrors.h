#pragma once
// Read errors of the backup: the loss is reported to the FIR, and the item it cut short fails.
#include "protocol/CXFileHeader.h"

class FclRestore;

namespace fclstream {

// How long the FIR has to answer an error report before the archive's close goes on without it.
constexpr long long kErrorReportAnswerSecs = 180;

// A read error came while the item of `hdr` was being restored: the rest of its data is dropped and its end
// records it failed with the read-error id, never as restored. Nothing happens between items.
void failItemOnReadError(FclRestore& job, const CXFileHeader& hdr);

// Whether the FIR's answer naming `name` is about an item already recorded failed by its own end (each such name
// is taken once).
bool takeItemFailedByReadError(FclRestore& job, const char* name);

}  // namespace fclstream
