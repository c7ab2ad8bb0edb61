// The start-up's check of the restore-as user is not built yet: it says so once and answers as for a job that
// restores as the process's own user.
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/PendingLog.h"

int FclRestore::CheckImpersonateUser(std::string&) {
    FCL_NOT_BUILT_YET();
    return 0;
}
