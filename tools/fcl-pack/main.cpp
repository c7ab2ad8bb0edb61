// fcl-pack [--buffer KiB] [--archives N] SOURCE_DIR MEDIA_DIR: packs a tree into archive files.
#include <cstdio>
#include <iostream>

#include "platform/archive/ArchiveFormat.h"
#include "tools/cli/CommandLine.h"
#include "tools/fcl-pack/TreePacker.h"

namespace po = boost::program_options;

namespace {

const char kAbout[] = "Packs the tree SOURCE_DIR into archive files in MEDIA_DIR, which must hold none yet.";
const char kExitStatus[] =
    "Exit status: 0 every item was packed; 1 the backup was written but some items could not be read and are\n"
    "left out (each named on standard error); 2 nothing usable was written, or the command line was wrong.\n";

}  // namespace

int main(int argc, char** argv) {
    PackOptions options;
    unsigned bufferKiB = 256;
    fcltool::CommandLine line("fcl-pack", "[options] SOURCE_DIR MEDIA_DIR", kAbout, kExitStatus);
    line.options()("buffer", po::value<unsigned>(&bufferKiB)->default_value(256)->value_name("KiB"),
                   "data buffer size in KiB (1 to 16384)")(
        "archives", po::value<unsigned>(&options.archives)->default_value(1)->value_name("N"),
        "number of archive files (1 or more)");
    line.operand("SOURCE_DIR", &options.source);
    line.operand("MEDIA_DIR", &options.media);
    std::string message;
    fcltool::Parsed parsed = line.parse(argc, argv, &message);
    if (parsed == fcltool::Parsed::Run && (bufferKiB == 0 || bufferKiB > fclarchive::kMaxPayload / 1024)) {
        parsed = fcltool::Parsed::Error;
        message = "--buffer must lie between 1 and " + std::to_string(fclarchive::kMaxPayload / 1024) + " KiB";
    }
    if (parsed == fcltool::Parsed::Run && options.archives == 0) {
        parsed = fcltool::Parsed::Error;
        message = "--archives must be 1 or more";
    }
    if (parsed != fcltool::Parsed::Run) {
        return fcltool::finish(parsed, "fcl-pack", message, std::cout, std::cerr);
    }
    options.bufferBytes = static_cast<size_t>(bufferKiB) * 1024;
    return TreePacker(std::move(options)).run();
}
