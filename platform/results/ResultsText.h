#pragma once
// Text as one line of results: a name may hold line breaks and tabs, a results line may not.
#include <string>

namespace wzresults {

// Appends `text` (null: nothing) to `out` with each carriage return as "<CR>", each line feed as "<LF>", each tab as
// "<TAB>" and every other control byte as "<xNN>" (two hex digits): whatever a name holds, one item is one line and
// the status after its last tab is the item's.
void appendOneLine(std::string& out, const char* text);

inline std::string oneLine(const char* text) {
    std::string out;
    appendOneLine(out, text);
    return out;
}

}  // namespace wzresults
