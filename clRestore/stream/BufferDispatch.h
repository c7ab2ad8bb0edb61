#pragma once
// The dispatch of the stream's buffers by type, and the records one reader thread owns that the handlers share.
#include "protocol/CXFileHeader.h"
#include "protocol/FSRPreHeader.h"

class FclRestore;

namespace fclstream {

// One of each per reader thread, made when it starts.
struct ReaderRecords {
    CXFileHeader hdr;  // filled by each file header; the header, end-of-file and pre-header handlers share it
    FSRPreHeader prehdr;
    long iteration = 1;   // file headers seen, for the per-file counter reset
    bool inItem = false;  // from a file header to its end
    // A read error came between items: the next item's header may be what it cut out, so the end that follows, with
    // no header of its own in between, has no name to record (the FIR's answer names the item).
    bool headerLost = false;
};

// Hands one buffer to the handler of its type; a type without one is passed over without a word. The caller gives
// the buffer back afterwards.
void dispatchBuffer(FclRestore& job, ReaderRecords& records, void* buf, int len, unsigned long type);

}  // namespace fclstream
