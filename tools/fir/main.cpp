// fir [options] ADDRESS MEDIA_DIR DEST_DIR: plays the default job against a restore host that listens on ADDRESS.
#include <iostream>
#include <string>
#include <vector>

#include "platform/session/CWzNetwork.h"
#include "tools/cli/CommandLine.h"
#include "tools/fir/FirJob.h"

namespace po = boost::program_options;

namespace {

const char kAbout[] =
    "Drives the job of a host started with 'fcl-restore --listen ADDRESS': restores the backup in MEDIA_DIR (as the\n"
    "host sees it) under DEST_DIR, which must lie within the host's destination. ADDRESS is a Unix-socket path or\n"
    "127.0.0.1:PORT.";
const char kExitStatus[] =
    "It prints one line: how many items the host restored, skipped and failed, or why the job failed.\n"
    "Exit status: 0 every item asked for was restored (or skipped as existing); 1 the job ended but items failed on\n"
    "the host or got no result; 2 the job failed, the host could not be reached, or the command line was wrong.\n";

}  // namespace

int main(int argc, char** argv) {
    fir::FirJobOptions job;
    std::string address;
    std::string strip;
    fcltool::CommandLine line("fir", "[options] ADDRESS MEDIA_DIR DEST_DIR", kAbout, kExitStatus);
    line.options()("path", po::value<std::vector<std::string>>(&job.paths)->composing()->value_name("PATH"),
                   "restore the items at and under this source path (repeatable); default: the whole backup")(
        "strip", po::value<std::string>(&strip)->value_name("N"),
        "drop this many leading components of each source path")("overwrite", po::bool_switch(&job.overwrite),
                                                                 "replace items that exist in the destination");
    line.operand("ADDRESS", &address);
    line.operand("MEDIA_DIR", &job.mediaDir);
    line.operand("DEST_DIR", &job.destDir);
    std::string message;
    fcltool::Parsed parsed = line.parse(argc, argv, &message);
    if (parsed == fcltool::Parsed::Run && line.given("strip") &&
        !fcltool::parseCount(strip, fir::kMaxStripLevel, &job.stripLevel)) {
        parsed = fcltool::Parsed::Error;
        message = "--strip must be a number of path components: \"" + strip + "\"";
    }
    for (const std::string& path : job.paths) {
        if (parsed == fcltool::Parsed::Run && (path.empty() || path[0] != '/')) {
            parsed = fcltool::Parsed::Error;
            message = "--path must name an absolute path of the backup: \"" + path + "\"";
        }
    }
    if (parsed != fcltool::Parsed::Run) {
        return fcltool::finish(parsed, "fir", message, std::cout, std::cerr);
    }

    std::unique_ptr<CWzNetwork> network;
    CQiError error = CWzNetwork::connect(address, &network);
    if (error.IsError()) {
        std::cerr << "fir: cannot reach a host on " << address << ": " << error.AsString(eErrorOutputPlain) << "\n";
        return 2;
    }
    fir::FirSession session(std::move(network));
    const fir::FirJobResult result = fir::runDefaultJob(session, job);
    std::cout << "fir: " << fir::jobAccount(result) << "\n";
    return fir::jobExitStatus(result);
}
