// Names a shell or a text format would trip on, and paths deep and long.
#include <sys/stat.h>

#include "protocol/FSRPreHeader.h"
#include "tests/common/ArchiveBuilder.h"
#include "tests/e2e/AdversarialSupport.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

class Names : public EndToEnd {};

TEST_F(Names, AnyByteButSlashAndNulIsAName) {
    build({
        file("with spaces", 1),
        file("  leading and trailing  ", 2),
        file("new\nline", 3),
        file("tab\there", 4),
        file("carriage\rreturn", 5),
        file("back\\slash", 6),
        file("-leading-dash", 7),
        file("...", 8),
        file("quotes \" and '", 9),
        file("glob * ? [x]", 10),
        file("Grüße, 日本語, ελληνικά", 11),
        file("latin1 \xe9\xe8 not utf-8", 12),
        dir("dir with\nnewline/and spaces"),
        file("dir with\nnewline/and spaces/inside", 13),
        file(std::string(255, 'n'), 14),
        symlink("link\nwith newline", "new\nline"),
    });
    packAndRestore();
    EXPECT_EQ(differences(), "");
}

TEST_F(Names, DeepAndLongPathsAreRestored) {
    std::string deep;
    for (int level = 0; level < 100; ++level) {
        deep += "d" + std::to_string(level) + "/";
    }
    // A file header holds a path of at most 1024 bytes, the packed root's included.
    std::string longNames;
    for (int level = 0; level < 3; ++level) {
        longNames += std::string(250, static_cast<char>('a' + level)) + "/";
    }
    build({
        file(deep + "leaf", 4097),
        symlink(deep + "link", "leaf"),
        file(longNames + "leaf", 10),
    });
    packAndRestore();
    EXPECT_EQ(differences(), "");
}

// A path longer than a file header holds travels in index headers, the header carrying a stand-in name.
TEST_F(Names, PathsLongerThanTheHeaderHoldsAreRestored) {
    std::string longNames;
    for (int level = 0; level < 6; ++level) {
        longNames += std::string(250, static_cast<char>('a' + level)) + "/";
    }
    build({
        file(longNames + "leaf", 70000),
        file(longNames + "empty", 0),
        symlink(longNames + "link", "leaf"),
        dir(longNames + "sub"),
        file(longNames + "sub/inner", 3),
    });
    packAndRestore();
    EXPECT_EQ(differences(), "");
}

// A pre-header whose name is longer than a pre-header's name may be loses its name only: the item that follows keeps
// the version it gives, and nothing is reported failed for the refused name.
TEST_F(Names, APreHeaderNameTooLongLeavesTheVersionToItsItem) {
    const std::string root = source();
    const std::string tooLong = root + "/" + std::string(FSR_PREHDR_NAME_MAX + 1 - root.size(), 'n');
    {
        fcltest::ArchiveBuilder stream(media());
        stream.directory(root);
        stream.directory(root + "/r");
        stream.preHeader(FSR_PREHDR_HAS_VERSION | FSR_PREHDR_FIRST_NAME | FSR_PREHDR_HARD_LINK, tooLong, 5);
        stream.file(root + "/r/x", "versioned");
        stream.finish();
    }
    const fcltest::ProgramRun run = restore();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), "3") << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "0") << run.out;
    EXPECT_EQ(fcltest::readFile(restored("r/x,5")), "versioned");
    struct stat st;
    EXPECT_NE(lstat(restored("r/x").c_str(), &st), 0) << "restored without its version";
    for (const ResultLine& line : readResults(findResults(results()))) {
        EXPECT_FALSE(line.failed()) << line.text;
    }
}

}  // namespace
}  // namespace e2e
