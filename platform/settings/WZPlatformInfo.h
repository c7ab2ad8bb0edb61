#pragma once
// Platform settings read by section and key. Made with its default constructor for each reading. Every read answers
// non-zero when the key exists with a value of the asked type, filled into the caller's variable; otherwise 0, and the
// variable keeps the default the caller preset. A value of the wrong form (see SettingValues.h) counts as absent.
#include <string>

#include "platform/support/FaultCounter.h"

class WZPI_PlatformBase {
public:
    virtual ~WZPI_PlatformBase() = default;
    // 0 after a successful read; ENOENT for an absent setting; EINVAL for a value of the wrong form; the errno of a
    // settings file that exists but cannot be read.
    unsigned long getLastError() const { return m_lastError; }

protected:
    unsigned long m_lastError = 0;
};

class WZPlatformInfo : public WZPI_PlatformBase {
public:
    int getNumber(const char* section, const char* key, unsigned long* value);
    // Reads the 64-bit setting into a zeroed temporary; when found, keeps its low 32 bits.
    int getNumber(const char* section, const char* key, unsigned int* value) {
        unsigned long wide = 0;
        int found = getNumber(section, key, &wide);
        if (found && value != nullptr) {
            *value = static_cast<unsigned int>(wide);
        }
        return found;
    }
    int getString(const char* section, const char* key, std::string* value);
    int getBoolean(const char* section, const char* key, bool* value);
    // Removes every `field` of the section that the last segment of `fullKey` names ("Nebrin/<focus>/FileSystemAgent"
    // names [FileSystemAgent]) from the settings file. Non-zero when the field is gone afterwards (also when there was
    // none, or no file); 0 with the last error when the file cannot be rewritten.
    int delRegField(const char* fullKey, const char* field);

    // Points this view at the installation instance `focus` (WZPI_Focus::getFocus names the one installed here).
    // False, with the last error ENOENT, for any other instance.
    bool setFocus(const std::string& focus);
    // The client of the focused instance known by `hostName`: the section [ClientHostNames] maps host names to client
    // names (host = client); this machine's host name and "localhost" name the focus client unless listed there. ""
    // when no client has that host name.
    std::string getClientNameFromHostName(const std::string& hostName);

    // Test hook: armed, setFocus fails (last error ENOENT).
    static wzfault::FaultCounter& focusFaults();

private:
    // The raw text of the setting, or false with m_lastError set.
    bool lookup(const char* section, const char* key, std::string* text);
    template <typename T, typename Parse>
    int readTyped(const char* section, const char* key, T* value, Parse parse);
};
