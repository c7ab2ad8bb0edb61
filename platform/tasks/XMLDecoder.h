#pragma once
// The decoder of job-option messages; initialising it always succeeds.
#include <string>

#include "platform/tasks/CNMessageBase.h"

class XMLDecoder {
public:
    int initialize() { return 0; }
    // 0 when `text` decodes into `message`; non-zero otherwise.
    int unSerialize(CNMessageBase& message, const std::string& text, void* /*context*/) {
        return message.unserialize(text);
    }
};
