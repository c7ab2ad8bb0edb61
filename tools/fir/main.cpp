// fir [options] ADDRESS MEDIA_DIR DEST_DIR: plays the default job against a restore host that listens on ADDRESS.
#include <iostream>
#include <string>
#include <vector>

#include <boost/program_options.hpp>

#include "platform/session/CWzNetwork.h"
#include "tools/fir/FirJob.h"

namespace po = boost::program_options;

namespace {

const char kUsage[] =
    "Usage: fir [options] ADDRESS MEDIA_DIR DEST_DIR\n"
    "Drives the job of a host started with 'fcl-restore --listen ADDRESS': restores the backup in MEDIA_DIR (as the\n"
    "host sees it) under DEST_DIR, which must lie within the host's destination. ADDRESS is a Unix-socket path or\n"
    "127.0.0.1:PORT.\n"
    "Options";
const char kExitStatus[] =
    "Exit status: 0 the host ended the job and every item asked for has a result; 1 the job ended but items asked\n"
    "for got none; 2 the job failed, the host could not be reached, or the command line was wrong.\n";

int usageError(const std::string& what) {
    std::cerr << "fir: " << what << "\nTry 'fir --help' for more information.\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    fir::FirJobOptions job;
    std::string address;
    po::options_description visible(kUsage);
    visible.add_options()("help,h", "show this help and exit")(
        "path", po::value<std::vector<std::string>>(&job.paths)->composing(),
        "restore the items at and under this source path (repeatable); default: the whole backup")(
        "strip", po::value<uint64_t>(&job.stripLevel), "drop this many leading components of each source path")(
        "overwrite", po::bool_switch(&job.overwrite), "replace items that exist in the destination");
    po::options_description all;
    all.add(visible).add_options()("address", po::value<std::string>(&address))(
        "media", po::value<std::string>(&job.mediaDir))("dest", po::value<std::string>(&job.destDir));
    po::positional_options_description positional;
    positional.add("address", 1).add("media", 1).add("dest", 1);
    try {
        po::variables_map values;
        po::store(po::command_line_parser(argc, argv).options(all).positional(positional).run(), values);
        if (values.count("help") != 0) {
            std::cout << visible << "\n" << kExitStatus;
            return 0;
        }
        po::notify(values);
    } catch (const po::too_many_positional_options_error&) {
        return usageError("too many operands: give ADDRESS, MEDIA_DIR and DEST_DIR only");
    } catch (const po::error& error) {
        return usageError(error.what());
    }
    if (address.empty() || job.mediaDir.empty() || job.destDir.empty()) {
        return usageError("ADDRESS, MEDIA_DIR and DEST_DIR are all required");
    }

    std::unique_ptr<CWzNetwork> network;
    CQiError error = CWzNetwork::connect(address, &network);
    if (error.IsError()) {
        std::cerr << "fir: cannot reach a host on " << address << ": " << error.AsString() << "\n";
        return 2;
    }
    fir::FirSession session(std::move(network));
    const fir::FirJobResult result = fir::runDefaultJob(session, job);
    std::cout << "fir: job " << result.jobId << " " << fir::outcomeName(result.outcome)
              << (result.reason.empty() ? "" : ": " + result.reason) << "\n";
    if (result.itemsWithResult) {
        std::cout << "fir: " << result.itemsAsked << " item(s) asked for, " << *result.itemsWithResult
                  << " with a result\n";
    }
    switch (result.outcome) {
        case fir::FirOutcome::Succeeded:
            return 0;
        case fir::FirOutcome::ItemsMissing:
            return 1;
        default:
            return 2;
    }
}
