#include "platform/results/ResultsText.h"

namespace wzresults {

void appendOneLine(std::string& out, const char* text) {
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        if (*p == '\r') {
            out += "<CR>";
        } else if (*p == '\n') {
            out += "<LF>";
        } else {
            out += *p;
        }
    }
}

}  // namespace wzresults
