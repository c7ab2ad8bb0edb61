// The AppleDouble companion path: "._" before the item's name, in the item's directory, and never longer than its
// buffer.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/files/DfmfName.h"

namespace {

TEST(DfmfName, CompanionSitsBesideTheItem) {
    const struct {
        std::string path;
        std::string companion;
        int err;
    } cases[] = {
        {"/a/b/file", "/a/b/._file", 0},
        {"file", "._file", 0},
        {"/file", "/._file", 0},
        {"/dir/", "", EINVAL},
        {"", "", EINVAL},
        {"/" + std::string(WZ_DFMF_NAME_MAX - 4, 'x'), "/._" + std::string(WZ_DFMF_NAME_MAX - 4, 'x'), 0},
        {"/" + std::string(WZ_DFMF_NAME_MAX - 3, 'x'), "", ENAMETOOLONG},
    };
    for (const auto& c : cases) {
        char out[WZ_DFMF_NAME_MAX];
        errno = 0;
        const int result = WZ_DFMF_NAME(c.path.c_str(), out);
        EXPECT_EQ(result, c.err == 0 ? 0 : -1) << c.path.size();
        EXPECT_EQ(std::string(out), c.companion) << c.path.size();
        if (c.err != 0) {
            EXPECT_EQ(errno, c.err);
        }
    }
}

}  // namespace
