#pragma once
// The parsed settings file: "[Section]" lines, then "key = value" lines.
// Accepted on purpose: the empty key ("= 30"), repeated keys (all kept, the last answers single reads), repeated
// sections (merged), CRLF line ends, a UTF-8 byte order mark, whole-line comments starting with ';' or '#'.
// Values keep ';' and '#' (paths and XML hold them). Ignored: lines without '=', lines holding a NUL byte, and every
// key after a malformed section header until the next good one, so a broken header cannot lend its keys to the
// section above it. Keys before the first header belong to the section "".
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wzsettings {

class IniDocument {
public:
    static IniDocument parse(std::string_view text);

    // The last value given to `key` in `section`, or null.
    const std::string* find(std::string_view section, std::string_view key) const;
    // Every value given to `key` in `section`, in file order.
    std::vector<std::string> findAll(std::string_view section, std::string_view key) const;
    // Calls `visit(key, value)` for each entry of `section`, in file order.
    void forEach(std::string_view section,
                 const std::function<void(const std::string& key, const std::string& value)>& visit) const;

private:
    struct Section {
        std::vector<std::pair<std::string, std::string>> entries;
        std::map<std::string, size_t, std::less<>> last;  // key -> index of its last entry
    };
    const Section* section(std::string_view name) const;

    std::map<std::string, Section, std::less<>> sections_;
};

}  // namespace wzsettings
