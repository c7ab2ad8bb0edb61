#pragma once
// Who the job restores files as, decided at job start-up: the user's name ("" when the job runs as itself), the ids
// its files get, and whether the process runs as that user. Read by the factory and the restore objects.
#include <pwd.h>

#include <string>

extern std::string uName;
extern struct passwd uPwd;
extern bool g_impersonated;
