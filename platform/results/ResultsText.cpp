#include "platform/results/ResultsText.h"

namespace wzresults {

void appendOneLine(std::string& out, const char* text) {
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\r') {
            out += "<CR>";
        } else if (c == '\n') {
            out += "<LF>";
        } else if (c == '\t') {
            // The tab separates a line's text from its status.
            out += "<TAB>";
        } else if (c < 0x20 || c == 0x7f) {
            static const char kHex[] = "0123456789abcdef";
            out += "<x";
            out += kHex[c >> 4];
            out += kHex[c & 0xf];
            out += '>';
        } else {
            out += *p;
        }
    }
}

}  // namespace wzresults
