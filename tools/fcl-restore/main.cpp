// fcl-restore [options] MEDIA_DIR DEST_DIR: restores the backup in MEDIA_DIR under DEST_DIR.
#include <iostream>

#include "tools/fcl-restore/HostOptions.h"
#include "tools/fcl-restore/RestoreHost.h"

int main(int argc, char** argv) {
    fclhost::HostOptions options;
    std::string message;
    switch (fclhost::parseHostOptions(argc, argv, &options, &message)) {
        case fclhost::ParseOutcome::Help:
            std::cout << message << "\n";
            return 0;
        case fclhost::ParseOutcome::Error:
            std::cerr << "fcl-restore: " << message << "\n";
            return 2;
        case fclhost::ParseOutcome::Run:
            break;
    }
    return fclhost::runRestoreHost(options, std::cout, std::cerr);
}
