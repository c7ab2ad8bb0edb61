#pragma once
// The two suffixes a restored file's name may be given: the restore file name extension the job asks for, and the
// file version (",7") for applications that keep versions of a file side by side.
#include "protocol/FsrJobRecords.h"

namespace fclnames {

// The restore file name extension the init data asks for ("" when it asks for one without giving it); nullptr when
// it asks for none.
const char* restoreSuffixOf(const FSRInitData* init);

// False for the applications whose restored names never carry a version.
bool keepsVersionSuffix(unsigned long appType);

}  // namespace fclnames
