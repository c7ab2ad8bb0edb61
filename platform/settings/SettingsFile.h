#pragma once
// Where the settings come from: one INI file, named by the host (setSettingsFile) or else by the environment variable
// FCL_SETTINGS. No file means every setting is absent. The file is parsed once and kept; a read notices a new path or
// a changed file (size, times, inode) and parses again, so the many reads of a job cost one stat each.
#include <memory>
#include <string>

#include "platform/settings/IniDocument.h"

namespace wzplatform {

// An empty path forgets the host's choice, so FCL_SETTINGS applies again.
void setSettingsFile(const std::string& path);
// The file in use: the host's, else FCL_SETTINGS, else "".
std::string settingsFile();

// Files above this size are refused whole (every key absent) rather than read into memory.
constexpr size_t kMaxSettingsFileBytes = 16u << 20;

struct SettingsSnapshot {
    std::shared_ptr<const wzsettings::IniDocument> document;  // never null; empty when there is no usable file
    int error;                                                // 0, or why the named file could not be used (errno)
};

// The current settings, reloaded when the file changed since the last call.
SettingsSnapshot currentSettings();

}  // namespace wzplatform
