// Whether an item is restored, by the job's overwrite rule and what stands at its destination: nothing, an older or
// a newer copy, a directory, or a link. A skipped item leaves the destination exactly as it was; a restored file
// replaces a link instead of writing through it.
#include <sys/stat.h>

#include <string>

#include "clRestore/objects/FsRestoreDirectory.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/objects/ItemFixture.h"

namespace {

using objtest::ItemLayout;
using objtest::PathState;
using objtest::stateOf;

enum class Rule { Unconditional, OnlyIfNewer, Never, OnlyIfExists, OnlyIfExistsUnconditional, StubsOnly };
enum class Dest { Absent, Older, Newer, Directory, Link };

const char* nameOf(Rule rule) {
    switch (rule) {
        case Rule::Unconditional:
            return "unconditional";
        case Rule::OnlyIfNewer:
            return "only if newer";
        case Rule::Never:
            return "never";
        case Rule::OnlyIfExists:
            return "only if it exists";
        case Rule::OnlyIfExistsUnconditional:
            return "only if it exists, unconditional";
        case Rule::StubsOnly:
            return "stubs only";
    }
    return "?";
}

const char* nameOf(Dest dest) {
    switch (dest) {
        case Dest::Absent:
            return "absent";
        case Dest::Older:
            return "older";
        case Dest::Newer:
            return "newer";
        case Dest::Directory:
            return "a directory";
        case Dest::Link:
            return "a link";
    }
    return "?";
}

constexpr unsigned long kRestored = 0;

struct Case {
    Rule rule;
    bool directoryItem;
    Dest dest;
    unsigned long expected;  // kRestored, or the id the item ends with (skipped or failed, destination unchanged)
};

// A file cannot replace a directory (its open fails and the directory stays); a directory merges into one.
const Case kCases[] = {
    {Rule::Unconditional, false, Dest::Absent, kRestored},
    {Rule::Unconditional, false, Dest::Older, kRestored},
    {Rule::Unconditional, false, Dest::Newer, kRestored},
    {Rule::Unconditional, false, Dest::Directory, fclitem::kCreateFailed},
    {Rule::Unconditional, false, Dest::Link, kRestored},
    {Rule::OnlyIfNewer, false, Dest::Absent, kRestored},
    {Rule::OnlyIfNewer, false, Dest::Older, kRestored},
    {Rule::OnlyIfNewer, false, Dest::Newer, fclitem::kSkippedExisting},
    {Rule::OnlyIfNewer, false, Dest::Directory, fclitem::kSkippedExisting},
    {Rule::OnlyIfNewer, false, Dest::Link, fclitem::kSkippedExisting},
    {Rule::Never, false, Dest::Absent, kRestored},
    {Rule::Never, false, Dest::Older, fclitem::kSkippedNotOverwritten},
    {Rule::Never, false, Dest::Newer, fclitem::kSkippedNotOverwritten},
    {Rule::Never, false, Dest::Directory, fclitem::kSkippedNotOverwritten},
    {Rule::Never, false, Dest::Link, fclitem::kSkippedNotOverwritten},
    {Rule::OnlyIfExists, false, Dest::Absent, fclitem::kSkippedMissing},
    {Rule::OnlyIfExists, false, Dest::Older, kRestored},
    {Rule::OnlyIfExists, false, Dest::Newer, fclitem::kSkippedExisting},
    {Rule::OnlyIfExists, false, Dest::Directory, fclitem::kSkippedExisting},
    {Rule::OnlyIfExists, false, Dest::Link, fclitem::kSkippedExisting},
    {Rule::OnlyIfExistsUnconditional, false, Dest::Absent, fclitem::kSkippedMissing},
    {Rule::OnlyIfExistsUnconditional, false, Dest::Older, kRestored},
    {Rule::OnlyIfExistsUnconditional, false, Dest::Newer, kRestored},
    {Rule::OnlyIfExistsUnconditional, false, Dest::Directory, fclitem::kCreateFailed},
    {Rule::OnlyIfExistsUnconditional, false, Dest::Link, kRestored},
    // No file of this machine is a stub: "overwrite stubs only" restores no file, not even a missing one.
    {Rule::StubsOnly, false, Dest::Absent, fclitem::kSkippedExisting},
    {Rule::StubsOnly, false, Dest::Older, fclitem::kSkippedExisting},
    {Rule::StubsOnly, false, Dest::Newer, fclitem::kSkippedExisting},
    {Rule::StubsOnly, false, Dest::Directory, fclitem::kSkippedExisting},
    {Rule::StubsOnly, false, Dest::Link, fclitem::kSkippedExisting},
    // Directories merge into existing ones under every rule: no rule skips them. A link in their place is kept, and
    // one to no directory (here: to a file) fails the directory's open.
    {Rule::Unconditional, true, Dest::Absent, kRestored},
    {Rule::Unconditional, true, Dest::Directory, kRestored},
    {Rule::Unconditional, true, Dest::Link, fclitem::kCreateFailed},
    {Rule::OnlyIfNewer, true, Dest::Absent, kRestored},
    {Rule::OnlyIfNewer, true, Dest::Directory, kRestored},
    {Rule::OnlyIfNewer, true, Dest::Link, fclitem::kCreateFailed},
    {Rule::Never, true, Dest::Absent, kRestored},
    {Rule::Never, true, Dest::Directory, kRestored},
    {Rule::Never, true, Dest::Link, fclitem::kCreateFailed},
    {Rule::OnlyIfExists, true, Dest::Absent, fclitem::kSkippedMissing},
    {Rule::OnlyIfExists, true, Dest::Directory, kRestored},
    {Rule::OnlyIfExists, true, Dest::Link, fclitem::kCreateFailed},
    {Rule::StubsOnly, true, Dest::Absent, kRestored},
    {Rule::StubsOnly, true, Dest::Directory, kRestored},
    {Rule::StubsOnly, true, Dest::Link, fclitem::kCreateFailed},
};

class OverwriteRules : public objtest::ItemFixture {
protected:
    void applyRule(Rule rule) {
        const bool unconditional = rule == Rule::Unconditional || rule == Rule::OnlyIfExistsUnconditional;
        useFactory(unconditional ? static_cast<unsigned long>(FSR_OPT_OVERWRITE) : 0ul);
        factory_->setDoNotOverwrite(rule == Rule::Never);
        factory_->setOnlyIfExists(rule == Rule::OnlyIfExists || rule == Rule::OnlyIfExistsUnconditional);
        factory_->setStubsOnly(rule == Rule::StubsOnly);
    }

