// Photo-library images restored by a real job: each image lands under the destination by the link name its
// pre-header gives, numbered when the name is taken, and each further name of it is a copy under the next free name.
// A name that climbs fails as an item of its own and nothing is written outside the destination; the job goes on.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/archive/ArchiveFormat.h"
#include "protocol/FSRPreHeader.h"
#include "tests/common/ArchiveBuilder.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

using fcltest::ArchiveBuilder;
using fcltest::ItemHeader;

const std::string kSmartContent = "/{20d03aa2-7726-42d8-8381-fdda7a8a1c47}/SmartContent";
const std::string kPhotos = kSmartContent + "/Library/%Photo%";

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct Image {
    std::string name;                  // below the photo part; its first name
    std::vector<std::string> further;  // its further names
};

struct Landing {
    std::string path;  // under the destination
    size_t image;      // whose content it holds
};

struct PhotoCase {
    const char* name;
    std::vector<std::string> present;  // files under the destination before the job
    std::vector<Image> images;
    std::vector<Landing> landings;
    std::vector<std::string> refused;   // names (below the photo part) that fail
    std::vector<std::string> uncopied;  // further names placed (under the destination) whose copy was not made
};

std::string contentOf(size_t image) {
    return "image " + std::to_string(image) + " " + std::string(100 * (image + 1), 'p');
}

class PhotoLibrary : public EndToEnd, public ::testing::WithParamInterface<PhotoCase> {};

TEST_P(PhotoLibrary, ImagesAndTheirFurtherNamesLandWhereTheirNamesSay) {
    const PhotoCase& c = GetParam();
    for (const std::string& name : c.present) {
        const std::string path = dest() + "/" + name;
        ASSERT_EQ(system(("mkdir -p '" + path.substr(0, path.rfind('/')) + "'").c_str()), 0);
        fcltest::writeFile(path, "present");
    }
    {
        ArchiveBuilder stream(media());
        for (size_t i = 0; i < c.images.size(); ++i) {
            const Image& image = c.images[i];
            const std::string first = kPhotos + image.name;
            stream.preHeader(FSR_PREHDR_FIRST_NAME, first);
            stream.header(ItemHeader::file(first, contentOf(i).size()));
            stream.data(contentOf(i)).end();
            for (const std::string& name : image.further) {
                stream.indexLine(stream.offset(), fclarchive::kKindFile, kPhotos + name);
                stream.preHeader(0, kPhotos + name);
            }
        }
        // An ordinary item after the photos: the job goes on past a refused name.
        stream.file(source("after"), "after\n");
        stream.finish();
    }
    const fcltest::ProgramRun run = restore({"--path", kSmartContent, "--path", source()});
    const size_t failed = c.refused.size() + c.uncopied.size();
    EXPECT_EQ(run.status, failed == 0 ? 0 : 1) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), std::to_string(failed)) << run.out;
    for (const Landing& landing : c.landings) {
        EXPECT_EQ(fcltest::readFile(dest() + "/" + landing.path), contentOf(landing.image)) << landing.path;
    }
    for (const std::string& name : c.present) {
        EXPECT_EQ(fcltest::readFile(dest() + "/" + name), "present") << name;
    }
    for (const std::string& name : c.refused) {
        EXPECT_TRUE(contains(run.err, "not restored: " + kPhotos + name)) << name << "\n" << run.err;
    }
    for (const std::string& name : c.uncopied) {
        EXPECT_TRUE(contains(run.err, "not restored: " + dest() + "/" + name)) << name << "\n" << run.err;
        EXPECT_FALSE(exists(dest() + "/" + name)) << name;
    }
    EXPECT_EQ(fcltest::readFile(restored("after")), "after\n");
    // Where the hostile names would have put their images.
    EXPECT_FALSE(exists(beside("escaped.jpg")));
    EXPECT_FALSE(exists(beside("src/escaped.jpg")));
    EXPECT_FALSE(exists("/tmp/escaped.jpg"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, PhotoLibrary,
    ::testing::Values(
        PhotoCase{"ImageByItsLinkName", {}, {{"/Album/IMG.JPG", {}}}, {{"Library/Album/IMG.JPG", 0}}, {}, {}},
        PhotoCase{"TakenNamesAreNumbered",
                  {"Library/Album/IMG.JPG", "Library/Album/IMG (1).JPG"},
                  {{"/Album/IMG.JPG", {}}},
                  {{"Library/Album/IMG (2).JPG", 0}},
                  {},
                  {}},
        PhotoCase{"FurtherNamesAreCopies",
                  {},
                  {{"/Album/IMG.JPG", {"/Faces/Ann.JPG", "/Album/IMG.JPG", "/Album/IMG.JPG"}}},
                  {{"Library/Album/IMG.JPG", 0},
                   {"Library/Faces/Ann.JPG", 0},
                   {"Library/Album/IMG (1).JPG", 0},
                   {"Library/Album/IMG (2).JPG", 0}},
                  {},
                  {}},
        PhotoCase{"EachImageHasItsOwnCopies",
                  {},
                  {{"/A/one.jpg", {"/B/one.jpg"}}, {"/A/two", {"/A/two"}}, {"/A/x.y.z", {"/A/x.y.z"}}},
                  {{"Library/A/one.jpg", 0},
                   {"Library/B/one.jpg", 0},
                   {"Library/A/two", 1},
                   {"Library/A/two (1)", 1},
                   {"Library/A/x.y.z", 2},
                   {"Library/A/x.y (1).z", 2}},
                  {},
                  {}},
        // Hostile names: none lands outside the destination, and each fails alone.
        PhotoCase{"ImageNameClimbsOut",
                  {},
                  {{"/../../../escaped.jpg", {}}, {"/Album/good.jpg", {}}},
                  {{"Library/Album/good.jpg", 1}},
                  {"/../../../escaped.jpg"},
                  {}},
        PhotoCase{"FurtherNameClimbsOut",
                  {},
                  {{"/Album/IMG.JPG", {"/../../../escaped.jpg", "/Album/../../../../src/escaped.jpg", "/Faces/b.jpg"}}},
                  {{"Library/Album/IMG.JPG", 0}, {"Library/Faces/b.jpg", 0}},
                  {"/../../../escaped.jpg", "/Album/../../../../src/escaped.jpg"},
                  {}},
        PhotoCase{"AbsoluteLookingNamesStayBeneath",
                  {},
                  {{"//tmp/escaped.jpg", {"///tmp//escaped.jpg"}}},
                  {{"Library/tmp/escaped.jpg", 0}, {"Library/tmp/escaped (1).jpg", 0}},
                  {},
                  {}},
        // With its image refused there is nothing to copy: the further name fails too, never counted as restored.
        PhotoCase{"FurtherNameOfARefusedImage",
                  {},
                  {{"/a/../../../escaped.jpg", {"/Album/copy.jpg"}}},
                  {},
                  {"/a/../../../escaped.jpg"},
                  {"Library/Album/copy.jpg"}}),
    [](const ::testing::TestParamInfo<PhotoCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
