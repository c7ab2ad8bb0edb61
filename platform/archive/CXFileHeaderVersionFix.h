#pragma once
// The header library's compatibility fix-up: brings a converted file header written by an older backup into the
// current layout. Every header this system writes is in the current layout.
#include "protocol/CXFileHeader.h"

// Leaves a header of the current layout as it is; 0. A null header: -1.
int CXFileHeaderVersionFix(CXFileHeader* header);
