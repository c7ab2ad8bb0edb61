#pragma once
// The settings file the host gives the job, written in the results directory: the user's own file when one is named,
// else the defaults a plain restore needs; then what the command line asks for, last, so that it wins.
#include <string>

namespace fclhost {

struct SettingsChoice {
    std::string userFile;  // "": the defaults below
    bool noSparse = false;
    std::string mapFile;  // absolute; "": none
    bool overwrite = false;
};

// Defaults: holes restored as holes ([FileSystemAgent] isRestoreAsSparseFile = y, left out with noSparse) and an
// empty job-options document. A mapping file is task option 1. With a user file, --no-sparse adds
// isRestoreAsSparseFile = n. Last, the overwrite choice (overwriteChoiceText). False with a reason when the user's
// file cannot be read.
bool composeSettings(const SettingsChoice& choice, std::string* text, std::string* why);

// The restore task's "overwriteFiles" option: without it the engine keeps every existing item whatever its times, as
// the README promises; with it, the options word's overwrite replaces them. Read last, it wins over a user's file.
std::string overwriteChoiceText(bool overwrite);

// Appends overwriteChoiceText to the settings file of a job already prepared, whose choice is made later: by an
// external FIR's options word, or by --overwrite added to a resumed job. False with a reason.
bool appendOverwriteChoice(const std::string& settingsFile, bool overwrite, std::string* why);

}  // namespace fclhost
