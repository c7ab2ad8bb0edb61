#include "platform/archive/CXFileHeaderVersionFix.h"

int CXFileHeaderVersionFix(CXFileHeader* header) {
    return header != nullptr ? 0 : -1;
}
