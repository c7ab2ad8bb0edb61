// Regular files of every size, directories and symbolic links, restored whole and compared with their sources.
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

// Sizes around a page and around the packer's data buffer, so that the last buffer of an item is full, short or one
// byte long; the packer's buffer size is the parameter.
const TreeLayout kFiles = {
    file("empty", 0),
    file("one byte", 1),
    file("page less one", 4095),
    file("page", 4096),
    file("page and one", 4097),
    file("buffer", 256 * kKiB),
    file("buffer and one", 256 * kKiB + 1),
    file("many buffers", 3 * kMiB + 17),
    file("sub/inner page", 4096),
};

class FilesOfEverySize : public EndToEnd, public ::testing::WithParamInterface<const char*> {};

TEST_P(FilesOfEverySize, AreRestoredByteForByte) {
    build(kFiles);
    pack({"--buffer", GetParam()});
    fcltest::ProgramRun run = restore();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), std::to_string(sourceItems())) << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "0") << run.out;
    EXPECT_EQ(differences(), "");
}

INSTANTIATE_TEST_SUITE_P(PackerBuffer, FilesOfEverySize, ::testing::Values("4", "256"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return "Kib" + std::string(info.param);
                         });

class PlainItems : public EndToEnd {};

TEST_F(PlainItems, DirectoriesKeepTheirModesAndTimesAfterTheirContent) {
    build({
        dir("empty"),
        dir("nested/empty/deeper"),
        dir("private").mode(0700),
        file("read-only/inside", 10),
        dir("read-only").mode(0555),
        file("no-write/deeper/inside", 10),
        dir("no-write").mode(0500),
        dir("setgid").mode(02775),
        file("setgid/inside", 1),
    });
    packAndRestore();
    EXPECT_EQ(differences(), "");
}

TEST_F(PlainItems, SymbolicLinksAreRestoredAsTheyWereNeverFollowed) {
    build({
        file("page", 4096),
        dir("sub"),
        symlink("relative", "page"),
        symlink("to directory", "sub"),
        symlink("sub/up", "../page"),
        symlink("absolute", "/etc/passwd"),
        symlink("dangling", "nowhere/at/all"),
        symlink("self", "self"),
        symlink("long target", std::string(1000, 'x') + "/end"),
        symlink("name with spaces", "target with spaces"),
        symlink("climbs out", "../../../../../../../../tmp"),
    });
    packAndRestore();
    EXPECT_EQ(differences(), "");
}

// The job measures where its time goes: at its end the log gives what each counter measured, the receives, the
// reads of the stream and the writes of the data among them.
TEST_F(PlainItems, TheJobsCountersMeasureItsWork) {
    build({file("data", 3 * kMiB + 17), file("sub/small", 10)});
    packAndRestore({"--log-level", "2"});
    const std::string log = fcltest::readFile(results() + "/fclrestore.log");
    for (const char* counter : {"recvRestMsgs", "readPipeline", "RecvData", "DiskWrite", "RecvEOF", "Open File"}) {
        const std::string line =
            std::string("FclRestore::finalize [For All The Files]: counter [") + counter + "] count ";
        EXPECT_NE(log.find(line), std::string::npos) << counter;
    }
}

}  // namespace
}  // namespace e2e
