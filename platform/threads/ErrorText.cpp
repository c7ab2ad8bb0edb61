#include "platform/threads/ErrorText.h"

#include <string.h>

namespace wzthreads {

std::string errorText(const char* operation, int error) {
    char buffer[128];
    // GNU strerror_r: thread-safe, returns the text (not always in `buffer`).
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return std::string(operation) + ": " + text + " (" + std::to_string(error) + ")";
}

}  // namespace wzthreads
