#pragma once
// Text as one line of results: a name may hold line breaks, a results line may not.
#include <string>

namespace wzresults {

// Appends `text` (null: nothing) to `out` with each carriage return as "<CR>" and each line feed as "<LF>".
void appendOneLine(std::string& out, const char* text);

inline std::string oneLine(const char* text) {
    std::string out;
    appendOneLine(out, text);
    return out;
}

}  // namespace wzresults
