// The restore-into-a-virtual-machine plug-in object ends through its own release: it was made by the plug-in library,
// whose allocator the job does not share.
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/vm/VSAgentlessRestoreToVM.h"

void FclRestoreUNIX::releaseRestoreToVMObject() {
    _restoreToVM->Release();
    _restoreToVMActive = false;
}
