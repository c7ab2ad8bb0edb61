#pragma once
// The settings file the host gives the job, written in the results directory: the user's own file when one is named,
// else the defaults a plain restore needs; then what the command line asks for, last, so that it wins.
#include <string>

namespace fclhost {

struct SettingsChoice {
    std::string userFile;  // "": the defaults below
    bool noSparse = false;
    std::string mapFile;  // absolute; "": none
};

// Defaults: holes restored as holes ([FileSystemAgent] isRestoreAsSparseFile = y, left out with noSparse) and an
// empty job-options document. A mapping file is task option 1. With a user file, --no-sparse adds
// isRestoreAsSparseFile = n. False with a reason when the user's file cannot be read.
bool composeSettings(const SettingsChoice& choice, std::string* text, std::string* why);

}  // namespace fclhost
