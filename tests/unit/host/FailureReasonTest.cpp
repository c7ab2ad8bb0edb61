// The reason a failed job gives: the most telling fact the host has, never only that a session closed.
#include <gtest/gtest.h>

#include "tools/fcl-restore/FailureReason.h"

namespace {

using fclhost::JobFacts;

TEST(FailureReason, TheMostTellingFactIsTheReason) {
    const int kDiskFull = 0x17000046;
    const int kCannotCreate = 0x17000017;
    const std::string closed = "the FIR driver reports failed: the session ended: the peer closed the session";
    struct Case {
        const char* what;
        JobFacts facts;
        std::string reason;
    };
    auto facts = [](auto change) {
        JobFacts f;
        f.started = true;
        change(f);
        return f;
    };
    const Case cases[] = {
        {"an interrupt", facts([&](JobFacts& f) { f.interrupted = true, f.engineReason = "x"; }),
         "stopped by an interrupt"},
        {"a refused peer", facts([&](JobFacts& f) { f.refusal = "the FIR named ...", f.engineReason = "x"; }),
         "the FIR named ..."},
        {"bad media", facts([&](JobFacts& f) { f.firGaveUp = "no archive files in /m", f.engineReason = "x"; }),
         "no archive files in /m"},
        {"the reader's fault", facts([&](JobFacts& f) {
             f.archiveReason = "checksum mismatch in /m/1.afile at offset 96", f.engineReason = "x",
             f.firAccount = closed;
         }),
         "the backup cannot be read: checksum mismatch in /m/1.afile at offset 96"},
        {"a full disk, naming the item", facts([&](JobFacts& f) {
             f.pendingCauses = {5, kDiskFull}, f.currentItem = "/src/big", f.firAccount = closed;
         }),
         "the destination's file system is full: /src/big could not be written"},
        {"no inodes", facts([&](JobFacts& f) {
             f.pendingCauses = {kDiskFull}, f.currentItem = "/src/f9", f.destination.noInodes = true;
         }),
         "the destination's file system has no free inodes left: /src/f9 could not be written"},
        {"a full disk, the item unknown", facts([&](JobFacts& f) { f.pendingCauses = {kDiskFull}; }),
         "the destination's file system is full"},
        {"the engine's reason", facts([&](JobFacts& f) { f.engineReason = "Restore: bad", f.firAccount = closed; }),
         "Restore: bad"},
        {"a cause the engine raised", facts([&](JobFacts& f) { f.pendingCauses = {kCannotCreate}; }),
         "Could not create the item."},
        {"a read-only destination", facts([&](JobFacts& f) { f.destination.readOnly = true, f.firAccount = closed; }),
         "the destination's file system is read-only"},
        {"only a closed session", facts([&](JobFacts& f) { f.firAccount = closed; }),
         "the engine ended the job without giving a reason (its log may say more); " + closed},
        {"a job that never started", facts([&](JobFacts& f) { f.started = false; }), "the job did not start"},
        {"nothing known", facts([](JobFacts&) {}), "the job ended without its final status"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fclhost::explainFailure(c.facts), c.reason) << c.what;
    }
}

TEST(FailureReason, FailedItemsAreExplainedByTheDestinationWhenItTells) {
    JobFacts facts;
    EXPECT_EQ(fclhost::explainItemFailures(facts), "");
    facts.destination.noInodes = true;
    EXPECT_EQ(fclhost::explainItemFailures(facts), "the destination's file system has no free inodes left");
    facts.destination.readOnly = true;
    EXPECT_EQ(fclhost::explainItemFailures(facts), "the destination's file system is read-only");
}

}  // namespace
