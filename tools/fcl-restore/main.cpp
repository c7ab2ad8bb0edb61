// fcl-restore [options] MEDIA_DIR DEST_DIR: restores the backup in MEDIA_DIR under DEST_DIR.
#include <iostream>

#include "tools/fcl-restore/HostOptions.h"
#include "tools/fcl-restore/RestoreHost.h"

int main(int argc, char** argv) {
    fclhost::HostOptions options;
    std::string message;
    const fclhost::ParseOutcome outcome = fclhost::parseHostOptions(argc, argv, &options, &message);
    if (outcome != fclhost::ParseOutcome::Run) {
        return fcltool::finish(outcome, "fcl-restore", message, std::cout, std::cerr);
    }
    return fclhost::runRestoreHost(options, std::cout, std::cerr);
}
