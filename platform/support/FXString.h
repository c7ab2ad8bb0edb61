#pragma once
// Prefix, suffix, trim, replace, split and format helpers on std::string.
#include <string>
#include <vector>

#include "platform/support/StrSafe.h"

class FXString {
public:
    // Split flag: keep the empty pieces between adjacent delimiters, so an absolute path has an empty piece 0.
    static constexpr unsigned int kSplitKeepEmpty = 1;

    // 0 when `s` begins with `prefix`, case-sensitive; otherwise the sign of the comparison.
    static int CompareLeft(const std::string& s, const std::string& prefix) {
        return s.compare(0, prefix.size(), prefix);
    }
    // 0 when `s` begins with `prefix` in any letter case.
    static int CompareLeftNoCase(const std::string& s, const std::string& prefix) {
        return _strnicmp(s.c_str(), prefix.c_str(), prefix.size());
    }
    static bool MatchRight(const std::string& s, const std::string& suffix) {
        return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
    static bool MatchRightNoCase(const std::string& s, const std::string& suffix) {
        return s.size() >= suffix.size() &&
               _strnicmp(s.c_str() + (s.size() - suffix.size()), suffix.c_str(), suffix.size()) == 0;
    }

    // Removes every trailing repetition of `tail` ("a//" with "/" gives "a", "/" gives "").
    static std::string& RemoveRight(std::string& s, const std::string& tail);
    // Removes every leading repetition of `head`.
    static std::string& RemoveLeft(std::string& s, const std::string& head);
    // Removes trailing characters that occur in `chars` (white space by default).
    static std::string& TrimRight(std::string& s, const std::string& chars = " \t\r\n");
    // Replaces every occurrence of `from`, left to right without rescanning what was put in; the count made.
    static unsigned long ReplaceAll(std::string& s, const std::string& from, const std::string& to);
    static std::string CopyAndReplaceAll(const std::string& s, const std::string& from, const std::string& to);
    // Splits `text` at each `delimiter` into `parts` (cleared first) and returns their number. Without
    // kSplitKeepEmpty in `flags` empty pieces are dropped. An empty text gives no pieces; an empty delimiter
    // gives the whole text.
    static unsigned long Split(const std::string& text, const std::string& delimiter, std::vector<std::string>& parts,
                               unsigned int flags = kSplitKeepEmpty);
    // printf into `out`, replacing its content.
    static std::string& Format(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
};
