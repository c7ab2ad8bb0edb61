#include "platform/support/FXString.h"

#include <cstdarg>
#include <cstdio>

#include "platform/support/TextFormat.h"

std::string& FXString::RemoveRight(std::string& s, const std::string& tail) {
    if (!tail.empty()) {
        while (MatchRight(s, tail)) {
            s.erase(s.size() - tail.size());
        }
    }
    return s;
}

std::string& FXString::RemoveLeft(std::string& s, const std::string& head) {
    if (!head.empty()) {
        size_t start = 0;
        while (s.compare(start, head.size(), head) == 0) {
            start += head.size();
        }
        s.erase(0, start);
    }
    return s;
}

std::string& FXString::TrimRight(std::string& s, const std::string& chars) {
    size_t last = s.find_last_not_of(chars);
    s.erase(last == std::string::npos ? 0 : last + 1);
    return s;
}

unsigned long FXString::ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
    if (from.empty()) {
        return 0;
    }
    unsigned long count = 0;
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
        s.replace(at, from.size(), to);
        ++count;
    }
    return count;
}

std::string FXString::CopyAndReplaceAll(const std::string& s, const std::string& from, const std::string& to) {
    std::string copy(s);
    ReplaceAll(copy, from, to);
    return copy;
}

unsigned long FXString::Split(const std::string& text, const std::string& delimiter, std::vector<std::string>& parts,
                              unsigned int flags) {
    parts.clear();
    if (text.empty()) {
        return 0;
    }
    if (delimiter.empty()) {
        parts.push_back(text);
        return 1;
    }
    bool keepEmpty = (flags & kSplitKeepEmpty) != 0;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(delimiter, start);
        size_t stop = end == std::string::npos ? text.size() : end;
        if (keepEmpty || stop > start) {
            parts.emplace_back(text, start, stop - start);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + delimiter.size();
    }
    return parts.size();
}

std::string& FXString::Format(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    out = wztext::vformat(format, args);
    va_end(args);
    return out;
}
