#include "tools/fcl-restore/HostSettings.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

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
    std::ostringstream out;
    if (choice.userFile.empty()) {
        out << "; Written by fcl-restore for this job.\n";
        if (!choice.noSparse) {
            out << "[FileSystemAgent]\nisRestoreAsSparseFile = y\n";
        }
        out << "[JobOptions]\nxml = <TMMsg_JobOption/>\n";
        // Progress reports each second, often enough for a live display on the FIR's side.
        out << "[GlobalParams]\nUpdateRecoverySec.29 = 1\n";
    } else {
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
        std::string user((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) {
            *why = "cannot read the settings file " + choice.userFile;
            return false;
        }
        out << user;
        if (!user.empty() && user.back() != '\n') {
            out << '\n';
        }
        if (choice.noSparse) {
            out << "[FileSystemAgent]\nisRestoreAsSparseFile = n\n";
        }
    }
    if (!choice.mapFile.empty()) {
        if (!fitsOneValue(choice.mapFile)) {
            *why = "the mapping file's name cannot hold a line break or begin or end with a blank";
            return false;
        }
        out << "[TaskOptions]\n1 = " << choice.mapFile << "\n";
    }
    *text = out.str();
    return true;
}

}  // namespace fclhost
