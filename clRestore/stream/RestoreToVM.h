#pragma once
// The end-of-file handler's call into the job's restore-to-VM plug-in.
#include <string>

#include "protocol/CXFileHeader.h"

class FclRestore;

namespace fclstream {

// Hands one closed file, restored at `name`, to the job's plug-in with the item's byte counts and header. True when
// the plug-in took it; false with `code` set: 0x17000040 skipped, 0x17000060 only its access-control list failed,
// 0x17000012 otherwise.
bool restoreClosedFileToVM(FclRestore& job, const std::string& name, CXFileHeader* hdr, unsigned long& code);

}  // namespace fclstream
