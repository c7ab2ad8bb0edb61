// Each closed file of a restore into a virtual machine goes on to the job's plug-in, which takes it from the
// destination into the machine.
#include "clRestore/stream/RestoreToVM.h"

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/vm/VSAgentlessRestoreToVM.h"

namespace fclstream {

bool restoreClosedFileToVM(FclRestore& job, const std::string& name, CXFileHeader* hdr, unsigned long& code) {
    std::string message;
    bool skipped = false;
    bool aclFailed = false;
    if (job._fclRestoreUnix->_restoreToVM->RestoreFile(name, job._currFileSize, job._currFileCompSize, hdr, message,
                                                       skipped, aclFailed)) {
        code = 0;
        return true;
    }
    code = skipped ? fclitem::kSkippedExisting : aclFailed ? fclitem::kAclFailed : fclitem::kWriteFailed;
    return false;
}

}  // namespace fclstream
