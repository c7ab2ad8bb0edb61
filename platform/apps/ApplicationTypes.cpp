#include "platform/apps/ApplicationTypes.h"

bool isUnixFileSystemAppType(unsigned long appType) {
    switch (appType) {
        case 0x11:
        case 0x12:
        case 0x13:
        case 0x14:
        case 0x15:
        case 0x1d:
        case 0x24:
        case 0x28:
        case 0x30:
        case 0x3f:
        case 0x40:
        case 0x4a:
        case 0x86:
            return true;
        default:
            return false;
    }
}
