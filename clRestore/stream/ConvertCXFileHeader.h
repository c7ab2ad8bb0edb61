#pragma once
#include "protocol/CXFileHeader.h"

// Fills `host` from the PL_FS_HDR payload `net` (network order, read only). Accepts any 1160 bytes and
// returns 0; the name comes out NUL-padded and cut to 1027 bytes. `net` and `host` may be the same record.
int ConvertCXFileHeaderFromNetOrder(CXFileHeader* net, CXFileHeader* host);
