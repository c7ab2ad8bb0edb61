#pragma once
// The settings file the host gives the job, written in the results directory: the user's own file when one is named,
// then the host's defaults that it does not name, then what the command line asks for, last, so that it wins.
#include <string>

namespace fclhost {

struct SettingsChoice {
    std::string userFile;  // "": the defaults alone
    bool noSparse = false;
    std::string mapFile;  // absolute; "": none
    bool overwrite = false;
    bool asRoot = true;  // whether the host runs as root
};

// The host's defaults, each kept unless the user's file names its key in its section: holes restored as holes
// ([FileSystemAgent] isRestoreAsSparseFile = y; --no-sparse makes it n, whatever the file says), FIFOs and device
// nodes made (nCreateRawDeviceOnRestore = 1), owners that cannot be set ignored when not root (ignoreChownErrors = 2:
// the items are then the user's, as tar -x makes them), an empty job-options document and a progress report each
// second. A mapping file is task option 1. Last, the overwrite choice (overwriteChoiceText), which wins over the
// user's file. False with a reason when the user's file cannot be read.
bool composeSettings(const SettingsChoice& choice, std::string* text, std::string* why);

// The restore task's "overwriteFiles" option: without it the engine keeps every existing item whatever its times, as
// the README promises; with it, the options word's overwrite replaces them. Read last, it wins over a user's file.
std::string overwriteChoiceText(bool overwrite);

// Appends overwriteChoiceText to the settings file of a job already prepared, whose choice is made later: by an
// external FIR's options word, or by --overwrite added to a resumed job. False with a reason.
bool appendOverwriteChoice(const std::string& settingsFile, bool overwrite, std::string* why);

}  // namespace fclhost
