// The job's share auto-mount over the recording manager: which destinations are shares, how source paths and the
// destination are mounted, what a failure raises, and that the job unmounts exactly what it mounted.
#include <cstring>
#include <string>
#include <vector>

#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/mounts/FileShareAutoMountManager.h"
#include "platform/support/FXErrorUtil.h"
#include "tests/unit/options/CompanionFixture.h"

namespace {

const unsigned long kOutOfPlace = 0x8;
const int kSourceShareNotMounted = 0x170000b6;

class ShareAutoMount : public fcltest::CompanionTest {
protected:
    ShareAutoMount() {
        wzmounts::clearShares();
        wzplatform::clearRaisedEvents();
    }
    ~ShareAutoMount() override {
        wzmounts::clearShares();
        for (FSRSrcPath& record : sources_) {
            free(record.path);
        }
    }

    static void share(const std::string& prefix, const std::string& location, bool byHost = false,
                      bool unreachable = false, bool busy = false) {
        wzmounts::ShareEntry entry;
        entry.share = prefix;
        entry.location = location;
        entry.mountedByHost = byHost;
        entry.unreachable = unreachable;
        entry.busy = busy;
        wzmounts::addShare(entry);
    }
    void addSource(const std::string& path) {
        FSRSrcPath record;
        record.index = static_cast<int64_t>(sources_.size());
        record.path = strdup(path.c_str());
        sources_.push_back(record);
    }
    // A companion with a manager, mounting the sources or (when `destination` is given) the destination.
    FclRestoreUNIX& sourceJob() {
        FclRestoreUNIX& c = makeCompanion();
        c._autoMountShare = true;
        EXPECT_FALSE(c.CreateAutoMountMgr(2, 3, 4, "/mnt/auto").IsError());
        return c;
    }
    CQiError mountSources(FclRestoreUNIX& c) {
        return c.MountShares(sources_.data(), static_cast<int>(sources_.size()), nullptr, &client_);
    }
    CQiError unmountSources(FclRestoreUNIX& c) {
        return c.UnmountShares(sources_.data(), static_cast<int>(sources_.size()));
    }
    static std::vector<int> raisedIds() {
        std::vector<int> ids;
        for (const EvRaisedEvent& event : wzplatform::raisedEvents()) {
            ids.push_back(event.messageId);
        }
        return ids;
    }