    // The archive copy is from 1600000000; "older" lies before it, "newer" (and every link, made now) after it.
    void makeDestination(Dest dest, const std::string& path) {
        switch (dest) {
            case Dest::Absent:
                break;
            case Dest::Older:
            case Dest::Newer:
                fcltest::writeFile(path, "disk copy");
                ASSERT_EQ(chmod(path.c_str(), 0600), 0);
                objtest::setTimes(path, 1000, dest == Dest::Older ? 1000 : 1700000000);
                break;
            case Dest::Directory:
                ASSERT_EQ(mkdir(path.c_str(), 0711), 0);
                objtest::setTimes(path, 1000, 1700000000);
                break;
            case Dest::Link:
                ASSERT_EQ(symlink(victim_.c_str(), path.c_str()), 0);
                break;
        }
    }

    void SetUp() override {
        fcltest::writeFile(victim_, "outside, never written");
        ASSERT_EQ(chmod(victim_.c_str(), 0640), 0);
        objtest::setTimes(victim_, 1000, 2000);
    }

    std::string victim_ = outside_ + "/victim";
};

TEST_F(OverwriteRules, EachRuleAgainstEveryDestinationState) {
    int index = 0;
    for (const Case& c : kCases) {
        const std::string path = dest_ + "/item" + std::to_string(index++);
        SCOPED_TRACE(std::string(nameOf(c.rule)) +
                     (c.directoryItem ? ", directory item, destination " : ", file item, destination ") +
                     nameOf(c.dest));
        applyRule(c.rule);
        makeDestination(c.dest, path);
        const PathState before = stateOf(path);
        const PathState victim = stateOf(victim_);

        ItemLayout plan;
        plan.mode = c.directoryItem ? S_IFDIR | 0750 : S_IFREG | 0644;
        EXPECT_EQ(c.directoryItem ? restore<FsRestoreDirectory>(path, plan) : restore(path, plan), c.expected);

        EXPECT_EQ(stateOf(victim_), victim) << "the link's target changed";
        const PathState after = stateOf(path);
        if (c.expected != kRestored) {
            EXPECT_EQ(after, before);
            continue;
        }
        ASSERT_TRUE(after.exists);
        EXPECT_EQ(after.mode, plan.mode);
        EXPECT_EQ(after.mtime, static_cast<time_t>(plan.mtime));
        if (!c.directoryItem) {
            EXPECT_EQ(after.content, plan.data);
        }
    }
}

// Both times decide: a disk copy with a newer modification time is still replaced when the archive copy changed
// later than it (its change time is the later one).
TEST_F(OverwriteRules, LaterChangeTimeOfTheArchiveCopyRestoresIt) {
    const std::string path = dest_ + "/file";
    makeDestination(Dest::Newer, path);
    ItemLayout plan;
    plan.ctime = static_cast<uint32_t>(time(nullptr) + 100000);
    EXPECT_EQ(restore(path, plan), kRestored);
    EXPECT_EQ(fcltest::readFile(path), plan.data);

    // The same modification time as the archive copy, changed after it: kept.
    plan.ctime = 1600000000;
    objtest::setTimes(path, 1000, 1600000000);
    EXPECT_EQ(restore(path, plan), fclitem::kSkippedExisting);
}

TEST_F(OverwriteRules, SiloJobsOverwriteWhateverTheTimes) {
    const std::string path = dest_ + "/file";
    makeDestination(Dest::Newer, path);
    job_._siloJob = true;
    EXPECT_EQ(restore(path), kRestored);
    EXPECT_EQ(fcltest::readFile(path), ItemLayout().data);
}

TEST_F(OverwriteRules, MarkerNameIsNeverRestoredWhereverItStands) {
    useFactory(FSR_OPT_OVERWRITE);
    const std::string marker = "{20d03aa2-7726-42d8-8381-fdda7a8a1c47}";
    for (const std::string& path : {dest_ + "/" + marker, dest_ + "/" + marker + "/file", dest_ + "/a" + marker}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(restore(path), fclitem::kSkippedSilently);
        EXPECT_FALSE(stateOf(path).exists);
    }
}

TEST_F(OverwriteRules, RestoreOnlyIfExistsIsOffForIndexCacheJobs) {
    useFactory(FSR_OPT_INDEX_CACHE);
    factory_->setOnlyIfExists(true);
    auto item = makeItem(dest_ + "/missing");
    EXPECT_TRUE(item->ShouldRestoreFile());
    EXPECT_EQ(item->_dontRestore, 0);
}

TEST_F(OverwriteRules, StubCarryingDataSkipsWithoutResultLine) {
    const struct {
        const char* what;
        Rule rule;
        Dest dest;
        unsigned long expected;
    } cases[] = {
        {"missing, only if it exists", Rule::OnlyIfExists, Dest::Absent, fclitem::kSkippedSilently2},
        {"existing, never", Rule::Never, Dest::Newer, fclitem::kSkippedSilently},
        {"newer on disk", Rule::OnlyIfNewer, Dest::Newer, fclitem::kSkippedSilently},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        applyRule(c.rule);
        const std::string path = dest_ + "/stub" + std::to_string(index++);
        makeDestination(c.dest, path);
        auto item = makeItem(path);
        item->_dontRestoreStubWithGUID = true;
        EXPECT_FALSE(item->ShouldRestoreFile());
        EXPECT_EQ(factory_->getErrCode(), c.expected);
    }
}

TEST_F(OverwriteRules, AclOnlyRestoreMarksMissingItemsButGoesOn) {
    job_.getUnixCompanion()->_aclOnly = true;
    auto item = makeItem(dest_ + "/missing");
    EXPECT_TRUE(item->ShouldRestoreFile());
    EXPECT_EQ(item->_dontRestore, 1);
    EXPECT_EQ(factory_->getErrCode(), fclitem::kSkippedMissing);
}

TEST_F(OverwriteRules, ExtentItemIsRestoredWhateverTheRules) {
    const std::string path = dest_ + "/container";
    makeDestination(Dest::Newer, path);
    factory_->setDoNotOverwrite(true);
    auto item = makeItem(path);
    item->_flags2 |= CXHDR_F2_EXTENT;
    EXPECT_TRUE(item->ShouldRestoreFile());
    EXPECT_EQ(item->_dontRestore, 0);
}

TEST_F(OverwriteRules, LongPathHandlerFromTheThousandTwentyFourthCharacter) {
    for (size_t length : {1023u, 1024u}) {
        auto item = makeItem(dest_ + "/" + std::string(length - dest_.size() - 1, 'n'));
        ASSERT_EQ(item->_filename.size(), length);
        item->ShouldRestoreFile();
        EXPECT_EQ(item->_longPathHandler != nullptr, length == 1024) << length;
    }
}

}  // namespace
