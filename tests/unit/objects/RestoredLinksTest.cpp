// Links the job restored are never walked through by a later item: the registry answers for every spelling of a
// path beneath one, and for nothing else.
#include <gtest/gtest.h>

#include "clRestore/objects/ProcessRestoreState.h"

namespace {

TEST(RestoredLinks, AnswersForPathsBeneathALinkTheJobMade) {
    fclobjects::forgetRestoredLinks();
    EXPECT_FALSE(fclobjects::beneathRestoredLink("/d/l/f"));
    fclobjects::noteRestoredLink("/d//l/");
    const struct {
        const char* path;
        bool beneath;
    } cases[] = {
        {"/d/l/f", true}, {"//d//l//f/", true}, {"/d/l/x/y", true}, {"/d/l", false},
        {"/d/l/", false}, {"/d/lx/f", false},   {"/d/f", false},    {"/d", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fclobjects::beneathRestoredLink(c.path), c.beneath) << c.path;
    }
    // A job starts without the links of the one before.
    resetProcessRestoreState();
    EXPECT_FALSE(fclobjects::beneathRestoredLink("/d/l/f"));
}

}  // namespace
