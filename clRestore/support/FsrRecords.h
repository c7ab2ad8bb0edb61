#pragma once
// Every record of the restore protocol.
#include "clRestore/support/FsrArchiveRecords.h"
#include "clRestore/support/FsrImageRecords.h"
#include "clRestore/support/FsrJobRecords.h"
#include "clRestore/support/FsrReportRecords.h"
