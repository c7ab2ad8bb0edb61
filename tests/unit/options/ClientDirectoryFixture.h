#pragma once
// A job with its own settings file and a client directory of the test's own, emptied again at the end.
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/clients/ClientDirectory.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace fcltest {

class ClientDirectoryFixture : public PlatformFixture {
protected:
    ClientDirectoryFixture() { wzclients::clearClients(); }
    ~ClientDirectoryFixture() override {
        wzclients::lookupFaults().clear();
        wzclients::clearClients();
    }

    void addClients(const std::vector<wzclients::ClientEntry>& clients) {
        for (const wzclients::ClientEntry& client : clients) {
            wzclients::addClient(client);
        }
    }
    FclRestoreUNIX& companion() { return *job_.getUnixCompanion(); }

    wzlog::ScopedCapture capture_;
    FclRestore job_;
};

}  // namespace fcltest
