#include "tools/fcl-restore/HostOptions.h"

#include "tools/fcl-restore/ListenAddress.h"
#include "tools/fir/FirJob.h"

namespace fclhost {
namespace {

namespace po = boost::program_options;

const char kAbout[] =
    "Restores the backup fcl-pack wrote in MEDIA_DIR under DEST_DIR: an item packed as /a/b lands at DEST_DIR/a/b.";

const char kExitStatus[] =
    "Exit status: 0 every item asked for was restored (or skipped as existing, or left out by the mapping); 1 the\n"
    "job ran but some items were not restored, or lost their owner, ACLs or extended attributes (standard error\n"
    "says which, the results file lists them); 2 the job failed or could not start, or the command line was wrong;\n"
    "130 or 143 stopped by SIGINT or SIGTERM.\n";

// False with a reason when `path` is not a source path of a backup.
bool normaliseSourcePath(std::string* path, std::string* why) {
    if (path->empty() || (*path)[0] != '/') {
        *why = "--path must name an absolute path of the backup: \"" + *path + "\"";
        return false;
    }
    while (path->size() > 1 && path->back() == '/') {
        path->pop_back();
    }
    return true;
}

}  // namespace

bool parseLogLevel(const std::string& text, int* level) {
    const std::string digits = text.size() > 1 && text[0] == '-' ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const int value = std::stoi(text);
    if (value < -1 || value > 100) {
        return false;
    }
    *level = value;
    return true;
}

ParseOutcome parseHostOptions(int argc, const char* const* argv, HostOptions* options, std::string* message) {
    std::string strip;
    std::string logLevel;
    bool progress = false;
    fcltool::CommandLine line("fcl-restore", "[options] MEDIA_DIR DEST_DIR", kAbout, kExitStatus);
    line.options()("path", po::value<std::vector<std::string>>(&options->paths)->composing()->value_name("PATH"),
                   "restore the items at and under this source path (repeatable); default: the whole backup")(
        "strip", po::value<std::string>(&strip)->value_name("N"),
        "drop this many leading components of each source path")("overwrite", po::bool_switch(&options->overwrite),
                                                                 "replace items that exist in the destination")(
        "map", po::value<std::string>(&options->mapFile)->value_name("FILE"),
        "mapping file: lines \"SOURCE\",\"DESTINATION\" (README: Mapping files)")(
        "restart", po::bool_switch(&options->restart),
        "resume a cut job: the one whose results directory --results names, else the last one restoring MEDIA_DIR "
        "into DEST_DIR under the default results directories; it keeps its id, results directory and options, and "
        "the file it was writing is restored again whole")("no-sparse", po::bool_switch(&options->noSparse),
                                                           "write holes as zeros")(
        "settings", po::value<std::string>(&options->settingsFile)->value_name("FILE"),
        "settings file: its keys add to the host's defaults and override those they name")(
        "results", po::value<std::string>(&options->resultsDir)->value_name("DIR"),
        "results directory (log, results, settings); never inside DEST_DIR")(
        "listen", po::value<std::string>(&options->listen)->value_name("ADDR"),
        "wait for an external FIR on a Unix-socket path (holding a '/') or a loopback address: 127.0.0.1:PORT, "
        "localhost:PORT, [::1]:PORT; only this user or root may connect, and the destination it names must lie "
        "under DEST_DIR")("progress", po::bool_switch(&progress),
                          "print a progress line every 5 seconds also when standard output is not a terminal")(
        "progress-every", po::value<unsigned>(&options->progressSeconds)->value_name("SECONDS"),
        "the same, every SECONDS")(
        "log-level", po::value<std::string>(&logLevel)->value_name("LEVEL"),
        "how much the log (in the results directory) says: -1 (the default) errors and the job's steps, 0 also the "
        "engine's progress with lines for every item, higher for more detail; FCL_LOG_LEVEL sets it too");
    line.operand("MEDIA_DIR", &options->mediaDir);
    line.operand("DEST_DIR", &options->destDir);
    const ParseOutcome outcome = line.parse(argc, argv, message);
    if (outcome != ParseOutcome::Run) {
        return outcome;
    }

    std::string why;
    if (line.given("strip") && !fcltool::parseCount(strip, fir::kMaxStripLevel, &options->stripLevel)) {
        *message = "--strip must be a number of path components: \"" + strip + "\"";
        return ParseOutcome::Error;
    }
    if (line.given("log-level") && !parseLogLevel(logLevel, &options->logLevel)) {
        *message = "--log-level must be a number from -1 to 100: \"" + logLevel + "\"";
        return ParseOutcome::Error;
    }
    options->logLevelGiven = line.given("log-level");
    if (line.given("progress-every") && options->progressSeconds == 0) {
        *message = "--progress-every must be a number of seconds, 1 or more";
        return ParseOutcome::Error;
    }
    if (progress && options->progressSeconds == 0) {
        options->progressSeconds = kProgressSeconds;
    }
    for (std::string& path : options->paths) {
        if (!normaliseSourcePath(&path, &why)) {
            *message = why;
            return ParseOutcome::Error;
        }
    }
    const char* empty = line.given("map") && options->mapFile.empty()             ? "--map"
                        : line.given("settings") && options->settingsFile.empty() ? "--settings"
                        : line.given("results") && options->resultsDir.empty()    ? "--results"
                        : line.given("listen") && options->listen.empty()         ? "--listen"
                                                                                  : nullptr;
    if (empty != nullptr) {
        *message = std::string(empty) + " must not be empty";
        return ParseOutcome::Error;
    }
    if (!options->listen.empty()) {
        ListenAddress address;
        if (!parseListenAddress(options->listen, &address, &why)) {
            *message = why;
            return ParseOutcome::Error;
        }
        for (const char* firOption : {"path", "strip", "overwrite", "restart"}) {
            if (line.given(firOption)) {
                *message = std::string("--") + firOption + " cannot be used with --listen: the external FIR chooses it";
                return ParseOutcome::Error;
            }
        }
    }
    return ParseOutcome::Run;
}

}  // namespace fclhost
