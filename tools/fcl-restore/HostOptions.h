#pragma once
// The command line of fcl-restore: fcl-restore [options] MEDIA_DIR DEST_DIR.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/cli/CommandLine.h"

namespace fclhost {

// The log's level unless asked otherwise: errors and the host's account of the job's steps. The engine writes lines
// for every item from level 0 up, which would make the log of a large restore larger than what it restores.
constexpr int kDefaultLogLevel = -1;

// How often --progress prints a line where no terminal shows one redrawn.
constexpr unsigned kProgressSeconds = 5;

struct HostOptions {
    std::string mediaDir;
    std::string destDir;
    std::vector<std::string> paths;  // source paths as the backup names them; none: the packed root
    uint64_t stripLevel = 0;
    bool overwrite = false;
    bool restart = false;
    bool noSparse = false;
    std::string mapFile;           // "": no mapping file
    std::string settingsFile;      // "": the host's default settings
    std::string resultsDir;        // "": a new directory under the user's state directory
    std::string listen;            // "": the FIR driver runs in this process
    unsigned progressSeconds = 0;  // a progress line this often also when standard output is no terminal; 0: none
    int logLevel = kDefaultLogLevel;
    bool logLevelGiven = false;  // else FCL_LOG_LEVEL, when set, chooses the level
};

// Run: `options` are complete; Help, Version: `message` is the text to show; Error: `message` says in one line what
// is wrong.
using ParseOutcome = fcltool::Parsed;

// A log level: -1 (errors only) up to 100, in decimal.
bool parseLogLevel(const std::string& text, int* level);

// Reads the command line. Source paths must be absolute; a trailing '/' is dropped so that "/a/" selects what "/a"
// does. The options that only the in-process FIR uses (--path, --strip, --overwrite, --restart) are refused with
// --listen, where the external FIR chooses them.
ParseOutcome parseHostOptions(int argc, const char* const* argv, HostOptions* options, std::string* message);

}  // namespace fclhost
