#pragma once
// Every record of the restore protocol.
#include "protocol/FsrArchiveRecords.h"
#include "protocol/FsrImageRecords.h"
#include "protocol/FsrJobRecords.h"
#include "protocol/FsrReportRecords.h"
