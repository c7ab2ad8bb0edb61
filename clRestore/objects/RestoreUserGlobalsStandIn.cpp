// Stand-in definitions of the restore-user globals. Their owner is the job's start-up identity code, which defines
// them beside the impersonation it performs; once that code is in the library this file goes (the linker then
// reports them as defined twice). Until then every job runs as itself: no user name, no impersonation.
#include "clRestore/objects/RestoreUserGlobals.h"

std::string uName;
struct passwd uPwd;
bool g_impersonated = false;
