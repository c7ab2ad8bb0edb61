#include "platform/index/IndexRecords.h"

subclientFiles::subclientFiles() : count1(0), count2(0) {
    subclientDir[0] = '\0';
    for (char* text : texts) {
        text[0] = '\0';
    }
}
