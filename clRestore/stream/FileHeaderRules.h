#pragma once
// The per-application rules that a file header passes before its item gets a restore object: database and
// application backups name their items in layouts of their own, and some items are not to be restored at all.
#include "protocol/CXFileHeader.h"

class FclRestore;

namespace fclstream {

// Applies the job's rule to the converted header; a rule may rewrite h_filename (and h_namelen). 0: the item goes on.
// Otherwise the item gets no object and the answer is its error code, which its end of file records:
// fclitem::kSkippedByRule for an item a rule leaves out, fclitem::kPathTooLong for a rewritten name that does not fit.
unsigned long applyFileHeaderRules(FclRestore& job, CXFileHeader* hdr);

}  // namespace fclstream
