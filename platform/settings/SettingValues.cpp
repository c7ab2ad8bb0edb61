#include "platform/settings/SettingValues.h"

#include <strings.h>

#include <cstring>

namespace wzsettings {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

namespace {

bool parseDigits(std::string_view digits, unsigned base, unsigned long* value) {
    if (digits.empty()) {
        return false;
    }
    unsigned long result = 0;
    for (char c : digits) {
        int d = hexDigit(c);
        if (d < 0 || static_cast<unsigned>(d) >= base) {
            return false;
        }
        if (__builtin_mul_overflow(result, base, &result) ||
            __builtin_add_overflow(result, static_cast<unsigned long>(d), &result)) {
            return false;
        }
    }
    *value = result;
    return true;
}

bool hasHexPrefix(std::string_view text) {
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

bool equalsNoCase(std::string_view text, const char* word) {
    return text.size() == strlen(word) && strncasecmp(text.data(), word, text.size()) == 0;
}

}  // namespace

std::string_view trimBlanks(std::string_view text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return std::string_view();
    }
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

bool nextLine(std::string_view& rest, std::string_view* line) {
    if (rest.empty()) {
        return false;
    }
    size_t end = rest.find('\n');
    *line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!line->empty() && line->back() == '\r') {
        line->remove_suffix(1);
    }
    return true;
}

bool splitKeyValue(std::string_view line, std::string_view* key, std::string_view* value) {
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    *key = trimBlanks(line.substr(0, equals));
    *value = trimBlanks(line.substr(equals + 1));
    return true;
}

bool parseUnsigned(std::string_view text, unsigned long* value) {
    text = trimBlanks(text);
    if (hasHexPrefix(text)) {
        return parseDigits(text.substr(2), 16, value);
    }
    return parseDigits(text, 10, value);
}

bool parseInt(std::string_view text, int* value) {
    text = trimBlanks(text);
    bool negative = !text.empty() && text[0] == '-';
    unsigned long magnitude = 0;
    if (!parseUnsigned(negative ? text.substr(1) : text, &magnitude)) {
        return false;
    }
    if (negative ? magnitude > 2147483648UL : magnitude > 2147483647UL) {
        return false;
    }
    *value = negative ? static_cast<int>(-static_cast<long>(magnitude)) : static_cast<int>(magnitude);
    return true;
}

bool parseHexId(std::string_view text, unsigned long* value) {
    text = trimBlanks(text);
    return parseDigits(hasHexPrefix(text) ? text.substr(2) : text, 16, value);
}

bool parseBoolean(std::string_view text, bool* value) {
    text = trimBlanks(text);
    for (const char* word : {"y", "yes", "true", "on"}) {
        if (equalsNoCase(text, word)) {
            *value = true;
            return true;
        }
    }
    for (const char* word : {"n", "no", "false", "off"}) {
        if (equalsNoCase(text, word)) {
            *value = false;
            return true;
        }
    }
    unsigned long number = 0;
    if (!parseUnsigned(text, &number)) {
        return false;
    }
    *value = number != 0;
    return true;
}

}  // namespace wzsettings