    std::vector<FSRSrcPath> sources_;
    WZRstJobClient client_;
};

TEST_F(ShareAutoMount, DestinationIsMarkedOnlyOutOfPlaceForAShareThatIsNoDrive) {
    share("srv:/export", "/l/export");
    share("E:data", "/l/edata");
    share("E:", "/l/e");
    share("D:\\data", "/l/d");
    struct Row {
        const char* destination;
        unsigned long options;
        bool marked;
    } rows[] = {
        {"srv:/export/sub", kOutOfPlace, true},
        {"srv:/export/sub", 0, false},       // in place: never
        {"/local/dir", kOutOfPlace, false},  // no share
        {"E:", kOutOfPlace, false},          // a drive, even one the manager would take
        {"D:\\data", kOutOfPlace, false},
        {"E:data", kOutOfPlace, true},  // neither alternative of a drive: asked of the share test
        {nullptr, kOutOfPlace, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.destination != nullptr ? row.destination : "(none)");
        FclRestoreUNIX& c = makeCompanion();
        FSRSetParams params;
        std::string text = row.destination != nullptr ? row.destination : "";
        params.destDir = row.destination != nullptr ? &text[0] : nullptr;
        params.options = row.options;
        c._autoMountDestShare = !row.marked;  // each decision starts from a cleared mark
        c.SetAutoMountDestShare(&params);
        params.destDir = nullptr;
        EXPECT_EQ(c.ShouldAutoMountDestShare(), row.marked);
    }
}

TEST_F(ShareAutoMount, ManagerIsMadeWithTheOptionsKnownThenAndMissingOneIsReported) {
    FclRestoreUNIX& c = makeCompanion();
    c._autoMountShare = true;
    addSource("srv:/a");
    CQiError missing = mountSources(c);
    EXPECT_EQ(FXErrorUtil::GetCode(missing), 1627);
    EXPECT_NE(missing.AsString().find("AutoMount Manager has not been instantiated"), std::string::npos);
    EXPECT_NE(unmountSources(c).AsString().find("AutoMount Manager has not been instantiated"), std::string::npos);

    c.SetAutoMountOptions("vers=4");
    ASSERT_FALSE(c.CreateAutoMountMgr(2, 3, 4, "/mnt/auto").IsError());
    EXPECT_EQ(c.GetAutoMountManager()->GetAutoMountOptions(), "vers=4");
    EXPECT_TRUE(
        logged("FileShareAutoMountManager Instantiated ulZendrelId 2 ulApplicationNumber 3 llJobId 4 "
               "sAutoMountDir [/mnt/auto] sAutoMountOptions [vers=4]"));

    FileShareAutoMountManager::allocationFaults().failNext(1);
    CQiError noMemory = c.CreateAutoMountMgr(2, 3, 4, "/mnt/auto");
    EXPECT_NE(noMemory.AsString().find("Failed to instantiate FileShareAutoMountManager, Memory Error!!!"),
              std::string::npos);
    EXPECT_EQ(c.GetAutoMountManager(), nullptr);
}

TEST_F(ShareAutoMount, FailingSourcePathRaisesItsEventWhileAnotherMountsAndOnlyMountedOnesAreUnmounted) {
    share("srv:/down", "/l/down", false, true);
    share("srv:/host", "/l/host", true);
    share("srv:/up", "/l/up");
    addSource("srv:/down/x");  // mount and lookup fail
    addSource("srv:/host/y");  // mount refused, but mounted already: counts as mounted
    addSource("srv:/up/z");
    addSource("srv:/up/w");  // the same share again
    FclRestoreUNIX& c = sourceJob();
    EXPECT_FALSE(mountSources(c).IsError());
    EXPECT_EQ(raisedIds(), (std::vector<int>{kSourceShareNotMounted, kSourceShareNotMounted}));
    const std::vector<EvRaisedEvent> events = wzplatform::raisedEvents();
    ASSERT_EQ(events[0].arguments.size(), 2u);
    EXPECT_EQ(events[0].arguments[0].asText(), "srv:/down/x");
    EXPECT_TRUE(logged("Error in mounting the srcPath [srv:/down/x]."));
    EXPECT_TRUE(logged("Successfully Mounted srcPath [srv:/host/y] using share [srv:/host] to [/l/host]."));
    EXPECT_TRUE(logged("Successfully Mounted srcPath [srv:/down/x] but failed to retrieve mounted location."));
    EXPECT_EQ(wzmounts::shareCalls(), (std::vector<std::string>{"mount srv:/up"}));

    std::string local;
    EXPECT_FALSE(c.GetAutoMountManager()->translatePath(local, "srv:/up/z/f").IsError());
    EXPECT_EQ(local, "/l/up/z/f");

    EXPECT_FALSE(unmountSources(c).IsError());
    EXPECT_EQ(wzmounts::shareCalls(), (std::vector<std::string>{"mount srv:/up", "unmount srv:/up"}));
    EXPECT_TRUE(logged("Not unmounting [srv:/host/y]: this job did not mount it"));
    EXPECT_TRUE(logged("Not unmounting [srv:/down/x]: this job did not mount it"));
}

TEST_F(ShareAutoMount, SourcePathsThatAllFailStopTheMount) {
    share("srv:/down", "/l/down", false, true);
    addSource("srv:/down/x");
    addSource("/not/a/share");
    FclRestoreUNIX& c = sourceJob();
    CQiError error = mountSources(c);
    EXPECT_EQ(FXErrorUtil::GetCode(error), 1627);
    EXPECT_NE(error.AsString().find("AutoMount Manager failed to mount all source paths"), std::string::npos);
    EXPECT_EQ(raisedIds().size(), 2u);
    EXPECT_FALSE(unmountSources(c).IsError());
    EXPECT_TRUE(wzmounts::shareCalls().empty());
}

TEST_F(ShareAutoMount, EveryMountedSourceIsTriedAndTheFirstUnmountErrorIsKept) {
    share("srv:/stuck", "/l/stuck", false, false, true);
    share("srv:/up", "/l/up");
    addSource("srv:/stuck/a");
    addSource("srv:/up/b");
    FclRestoreUNIX& c = sourceJob();
    ASSERT_FALSE(mountSources(c).IsError());
    CQiError error = unmountSources(c);
    EXPECT_TRUE(error.IsError());
    EXPECT_NE(error.AsString().find("srv:/stuck"), std::string::npos);
    EXPECT_TRUE(logged("Could not unmount the srcPath [srv:/stuck/a], may already be unmounted."));
    EXPECT_EQ(wzmounts::shareCalls(),
              (std::vector<std::string>{"mount srv:/stuck", "mount srv:/up", "unmount srv:/up"}));
}

TEST_F(ShareAutoMount, DestinationShareIsUnmountedFromTheRequestedDestinationOnlyWhenTheJobMountedIt) {
    share("srv:/out", "/l/out");
    share("srv:/host", "/l/host", true);
    struct Row {
        const char* destination;
        bool mounts;
        std::vector<std::string> calls;
    } rows[] = {
        {"srv:/out/sub", true, {"mount srv:/out", "unmount srv:/out"}},
        // Mounted before the job: the mount fails the job, and the end leaves the share mounted.
        {"srv:/host/sub", false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.destination);
        wzmounts::clearShares();
        share("srv:/out", "/l/out");
        share("srv:/host", "/l/host", true);
        FclRestoreUNIX& c = makeCompanion();
        c._autoMountDestShare = true;
        ASSERT_FALSE(c.CreateAutoMountMgr(2, 3, 4, "/mnt/auto").IsError());
        CQiError mounted = c.MountShares(nullptr, 0, row.destination, &client_);
        EXPECT_EQ(mounted.IsError(), !row.mounts) << mounted.AsString();
        // The job restores into the location; the end works from the destination it was asked for.
        c.SetDestDirOrig(row.destination);
        EXPECT_FALSE(c.UnmountShares(nullptr, 0).IsError());
        EXPECT_EQ(wzmounts::shareCalls(), row.calls);
    }
    EXPECT_TRUE(logged("Error in mounting the destDir [srv:/host/sub]."));
    EXPECT_TRUE(logged("Successfully Unmounted destDir [srv:/out/sub] using share [srv:/out] from location [/l/out]."));
}

TEST_F(ShareAutoMount, PathsTranslateBothWaysOnlyUnderAMountedShare) {
    share("srv:/e", "/l/e");
    share("srv:/e/deep", "/l/deep");
    share("\\\\win\\share", "/l/win");
    FileShareAutoMountManager manager;
    std::string out = "kept";
    EXPECT_TRUE(manager.translatePath(out, "srv:/e/x").IsError());
    EXPECT_EQ(out, "kept");
    ASSERT_FALSE(manager.mountPath(FileShareAutoMount::AUTO_MOUNT_VOL_TYPE_SHARE, "srv:/e").IsError());
    ASSERT_FALSE(manager.mountPath(FileShareAutoMount::AUTO_MOUNT_VOL_TYPE_SHARE, "srv:/e/deep").IsError());
    ASSERT_FALSE(manager.mountPath(FileShareAutoMount::AUTO_MOUNT_VOL_TYPE_SHARE, "\\\\win\\share").IsError());
    struct Row {
        const char* in;
        const char* out;  // "" when it lies under no mounted share
    } forward[] = {{"srv:/e/x/f", "/l/e/x/f"},     {"srv:/e", "/l/e"},
                   {"srv:/e/deep/f", "/l/deep/f"}, {"srv:/elsewhere/f", ""},
                   {"//win/share/d", "/l/win/d"},  {"\\\\win\\share\\d", "/l/win/d"}},
      backward[] = {
          {"/l/e/x/f", "srv:/e/x/f"}, {"/l/deep/f", "srv:/e/deep/f"}, {"/l/else/f", ""}, {"/l/win/d", "//win/share/d"}};
    for (const Row& row : forward) {
        out.clear();
        EXPECT_EQ(manager.translatePath(out, row.in).IsError() ? "" : out, row.out) << row.in;
    }
    for (const Row& row : backward) {
        out.clear();
        EXPECT_EQ(manager.unTranslatePath(out, row.in).IsError() ? "" : out, row.out) << row.in;
    }
}

}  // namespace
