// fcl-pack [--buffer KiB] [--archives N] SOURCE_DIR MEDIA_DIR
#include <cstdio>
#include <iostream>

#include <boost/program_options.hpp>

#include "platform/archive/ArchiveFormat.h"
#include "tools/fcl-pack/TreePacker.h"

namespace po = boost::program_options;

namespace {

const char kUsage[] =
    "Usage: fcl-pack [--buffer KiB] [--archives N] SOURCE_DIR MEDIA_DIR\n"
    "Packs the tree SOURCE_DIR into archive files in MEDIA_DIR, which must hold none yet.\n"
    "Options";
const char kExitStatus[] =
    "Exit status: 0 every item was packed; 1 the backup was written but some items could not be read and are\n"
    "left out (each named on standard error); 2 nothing usable was written, or the command line was wrong.\n";

// A usage error: what is wrong, then where the usage is, on standard error as other tools do.
int usageError(const std::string& what) {
    std::cerr << "fcl-pack: " << what << "\nTry 'fcl-pack --help' for more information.\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    PackOptions options;
    unsigned bufferKiB = 256;
    po::options_description visible(kUsage);
    visible.add_options()("help,h", "show this help and exit")(
        "buffer", po::value<unsigned>(&bufferKiB)->default_value(256), "data buffer size in KiB (1 to 16384)")(
        "archives", po::value<unsigned>(&options.archives)->default_value(1), "number of archive files (1 or more)");
    po::options_description all;
    all.add(visible).add_options()("source", po::value<std::string>(&options.source))(
        "media", po::value<std::string>(&options.media));
    po::positional_options_description positional;
    positional.add("source", 1).add("media", 1);

    try {
        po::variables_map values;
        po::store(po::command_line_parser(argc, argv).options(all).positional(positional).run(), values);
        if (values.count("help") != 0) {
            std::cout << visible << "\n" << kExitStatus;
            return 0;
        }
        po::notify(values);
    } catch (const po::too_many_positional_options_error&) {
        return usageError("too many operands: give SOURCE_DIR and MEDIA_DIR only");
    } catch (const po::error& error) {
        return usageError(error.what());
    }
    if (options.source.empty() || options.media.empty()) {
        return usageError(options.source.empty() ? "SOURCE_DIR and MEDIA_DIR are both required"
                                                 : "MEDIA_DIR is required");
    }
    if (bufferKiB == 0 || bufferKiB > fclarchive::kMaxPayload / 1024) {
        return usageError("--buffer must lie between 1 and " + std::to_string(fclarchive::kMaxPayload / 1024) + " KiB");
    }
    if (options.archives == 0) {
        return usageError("--archives must be 1 or more");
    }
    options.bufferBytes = static_cast<size_t>(bufferKiB) * 1024;
    return TreePacker(std::move(options)).run();
}
