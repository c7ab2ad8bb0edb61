// Image-level restores end to end: a packed tree restored through the FIR driver's image-level job (pieces in
// extents of the archive files, staged and copied out) equals its source; a damaged extent fails its file alone.
#include <acl/libacl.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/archive/ArchiveIndex.h"
#include "platform/restorefiles/WZRestoreFiles.h"
#include "tests/e2e/AdversarialSupport.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

std::string text(const std::string& path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

// Result lines of the job, by the path each names.
std::map<std::string, std::vector<ResultLine>> resultsByPath(const std::string& resultsDir) {
    std::map<std::string, std::vector<ResultLine>> lines;
    for (const ResultLine& line : readResults(findResults(resultsDir))) {
        if (line.status != -1) {
            lines[line.path()].push_back(line);
        }
    }
    return lines;
}

// The access ACL of `path` in its short text form with numeric ids; "" when it cannot be read.
std::string aclText(const std::string& path) {
    acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (acl == nullptr) {
        return "";
    }
    char* shown = acl_to_any_text(acl, nullptr, ',', TEXT_ABBREVIATE | TEXT_NUMERIC_IDS);
    std::string result = shown != nullptr ? shown : "";
    acl_free(shown);
    acl_free(acl);
    return result;
}

void setOldTimes(const std::string& path) {
    const timespec old[2] = {{1000, 0}, {1000, 0}};
    utimensat(AT_FDCWD, path.c_str(), old, AT_SYMLINK_NOFOLLOW);
}

class ImageLevel : public EndToEnd {
protected:
    // Small buffers and two archive files: files span several extents, several buffers and both archives.
    const std::vector<std::string> kPackOptions{"--buffer", "16", "--archives", "2"};

    TreeLayout tree() const {
        return {
            dir("docs").mode(0750),        file("docs/small", 100),
            file("docs/empty", 0),         file("docs/several", 3 * 64 * kKiB + 4464),
            file("big", kMiB + 7),         sparse("holey", 512 * kKiB, {{128 * kKiB, 256 * kKiB}}),
            dir("deep/er/est").mode(0700), file("deep/er/est/leaf", 70000).mode(0600),
            symlink("near", "docs/small"), symlink("far", std::string(90, 'x') + "/" + std::string(90, 'y')),
        };
    }

    // The offset of `path`'s item in its archive file and that archive's id.
    bool itemOffset(const std::string& path, uint64_t* archive, uint64_t* offset, uint64_t* next) {
        for (uint64_t id = 1; id <= 2; ++id) {
            fclarchive::IndexReader reader;
            if (!reader.open(media() + "/" + std::to_string(id) + ".index")) {
                continue;
            }
            fclarchive::IndexEntry entry;
            bool found = false;
            while (reader.next(entry)) {
                if (found) {
                    *next = entry.offset;
                    return true;
                }
                if (entry.path == path) {
                    *archive = id;
                    *offset = entry.offset;
                    found = true;
                }
            }
            if (found) {
                struct stat st {};
                stat((media() + "/" + std::to_string(id) + ".afile").c_str(), &st);
                *next = static_cast<uint64_t>(st.st_size);
                return true;
            }
        }
        return false;
    }
};

TEST_F(ImageLevel, PackedTreeComesBackWholeWithOneResultPerItem) {
    build(tree());
    pack(kPackOptions);
    ASSERT_FALSE(HasFatalFailure());
    const InPlaceRun run = restoreImageLevel();
    ASSERT_TRUE(run.succeeded) << run.reason << "\n" << text(results() + "/fclrestore.log");
    EXPECT_EQ(differences(), "");
    EXPECT_EQ(run.restored, sourceItems());
    EXPECT_EQ(run.failed, 0u);
    const auto lines = resultsByPath(results());
    EXPECT_EQ(lines.size(), sourceItems());
    for (const auto& entry : lines) {
        EXPECT_EQ(entry.second.size(), 1u) << entry.first;
        EXPECT_TRUE(entry.second.front().restored()) << entry.first;
    }
    // No staging file is left behind.
    EXPECT_EQ(text(results() + "/fclrestore.log").find("File Creation failed"), std::string::npos);
}

TEST_F(ImageLevel, DamagedExtentFailsItsFileOnceAndLeavesTheOthersWhole) {
    build(tree());
    pack(kPackOptions);
    ASSERT_FALSE(HasFatalFailure());
    uint64_t archive = 0;
    uint64_t offset = 0;
    uint64_t next = 0;
    ASSERT_TRUE(itemOffset(source("docs/several"), &archive, &offset, &next));
    {
        // One byte of the file's last data buffers: the extent holding them cannot be restored.
        std::fstream afile(media() + "/" + std::to_string(archive) + ".afile",
                           std::ios::in | std::ios::out | std::ios::binary);
        afile.seekg(static_cast<std::streamoff>(next - 2000));
        char byte = 0;
        afile.read(&byte, 1);
        byte ^= 0x5a;
        afile.seekp(static_cast<std::streamoff>(next - 2000));
        afile.write(&byte, 1);
    }
    const InPlaceRun run = restoreImageLevel();
    // The job itself ends normally; the file it could not restore is counted as failed.
    EXPECT_TRUE(run.succeeded) << run.reason;
    EXPECT_EQ(run.failed, 1u) << run.reason;
    EXPECT_EQ(run.restored, sourceItems() - 1);

    const auto lines = resultsByPath(results());
    for (const auto& entry : lines) {
        ASSERT_EQ(entry.second.size(), 1u) << entry.first;
        const bool damaged = entry.first.find("docs/several") != std::string::npos;
        EXPECT_EQ(entry.second.front().failed(), damaged) << entry.first;
    }
    // Its attributes were not applied: whatever was copied before the damaged extent keeps the mode it was made with.
    struct stat st {};
    if (lstat(restored("docs/several").c_str(), &st) == 0) {
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }
    for (const char* name : {"docs/small", "docs/empty", "big", "holey", "deep/er/est/leaf"}) {
        EXPECT_EQ(contentDifferences(source(name), restored(name), Holes::Kept), "") << name;
    }
}

// A full disk while an extent is staged ends the job through the fatal path, saying why; nothing is copied out of
// the staging file it could not write.
TEST_F(ImageLevel, DiskFullWhileStagingFailsTheJob) {
    build({file("one", 100000), file("two", 10)});
    pack();
    ASSERT_FALSE(HasFatalFailure());
    WZRestoreFiles::setStagingWriteFailure(ENOSPC);
    const InPlaceRun run = restoreImageLevel();
    WZRestoreFiles::setStagingWriteFailure(0);
    EXPECT_FALSE(run.succeeded);
    EXPECT_NE(run.reason.find("Not enough space available"), std::string::npos) << run.reason;
    struct stat st {};
    EXPECT_NE(lstat(restored("one").c_str(), &st), 0);
}

// A name full of shell characters with an ACL, a link planted where a file goes and a link planted in the results
// directory: the ACL lands on the file, the planted link is replaced, nothing outside the destination changes.
TEST_F(ImageLevel, HostileNamesAndPlantedLinksChangeNothingOutsideTheDestination) {
    const std::string hostile = "a;touch PWNED;b $(touch PWNED2)&";
    build({
        file(hostile, 300).acl("u::rw-,u:1000:r--,g::r--,g:2000:rw-,m::rw-,o::---"),
        dir("docs").acl("u::rwx,u:1000:rwx,g::r-x,m::rwx,o::r-x"),
        file("docs/small", 100),
    });
    pack();
    ASSERT_FALSE(HasFatalFailure());
    const std::string outside = beside("outside");
    std::ofstream(outside) << "keep";
    // Planted older than the backup, so the job restores over them.
    ASSERT_EQ(system(("mkdir -p '" + restored("docs") + "'").c_str()), 0);
    ASSERT_EQ(::symlink(outside.c_str(), restored("docs/small").c_str()), 0);
    setOldTimes(restored("docs/small"));
    setOldTimes(restored("docs"));
    setOldTimes(restored());
    ASSERT_EQ(mkdir(results().c_str(), 0755), 0);
    ASSERT_EQ(::symlink(beside("marker-target").c_str(), (results() + "/startrestoretime").c_str()), 0);

    const InPlaceRun run = restoreImageLevel();
    ASSERT_TRUE(run.succeeded) << run.reason;
    EXPECT_EQ(run.failed, 0u) << run.reason;
    EXPECT_EQ(differences(), "");
    EXPECT_EQ(text(outside), "keep");
    EXPECT_EQ(aclText(restored(hostile)), aclText(source(hostile)));
    EXPECT_EQ(aclText(restored("docs")), aclText(source("docs")));
    for (const std::string& trace :
         {beside("marker-target"), beside("PWNED"), beside("PWNED2"), std::string("PWNED"), std::string("PWNED2")}) {
        EXPECT_NE(access(trace.c_str(), F_OK), 0) << trace;
    }
}

}  // namespace
}  // namespace e2e
