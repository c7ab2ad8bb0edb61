#pragma once
// The end of the current item's object, shared by the end of file and by the close of an item whose end never came.
#include "protocol/CXFileHeader.h"

class FclRestore;

namespace fclstream {

// Closes the job's current object, records its result when `record` (with the failure of its data when there was
// one; its partial file then goes under the job's remove-on-error flag), destroys it and leaves `_ro` null. `hdr`
// may be null. Answers the item's result.
unsigned long closeCurrentObject(FclRestore& job, CXFileHeader* hdr, bool record);

// The object of an item named by its hard-link names has ended with `code`: the names linked to it get the same
// result, and go with its file when `fileRemoved`.
void settleLinkedNames(FclRestore& job, unsigned long code, bool fileRemoved);

// The item named only by its hard-link names stops without its end (cut by the next header, the end of the stream or
// a stop): the object of its first restored name, whether or not it took data, is closed as failed, its partial file
// removed under the job's remove-on-error flag, recorded and released, and the item's hard-link state is cleared.
void endLinkItemCutShort(FclRestore& job);

// Marks the current item's data as failed when fewer bytes of data and holes came than its header gives (for items
// whose size is checked), so that its close records it failed instead of complete.
void failIfShortOfItsSize(FclRestore& job);

}  // namespace fclstream
