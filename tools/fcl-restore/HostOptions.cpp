#include "tools/fcl-restore/HostOptions.h"

#include <sstream>

#include <boost/program_options.hpp>

#include "tools/fcl-restore/ListenAddress.h"

namespace fclhost {
namespace {

namespace po = boost::program_options;

const char kUsage[] =
    "Usage: fcl-restore [options] MEDIA_DIR DEST_DIR\n"
    "Restores the backup fcl-pack wrote in MEDIA_DIR under DEST_DIR: an item packed as /a/b lands at DEST_DIR/a/b.\n"
    "Options";

const char kExitStatus[] =
    "Exit status: 0 every item asked for was restored (or skipped as existing); 1 the job ran but some items were not\n"
    "restored (standard error names the first, the results file all); 2 the job failed or could not start, or the\n"
    "command line was wrong; 130 or 143 stopped by SIGINT or SIGTERM.\n";

std::string usageOf(const po::options_description& visible) {
    std::ostringstream text;
    text << visible << "\n" << kExitStatus;
    return text.str();
}

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

// A log level: -1 (errors only) up to 100.
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

// Decimal digits only: the stream library would take "-1" as the largest number.
bool parseStripLevel(const std::string& text, uint64_t* level) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    *level = std::stoull(text);
    return true;
}

}  // namespace

ParseOutcome parseHostOptions(int argc, const char* const* argv, HostOptions* options, std::string* message) {
    std::string strip;
    std::string logLevel;
    bool progress = false;
    po::options_description visible(kUsage);
    visible.add_options()("help,h", "show this help")(
        "path", po::value<std::vector<std::string>>(&options->paths)->composing(),
        "restore the items at and under this source path (repeatable); default: the whole backup")(
        "strip", po::value<std::string>(&strip), "drop this many leading components of each source path")(
        "overwrite", po::bool_switch(&options->overwrite), "replace items that exist in the destination")(
        "map", po::value<std::string>(&options->mapFile), "mapping file of source and destination paths")(
        "restart", po::bool_switch(&options->restart),
        "resume a cut job: the one whose results directory --results names, else the last one restoring MEDIA_DIR "
        "into DEST_DIR under the default results directories; it keeps its id, results directory and options, and "
        "the file it was writing is restored again whole")("no-sparse", po::bool_switch(&options->noSparse),
                                                           "write holes as zeros")(
        "settings", po::value<std::string>(&options->settingsFile), "settings file the job reads")(
        "results", po::value<std::string>(&options->resultsDir),
        "results directory (log, results, settings); never inside DEST_DIR")(
        "listen", po::value<std::string>(&options->listen),
        "wait for an external FIR on a Unix-socket path (holding a '/') or a loopback address: 127.0.0.1:PORT, "
        "localhost:PORT, [::1]:PORT; only this user or root may connect, and the destination it names must lie "
        "under DEST_DIR")("progress", po::bool_switch(&progress),
                          "print a progress line every 5 seconds also when standard output is not a terminal")(
        "progress-every", po::value<unsigned>(&options->progressSeconds)->value_name("SECONDS"),
        "the same, every SECONDS")(
        "log-level", po::value<std::string>(&logLevel),
        "how much the log (in the results directory) says: -1 (the default) errors and the job's steps, 0 also the "
        "engine's progress with lines for every item, higher for more detail; FCL_LOG_LEVEL sets it too");
    po::options_description all;
    all.add(visible).add_options()("media", po::value<std::string>(&options->mediaDir)->required())(
        "dest", po::value<std::string>(&options->destDir)->required());
    po::positional_options_description positional;
    positional.add("media", 1).add("dest", 1);

    po::variables_map values;
    try {
        po::store(po::command_line_parser(argc, const_cast<char**>(argv)).options(all).positional(positional).run(),
                  values);
        if (values.count("help") != 0) {
            *message = usageOf(visible);
            return ParseOutcome::Help;
        }
        po::notify(values);
    } catch (const po::required_option&) {
        *message = "MEDIA_DIR and DEST_DIR are both required\n" + usageOf(visible);
        return ParseOutcome::Error;
    } catch (const po::error& error) {
        *message = std::string(error.what()) + "\n" + usageOf(visible);
        return ParseOutcome::Error;
    }

    std::string why;
    if (values.count("strip") != 0 && !parseStripLevel(strip, &options->stripLevel)) {
        *message = "--strip must be a number of path components: \"" + strip + "\"\n" + usageOf(visible);
        return ParseOutcome::Error;
    }
    if (values.count("log-level") != 0 && !parseLogLevel(logLevel, &options->logLevel)) {
        *message = "--log-level must be a number from -1 to 100: \"" + logLevel + "\"\n" + usageOf(visible);
        return ParseOutcome::Error;
    }
    options->logLevelGiven = values.count("log-level") != 0;
    if (values.count("progress-every") != 0 && options->progressSeconds == 0) {
        *message = "--progress-every must be a number of seconds, 1 or more\n" + usageOf(visible);
        return ParseOutcome::Error;
    }
    if (progress && options->progressSeconds == 0) {
        options->progressSeconds = kProgressSeconds;
    }
    for (std::string& path : options->paths) {
        if (!normaliseSourcePath(&path, &why)) {
            *message = why + "\n" + usageOf(visible);
            return ParseOutcome::Error;
        }
    }
    const char* empty = options->mediaDir.empty()                                        ? "MEDIA_DIR"
                        : options->destDir.empty()                                       ? "DEST_DIR"
                        : values.count("map") != 0 && options->mapFile.empty()           ? "--map"
                        : values.count("settings") != 0 && options->settingsFile.empty() ? "--settings"
                        : values.count("results") != 0 && options->resultsDir.empty()    ? "--results"
                        : values.count("listen") != 0 && options->listen.empty()         ? "--listen"
                                                                                         : nullptr;
    if (empty != nullptr) {
        *message = std::string(empty) + " must not be empty\n" + usageOf(visible);
        return ParseOutcome::Error;
    }
    if (!options->listen.empty()) {
        ListenAddress address;
        if (!parseListenAddress(options->listen, &address, &why)) {
            *message = why + "\n" + usageOf(visible);
            return ParseOutcome::Error;
        }
        for (const char* firOption : {"path", "strip", "overwrite", "restart"}) {
            if (values.count(firOption) != 0 && !values[firOption].defaulted()) {
                *message = std::string("--") + firOption +
                           " cannot be used with --listen: the external FIR chooses it\n" + usageOf(visible);
                return ParseOutcome::Error;
            }
        }
    }
    return ParseOutcome::Run;
}

}  // namespace fclhost
