// The records of image-level restores as the engine reads them: ext3 ACLs, attribute records bounded by their
// length, the queue's order, and image names that cannot be placed whole.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "clRestore/engine/messages/ImageRecords.h"
#include "tests/unit/engine/BareJob.h"

namespace {

std::vector<unsigned char> ext3(const std::vector<image::AclEntry>& entries) {
    std::vector<unsigned char> bytes(4, 0);
    bytes[0] = 1;
    for (const image::AclEntry& e : entries) {
        const size_t at = bytes.size();
        bytes.resize(at + (e.named() ? 8 : 4));
        std::memcpy(&bytes[at], &e.tag, 2);
        std::memcpy(&bytes[at + 2], &e.perm, 2);
        if (e.named()) {
            std::memcpy(&bytes[at + 4], &e.id, 4);
        }
    }
    return bytes;
}

TEST(ImageAcl, CountsFollowTheLengthAndOddLengthsGiveNone) {
    const struct {
        int length;
        int count;
    } kCases[] = {{4, 0}, {4 + 4 * 4, 4}, {4 + 16 + 2 * 8, 6}, {4 + 18, -1}, {4 + 6, -1}, {3, -1}, {0, -1}};
    for (const auto& c : kCases) {
        EXPECT_EQ(image::ext3_acl_count(c.length), c.count) << c.length;
    }
}

TEST(ImageAcl, EntriesBecomeTheModifyListAndUnknownTagsSpoilTheWholeList) {
    std::vector<unsigned char> acl = ext3({{0x01, 6, 0}, {0x02, 6, 1000}, {0x04, 4, 0}, {0x10, 6, 0}, {0x20, 4, 0}});
    std::string command;
    EXPECT_EQ(image::interpret_acl(reinterpret_cast<char*>(acl.data()), static_cast<int>(acl.size()), command), 5);
    EXPECT_EQ(command, "setfacl -m u::6,u:1000:6,g::4,m::6,o::4");

    std::vector<unsigned char> unknown = ext3({{0x01, 6, 0}, {0x40, 6, 0}, {0x04, 4, 0}, {0x20, 4, 0}});
    std::vector<image::AclEntry> entries;
    EXPECT_EQ(image::readExt3Acl(unknown.data(), static_cast<int>(unknown.size()), entries), -1);
    EXPECT_TRUE(entries.empty());
}

TEST(ImageAttributes, FieldsAndTextsAreReadOnlyWithinTheRecord) {
    std::vector<unsigned char> record(140, 0);
    const uint32_t mode = 0120777;
    const uint16_t inlineFlag = 1;
    std::memcpy(&record[52], &mode, 4);
    std::memcpy(&record[56], &inlineFlag, 2);
    std::memset(&record[72], 'x', 133 - 72);  // a target that fills its place without a terminator
    std::memcpy(&record[133], "lab", 3);      // a label running to the record's end

    const image::AttributeRecord whole(record.data(), record.size());
    std::string text;
    EXPECT_TRUE(whole.usable());
    EXPECT_EQ(whole.mode(), mode);
    EXPECT_TRUE(whole.linkTargetInline());
    EXPECT_FALSE(whole.linkTarget(text));
    EXPECT_TRUE(whole.label(text));  // zero bytes follow "lab" within the record
    EXPECT_EQ(text, "lab");

    const image::AttributeRecord labelCut(record.data(), 136);
    EXPECT_FALSE(labelCut.label(text));
    const image::AttributeRecord short_(record.data(), 52);
    EXPECT_FALSE(short_.usable());
    EXPECT_EQ(short_.mode(), 0u);
    EXPECT_FALSE(short_.linkTargetInline());
}

TEST(ImageQueue, PiecesSortByArchiveExtentAndPlaceAndKeepArrivalOrderOtherwise) {
    std::vector<FSRImgAfileOffsets> pieces(5);
    const uint64_t keys[5][3] = {{2, 0, 0}, {1, 500, 10}, {1, 500, 0}, {1, 100, 70}, {1, 500, 0}};
    std::vector<FSRImgAfileOffsets*> queue;
    for (size_t i = 0; i < pieces.size(); ++i) {
        pieces[i].archiveId.archiveFileId = keys[i][0];
        pieces[i].offsetInAfileId = keys[i][1];
        pieces[i].offsetinFileExtent = keys[i][2];
        pieces[i].FRN = i;
        queue.push_back(&pieces[i]);
    }
    std::stable_sort(queue.begin(), queue.end(), AfileOffsetCompare);
    std::vector<uint64_t> order;
    for (const FSRImgAfileOffsets* piece : queue) {
        order.push_back(piece->FRN);
    }
    EXPECT_EQ(order, (std::vector<uint64_t>{3, 2, 4, 1, 0}));
}

// A name whose 0x12 bytes turn into a climb, or that is too long to be placed whole, fails its file once; the file
// is passed over from then on.
TEST(ImageNames, NamesThatCannotBePlacedWholeFailTheirFileOnce) {
    jobtest::BareJob<> bare;
    FclRestore& job = bare.job;
    std::vector<char> out(2048);
    const struct {
        std::string name;
        bool placed;
        std::string destination;
    } kCases[] = {
        {"dir\x12"
         "file",
         true, "dir/file"},
        {"dir\x12..\x12..\x12"
         "etc\x12passwd",
         false, ""},
        {std::string(1100, 'n'), false, ""},
        {"", false, ""},
    };
    unsigned long long frn = 1;
    for (const auto& c : kCases) {
        std::string name = c.name;
        EXPECT_EQ(job.CheckAndProcessNotInPlaceFiles(frn, &name[0], out.data(), 0100644), c.placed) << c.name;
        if (c.placed) {
            EXPECT_EQ(std::string(out.data()), c.destination);
        } else {
            EXPECT_EQ(job._failedFRNs.count(frn), 1u);
            EXPECT_FALSE(job.CheckAndProcessNotInPlaceFiles(frn, &name[0], out.data(), 0100644));
        }
        ++frn;
    }
    EXPECT_EQ(job.getStatistics()->getNumFilesFailed(), 0u);  // no progress option: counted by the results only
}

// Out of place an image name is translated as it comes, its 0x12 bytes turned into '/' only afterwards: the strip
// level drops names separated by '/', and a name whose separators are all 0x12 counts as one name.
TEST(ImageNames, SeparatorsTurnAfterTheTranslation) {
    char source[] = "/home";
    FSRSrcPath paths[1];
    paths[0].stripLevel = 1;
    paths[0].path = source;
    char dest[] = "/restore";
    const unsigned long options = FSR_OPT_OUT_OF_PLACE | FSR_OPT_KEEP_DIR_STRUCTURE | FSR_OPT_COMMON_STRIP_LEVEL;
    jobtest::BareJob<> bare(options);
    FclRestore& job = bare.job;
    delete job._factory;
    job._factory = new FsRestoreUnixObjectsFactory(nullptr, paths, 1, dest, options, &job);
    std::vector<char> out(2048);
    const struct {
        std::string name;
        std::string destination;  // "": the file fails
    } kCases[] = {
        {"home/me/a.txt", "/restore/me/a.txt"},
        {"home\x12me\x12"
         "a.txt",
         "/restore/home/me/a.txt"},
        {"home/me\x12"
         "a.txt",
         "/restore/me/a.txt"},
        {"home/me\x12..\x12..\x12..\x12"
         "etc",
         ""},
    };
    unsigned long long frn = 1;
    for (const auto& c : kCases) {
        std::string name = c.name;
        EXPECT_EQ(job.CheckAndProcessNotInPlaceFiles(frn, &name[0], out.data(), 0100644), !c.destination.empty())
            << c.name;
        EXPECT_EQ(std::string(out.data()), c.destination) << c.name;
        ++frn;
    }
}

// A final-result entry for a file that is not there records it failed, once, never restored.
TEST(ImageNames, AFileMissingAtItsFinalResultIsFailedNotRestored) {
    jobtest::BareJob<> bare(FSR_OPT_REPORT_PROGRESS);
    std::string name = "nonexistent-image-dir/file";
    FSRImgTimes times[2];
    for (FSRImgTimes& entry : times) {
        entry.name = &name[0];
        entry.mode = 0100644;
        entry.FRN = 7;
        entry.fileSize = 10;
    }
    FSRImgTimesArray array;
    array.count = 2;
    array.entries = times;
    EXPECT_TRUE(bare.job.OnMsgImgTimesArray(&array));
    EXPECT_EQ(bare.job.getStatistics()->getNumFilesFailed(), 1u);
    EXPECT_EQ(bare.job.getStatistics()->getNumFilesSucceeded(), 0u);
}

}  // namespace
