#include "tools/fcl-restore/HostSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/log/LogWriter.h"
#include "platform/settings/IniDocument.h"
#include "platform/settings/SettingsFile.h"

namespace fclhost {
namespace {

// A settings value loses its outer blanks and ends at the line's end.
bool fitsOneValue(const std::string& value) {
    return value.find_first_of("\r\n") == std::string::npos && value.front() != ' ' && value.front() != '\t' &&
           value.back() != ' ' && value.back() != '\t';
}

}  // namespace

bool composeSettings(const SettingsChoice& choice, std::string* text, std::string* why) {
    std::string user;
    if (!choice.userFile.empty()) {
        struct stat st;
        if (stat(choice.userFile.c_str(), &st) != 0) {
            *why = "cannot read the settings file " + choice.userFile + ": " + strerror(errno);
            return false;
        }
        std::ifstream in(choice.userFile, std::ios::binary);
        if (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > wzplatform::kMaxSettingsFileBytes || !in) {
            *why = "cannot use the settings file " + choice.userFile + ": not a readable regular file of at most " +
                   std::to_string(wzplatform::kMaxSettingsFileBytes) + " bytes";
            return false;
        }
        user.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) {
            *why = "cannot read the settings file " + choice.userFile;
            return false;
        }
        if (!user.empty() && user.back() != '\n') {
            user += '\n';
        }
    }
    // The user's keys come first (keys before its first section stay in no section); a default follows only where
    // the file does not name its key, and a key read once answers with its last value.
    const wzsettings::IniDocument named = wzsettings::IniDocument::parse(user);
    std::ostringstream out;
    out << user << "; The defaults of fcl-restore the settings above do not name.\n";
    std::string section;
    auto fallback = [&](const std::string& inSection, const std::string& key, const std::string& value) {
        if (named.find(inSection, key) != nullptr) {
            return;
        }
        if (section != inSection) {
            section = inSection;
            out << "[" << section << "]\n";
        }
        out << key << " = " << value << "\n";
    };
    if (!choice.noSparse) {
        fallback("FileSystemAgent", "isRestoreAsSparseFile", "y");
    }
    fallback("FileSystemAgent", "nCreateRawDeviceOnRestore", "1");
    if (!choice.asRoot) {
        fallback("FileSystemAgent", "ignoreChownErrors", "2");
    }
    fallback("JobOptions", "xml", "<TMMsg_JobOption/>");
    // Progress reports each second, often enough for a live display on the FIR's side.
    fallback("GlobalParams", "UpdateRecoverySec.29", "1");
    if (choice.noSparse) {
        out << "[FileSystemAgent]\nisRestoreAsSparseFile = n\n";
    }
    if (!choice.mapFile.empty()) {
        if (!fitsOneValue(choice.mapFile)) {
            *why = "the mapping file's name cannot hold a line break or begin or end with a blank";
            return false;
        }
        out << "[TaskOptions]\n1 = " << choice.mapFile << "\n";
    }
    out << overwriteChoiceText(choice.overwrite);
    *text = out.str();
    return true;
}

std::string overwriteChoiceText(bool overwrite) {
    return std::string("[RestoreTask]\n0x67d7f74f = ") + (overwrite ? "true" : "false") + "\n";
}

bool appendOverwriteChoice(const std::string& settingsFile, bool overwrite, std::string* why) {
    const int fd = open(settingsFile.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        *why = "cannot write the job's settings " + settingsFile + ": " + strerror(errno);
        return false;
    }
    int error = wzlog::writeAll(fd, overwriteChoiceText(overwrite));
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        *why = "cannot write the job's settings " + settingsFile + ": " + strerror(error);
        return false;
    }
    return true;
}

}  // namespace fclhost
