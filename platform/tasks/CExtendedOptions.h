#pragma once
// Key and value options in one text (the reserved option string of a job's init data): one "key=value" per line
// (LF or CRLF); the key is cut at the first '=', blanks around key and value are dropped, and a later line with the
// same key replaces an earlier one. Lines without '=' are ignored. Values may hold any other character (':', "##",
// XML), which is why lines, not a separator character, divide the options.
#include <map>
#include <string>

class CExtendedOptions {
public:
    explicit CExtendedOptions(const std::string& text);

    // The value as a signed 32-bit number (decimal or 0x hex); 0 when absent or not such a number.
    int getOptionAsInt(const std::string& key) const;
    // The value as an unsigned 64-bit number; 0 when absent or not such a number.
    unsigned long getOptionAsUInt(const std::string& key) const;
    // The value's text; "" when absent.
    std::string getOption(const std::string& key) const;

private:
    std::map<std::string, std::string> m_options;
};
