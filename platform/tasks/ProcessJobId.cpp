#include "platform/tasks/ProcessJobId.h"

long long jobID = 0;
