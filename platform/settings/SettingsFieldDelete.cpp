// Deleting a settings field rewrites the settings file without the field's lines. The new text goes to a file beside
// the old one, which then replaces it in one rename, so a reader never sees half a file.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/files/WholeIo.h"
#include "platform/settings/SettingValues.h"
#include "platform/settings/SettingsFile.h"
#include "platform/settings/WZPlatformInfo.h"

namespace {

// The text of `content` without the entries of `field` in `section`; `removed` tells whether there was one.
std::string withoutField(const std::string& content, std::string_view section, std::string_view field, bool* removed) {
    std::string out;
    std::string_view rest(content);
    std::string_view line;
    bool inSection = false;
    while (true) {
        const char* start = rest.data();
        if (!wzsettings::nextLine(rest, &line)) {
            break;
        }
        std::string_view raw(start, static_cast<size_t>(rest.data() - start));
        std::string_view trimmed = wzsettings::trimBlanks(line);
        if (!trimmed.empty() && trimmed[0] == '[') {
            inSection = trimmed.size() >= 2 && trimmed.back() == ']' &&
                        wzsettings::trimBlanks(trimmed.substr(1, trimmed.size() - 2)) == section;
        } else if (inSection && !trimmed.empty() && trimmed[0] != ';' && trimmed[0] != '#') {
            std::string_view key;
            std::string_view value;
            if (wzsettings::splitKeyValue(trimmed, &key, &value) && key == field) {
                *removed = true;
                continue;
            }
        }
        out.append(raw.data(), raw.size());
    }
    return out;
}

}  // namespace

int WZPlatformInfo::delRegField(const char* fullKey, const char* field) {
    if (fullKey == nullptr || field == nullptr) {
        m_lastError = EINVAL;
        return 0;
    }
    const std::string key(fullKey);
    const size_t slash = key.rfind('/');
    const std::string section = slash == std::string::npos ? key : key.substr(slash + 1);
    const std::string path = wzplatform::settingsFile();
    m_lastError = 0;
    if (path.empty()) {
        return 1;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) {
            return 1;
        }
        m_lastError = errno != 0 ? errno : EIO;
        return 0;
    }
    std::ostringstream whole;
    whole << in.rdbuf();
    bool removed = false;
    const std::string text = withoutField(whole.str(), section, field, &removed);
    if (!removed) {
        return 1;
    }
    const std::string temporary = path + ".new";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        m_lastError = errno;
        return 0;
    }
    if (wzfiles::writeFully(fd, text.data(), text.size()) != text.size()) {
        m_lastError = errno;
        close(fd);
        unlink(temporary.c_str());
        return 0;
    }
    if (close(fd) != 0 || rename(temporary.c_str(), path.c_str()) != 0) {
        m_lastError = errno;
        unlink(temporary.c_str());
        return 0;
    }
    return 1;
}
