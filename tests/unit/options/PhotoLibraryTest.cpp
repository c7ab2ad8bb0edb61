// Photo-library items: which link names are photo items of the smart-content tree, and where the current image
// lands under the destination: by its link name, numbered when the name is taken, never outside the destination.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXErrorUtil.h"
#include "tests/common/TestSupport.h"

namespace {

const std::string kPrefix = "/{20d03aa2-7726-42d8-8381-fdda7a8a1c47}/SmartContent";

struct SmartContentCase {
    const char* name;
    std::string path;
    bool photo;
    const char* out;  // the output path; "<untouched>" when left alone
    bool deep;        // the smart-content flag
};

class SmartContent : public ::testing::TestWithParam<SmartContentCase> {};

TEST_P(SmartContent, RecognisesPhotoItems) {
    const SmartContentCase& c = GetParam();
    FclRestore job;
    std::string out = "<untouched>";
    bool deep = true;
    EXPECT_EQ(job.getUnixCompanion()->IsIphotoSmartContent(c.path, out, deep), c.photo);
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(deep, c.deep);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SmartContent,
    ::testing::Values(
        SmartContentCase{"PhotoItem", kPrefix + "/Lib/%Photo%/Album/IMG.JPG", true, "/Lib/Album/IMG.JPG", false},
        SmartContentCase{"FivePartsAreDeep", kPrefix + "/Lib/%Photo%/Y/Album/IMG.JPG", true, "/Lib/Y/Album/IMG.JPG",
                         true},
        SmartContentCase{"EmptyPartsAreSkipped", kPrefix + "//Lib//%Photo%///Album/IMG.JPG/", true,
                         "/Lib/Album/IMG.JPG", false},
        SmartContentCase{"SecondPartIsNotThePhotoPart", kPrefix + "/Lib/Album/%Photo%/IMG.JPG", false, "<untouched>",
                         false},
        SmartContentCase{"PhotoPartFirst", kPrefix + "/%Photo%/Lib/IMG.JPG", false, "<untouched>", false},
        SmartContentCase{"PhotoPartInAnotherCase", kPrefix + "/Lib/%photo%/IMG.JPG", false, "<untouched>", false},
        // The prefix is compared as text.
        SmartContentCase{"PrefixFollowedByLetters", kPrefix + "X/%Photo%/IMG.JPG", true, "/X/IMG.JPG", false},
        SmartContentCase{"PrefixInAnotherCase", "/{20D03AA2-7726-42D8-8381-FDDA7A8A1C47}/SmartContent/L/%Photo%/I",
                         false, "<untouched>", true},
        SmartContentCase{"OrdinaryPath", "/home/user/IMG.JPG", false, "<untouched>", true},
        SmartContentCase{"Empty", "", false, "<untouched>", true},
        // Recognised as they stand: the join under the destination refuses what climbs.
        SmartContentCase{"ClimbingPartsAreKept", kPrefix + "/Lib/%Photo%/../../x", true, "/Lib/../../x", true}),
    [](const ::testing::TestParamInfo<SmartContentCase>& info) { return std::string(info.param.name); });

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

struct PlacementCase {
    const char* name;
    const char* linkName;
    std::vector<std::string> present;  // files already under the destination
    const char* expected;              // under the destination; nullptr when the image is refused
};

class Placement : public ::testing::TestWithParam<PlacementCase> {
protected:
    fcltest::ScratchDir scratch_{"fclphoto"};
    std::string dest_ = scratch_ / "dest";
};

TEST_P(Placement, TheImageLandsUnderTheDestination) {
    const PlacementCase& c = GetParam();
    for (const std::string& name : c.present) {
        const std::string path = dest_ + "/" + name;
        ASSERT_EQ(system(("mkdir -p '" + path.substr(0, path.rfind('/')) + "'").c_str()), 0);
        fcltest::writeFile(path, "present");
    }
    FclRestore job;
    job.getUnixCompanion()->IphotoCurrentLinkName = c.linkName;
    std::string out = "<untouched>";
    const CQiError error = job.TranslateIphotoPath(out, "/the/item/as/the/stream/names/it", dest_);
    if (c.expected == nullptr) {
        EXPECT_TRUE(error.IsError());
        EXPECT_EQ(out, "<untouched>");
    } else {
        EXPECT_FALSE(error.IsError()) << error.AsString();
        EXPECT_EQ(out, dest_ + "/" + c.expected);
        EXPECT_FALSE(exists(out));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Placement,
    ::testing::Values(
        PlacementCase{"FreeName", "/Lib/Album/IMG.JPG", {}, "Lib/Album/IMG.JPG"},
        PlacementCase{
            "TakenNameIsNumbered", "/Album/IMG.JPG", {"Album/IMG.JPG", "Album/IMG (1).JPG"}, "Album/IMG (2).JPG"},
        PlacementCase{
            "NumbersSkipNoFreeGap", "/Album/IMG.JPG", {"Album/IMG.JPG", "Album/IMG (2).JPG"}, "Album/IMG (1).JPG"},
        PlacementCase{"NameWithoutExtension", "/Album/IMG", {"Album/IMG"}, "Album/IMG (1)"},
        PlacementCase{"OnlyTheLastDotStartsTheExtension", "/Album/a.b.c", {"Album/a.b.c"}, "Album/a.b (1).c"},
        PlacementCase{"DirectoryOfTheNameIsTaken", "/Album", {"Album/x"}, "Album (1)"},
        PlacementCase{"DotComponentsAreDropped", "/./Album/./IMG.JPG", {}, "Album/IMG.JPG"},
        PlacementCase{"ClimbsOut", "/../../etc/passwd", {}, nullptr},
        PlacementCase{"ClimbsOutOfADeeperName", "/Lib/Album/../../../x.jpg", {}, nullptr},
        PlacementCase{"ClimbsAndComesBack", "/Lib/../Lib/x.jpg", {}, nullptr},
        PlacementCase{"NameIsTheParent", "/..", {}, nullptr}, PlacementCase{"NoName", "/", {}, nullptr},
        PlacementCase{"NoLinkName", "", {}, nullptr}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) { return std::string(info.param.name); });

TEST(PhotoPlacement, ALinkNameWithoutTheLeadingSeparatorStillLandsBeneath) {
    fcltest::ScratchDir scratch("fclphoto");
    FclRestore job;
    job.getUnixCompanion()->IphotoCurrentLinkName = "Album/IMG.JPG";
    std::string out;
    ASSERT_FALSE(job.TranslateIphotoPath(out, "", scratch.path()).IsError());
    EXPECT_EQ(out, scratch / "Album/IMG.JPG");
}

TEST(PhotoPlacement, WithoutADestinationNothingIsJoined) {
    FclRestore job;
    job.getUnixCompanion()->IphotoCurrentLinkName = "/Album/IMG.JPG";
    std::string out = "<untouched>";
    wzlog::ScopedCapture capture;
    EXPECT_TRUE(job.TranslateIphotoPath(out, "", "").IsError());
    EXPECT_EQ(out, "<untouched>");
    EXPECT_TRUE(capture->contains("No destination directory to put photo-library image [/Album/IMG.JPG] under"));
}

TEST(PhotoPlacement, NotSetIsReportedAsSuch) {
    FclRestore job;
    std::string out;
    const CQiError error = job.TranslateIphotoPath(out, "", "/r");
    EXPECT_EQ(FXErrorUtil::GetCode(error), 1627);
    EXPECT_EQ(FXErrorUtil::GetMessage(error), "IphotoCurrentLinkName not set");
}

}  // namespace
