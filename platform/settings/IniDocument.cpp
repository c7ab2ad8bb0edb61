#include "platform/settings/IniDocument.h"

#include "platform/settings/SettingValues.h"

namespace wzsettings {

IniDocument IniDocument::parse(std::string_view text) {
    static const std::string_view kByteOrderMark("\xEF\xBB\xBF");
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    IniDocument doc;
    Section* current = &doc.sections_[""];
    std::string_view line;
    while (nextLine(text, &line)) {
        line = trimBlanks(line);
        if (line.empty() || line[0] == ';' || line[0] == '#' || line.find('\0') != std::string_view::npos) {
            continue;
        }
        if (line[0] == '[') {
            current = nullptr;
            if (line.size() >= 2 && line.back() == ']') {
                current = &doc.sections_[std::string(trimBlanks(line.substr(1, line.size() - 2)))];
            }
            continue;
        }
        std::string_view key;
        std::string_view value;
        if (current == nullptr || !splitKeyValue(line, &key, &value)) {
            continue;
        }
        current->last[std::string(key)] = current->entries.size();
        current->entries.emplace_back(std::string(key), std::string(value));
    }
    return doc;
}

const IniDocument::Section* IniDocument::section(std::string_view name) const {
    auto it = sections_.find(name);
    return it == sections_.end() ? nullptr : &it->second;
}

const std::string* IniDocument::find(std::string_view sectionName, std::string_view key) const {
    const Section* s = section(sectionName);
    if (s == nullptr) {
        return nullptr;
    }
    auto it = s->last.find(key);
    return it == s->last.end() ? nullptr : &s->entries[it->second].second;
}

std::vector<std::string> IniDocument::findAll(std::string_view sectionName, std::string_view key) const {
    std::vector<std::string> values;
    forEach(sectionName, [&](const std::string& k, const std::string& v) {
        if (k == key) {
            values.push_back(v);
        }
    });
    return values;
}

void IniDocument::forEach(std::string_view sectionName,
                          const std::function<void(const std::string&, const std::string&)>& visit) const {
    const Section* s = section(sectionName);
    if (s == nullptr) {
        return;
    }
    for (const auto& entry : s->entries) {
        visit(entry.first, entry.second);
    }
}

}  // namespace wzsettings
