#include "tools/fir/ReservedOptions.h"

namespace fir {
namespace {

bool hasLineBreak(const std::string& s) {
    return s.find_first_of("\r\n") != std::string::npos;
}

bool hasOuterBlank(const std::string& s) {
    return !s.empty() && (s.front() == ' ' || s.front() == '\t' || s.back() == ' ' || s.back() == '\t');
}

}  // namespace

bool encodeReservedOptions(const OptionPairs& options, std::string* text, std::string* why) {
    std::string out;
    for (const auto& option : options) {
        const std::string& key = option.first;
        const std::string& value = option.second;
        const char* fault = nullptr;
        if (key.empty()) {
            fault = "an empty key";
        } else if (key.find('=') != std::string::npos) {
            fault = "a key holding '='";
        } else if (hasLineBreak(key) || hasLineBreak(value)) {
            fault = "a line break";
        } else if (hasOuterBlank(key) || hasOuterBlank(value)) {
            fault = "blanks around a key or value";
        }
        if (fault != nullptr) {
            *why = std::string("reserved option '") + key + "': " + fault;
            return false;
        }
        if (!out.empty()) {
            out += '\n';
        }
        out += key + "=" + value;
    }
    *text = out;
    return true;
}

}  // namespace fir
