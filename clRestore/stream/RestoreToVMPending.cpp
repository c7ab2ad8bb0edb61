// The restore-to-VM plug-in's interface is not built yet; a job only reaches this call once the job parameters
// have loaded a plug-in, which nothing does before the interface is. Until then the file is not taken: it is
// reported failed, never as restored into the machine.
#include "clRestore/options/PendingLog.h"
#include "clRestore/stream/RestoreToVM.h"
#include "clRestore/support/ItemErrorIds.h"

namespace fclstream {

bool restoreClosedFileToVM(FclRestore& /*job*/, const std::string& /*name*/, CXFileHeader* /*hdr*/,
                           unsigned long& code) {
    FCL_NOT_BUILT_YET();
    code = fclitem::kWriteFailed;
    return false;
}

}  // namespace fclstream
