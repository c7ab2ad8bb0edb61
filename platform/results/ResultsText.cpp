#include "platform/results/ResultsText.h"

namespace wzresults {

void appendOneLine(std::string& out, const char* text) {
    const char* p = text != nullptr ? text : "";
    for (;;) {
        // Plain characters go in runs; only the few that would break the line are spelled out.
        const char* run = p;
        while (static_cast<unsigned char>(*p) >= 0x20 && *p != 0x7f) {
            ++p;
        }
        out.append(run, static_cast<size_t>(p - run));
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\0') {
            return;
        }
        ++p;
        if (c == '\r') {
            out += "<CR>";
        } else if (c == '\n') {
            out += "<LF>";
        } else if (c == '\t') {
            // The tab separates a line's text from its status.
            out += "<TAB>";
        } else {
            static const char kHex[] = "0123456789abcdef";
            const char hex[] = {'<', 'x', kHex[c >> 4], kHex[c & 0xf], '>'};
            out.append(hex, sizeof hex);
        }
    }
}

}  // namespace wzresults
