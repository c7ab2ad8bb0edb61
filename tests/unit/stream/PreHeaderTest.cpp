// Each flag of a pre-header has its effect on the item that follows, and a name longer than the record holds fails
// its item instead of being cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "platform/support/ByteOrder.h"
#include "protocol/PipelineBuffer.h"
#include "tests/unit/stream/StreamFixture.h"

namespace {

using Calls = std::vector<std::string>;

class PreHeaders : public streamtest::StreamFixture {
public:
    using StreamFixture::job_;
    using StreamFixture::journal_;

    // A PL_FS_PREHDR as the reader hands it over: the record zeroed first.
    void preHeader(uint32_t flags, const std::string& name, uint32_t version = 0) {
        std::vector<unsigned char> buffer = streamtest::pipelineBuffer(sizeof(FSRPreHeader));
        unsigned char* payload = PipelineBufPayload(buffer.data());
        wzbytes::storeBE32(payload, flags);
        wzbytes::storeBE32(payload + 4, version);
        std::memcpy(payload + 8, name.data(), std::min(name.size(), FSR_PREHDR_NAME_SIZE));
        job_->initializePreHdr(&prehdr_);
        job_->OnBufferPlFsPreHdr(buffer.data(), &prehdr_);
        seen_ = prehdr_;
    }
    // The item that follows, under the pre-header just handled.
    void item(const std::string& name) {
        header(streamtest::hostHeader(name), &seen_);
        eof();
    }
    bool called(const std::string& call) const {
        return std::find(journal_.calls.begin(), journal_.calls.end(), call) != journal_.calls.end();
    }

    FSRPreHeader seen_{};
};

struct FlagCase {
    const char* what;
    std::function<void(PreHeaders&)> stream;
    std::function<void(PreHeaders&)> check;
};

TEST_F(PreHeaders, EachFlagHasItsEffect) {
    // Ended within its field, yet beyond what the record keeps.
    const std::string tooLong = "/src/" + std::string(FSR_PREHDR_NAME_MAX - 3, 'n');
    const std::vector<FlagCase> cases = {
        {"version given", [](PreHeaders& t) { t.preHeader(FSR_PREHDR_HAS_VERSION, "", 7), t.item("/src/a"); },
         [](PreHeaders& t) { EXPECT_TRUE(t.called("create /src/a v7")); }},
        {"version without its flag", [](PreHeaders& t) { t.preHeader(0, "", 7), t.item("/src/a"); },
         [](PreHeaders& t) { EXPECT_TRUE(t.called("create /src/a v0")); }},
        {"stub without data, for its item only",
         [](PreHeaders& t) {
             t.preHeader(FSR_PREHDR_STUB_NO_DATA | FSR_PREHDR_HARD_LINK | FSR_PREHDR_FIRST_NAME, "/src/s");
             EXPECT_TRUE(g_bStubWithNoData);
             t.item("/src/s");
         },
         [](PreHeaders& t) {
             EXPECT_FALSE(g_bStubWithNoData);
             EXPECT_TRUE(t.job_->previousName.empty()) << "no group for a stub without data";
         }},
        {"first name of a hard-link group",
         [](PreHeaders& t) { t.preHeader(FSR_PREHDR_FIRST_NAME | FSR_PREHDR_HARD_LINK, "/src/first/"); },
         [](PreHeaders& t) {
             EXPECT_EQ(t.job_->previousName, "/src/first");
             ASSERT_EQ(t.job_->realLinkPathsMap["/src/first"].size(), 1u);
             EXPECT_FALSE(t.job_->realLinkPathsMap["/src/first"][0].stubGroup);
             EXPECT_STREQ(t.seen_.linkName, "/src/first/") << "the record keeps the name as it came";
         }},
        {"further name with no group open", [](PreHeaders& t) { t.preHeader(FSR_PREHDR_HARD_LINK, "/src/other"); },
         [](PreHeaders& t) {
             EXPECT_TRUE(t.journal_.results.empty());
             EXPECT_TRUE(t.job_->realLinkPathsMap.empty());
         }},
        {"stub first name: the item takes the stub's name",
         [](PreHeaders& t) {
             t.preHeader(FSR_PREHDR_FIRST_NAME | FSR_PREHDR_STUB, "/src/stub");
             t.item("/src/placeholder");
         },
         [](PreHeaders& t) {
             EXPECT_TRUE(t.called("create /src/stub v0"));
             EXPECT_TRUE(t.job_->realLinkPathsMap["/src/stub"][0].stubGroup);
         }},
        {"stub with the hard-link flag but no first name is a copy, which needs its stub",
         [](PreHeaders& t) { t.preHeader(FSR_PREHDR_STUB | FSR_PREHDR_HARD_LINK, "/src/copy"); },
         [](PreHeaders& t) {
             EXPECT_TRUE(t.job_->realLinkPathsMap.empty());
             EXPECT_EQ(t.journal_.results, std::vector<std::string>{"/src/copy 0x17000017 DATA"});
         }},
        {"a first name longer than the record is refused, never cut; its item keeps the version",
         [tooLong](PreHeaders& t) {
             t.preHeader(FSR_PREHDR_HAS_VERSION | FSR_PREHDR_FIRST_NAME | FSR_PREHDR_HARD_LINK, tooLong, 5);
             t.item("/src/x");
         },
         [](PreHeaders& t) {
             EXPECT_TRUE(t.job_->realLinkPathsMap.empty());
             EXPECT_STREQ(t.seen_.linkName, "");
             EXPECT_EQ(t.seen_.version, 5u);
             EXPECT_TRUE(t.called("create /src/x v5"));
             // One line, the item's own: none for the refused name.
             EXPECT_EQ(t.journal_.results, std::vector<std::string>{"/dst/src/x 0x0 obj"});
         }},
        {"a further name longer than the record fails as an item of its own",
         [tooLong](PreHeaders& t) {
             t.preHeader(FSR_PREHDR_FIRST_NAME | FSR_PREHDR_HARD_LINK, "/src/first");
             t.preHeader(FSR_PREHDR_HARD_LINK, tooLong);
         },
         [tooLong](PreHeaders& t) {
             EXPECT_EQ(t.job_->realLinkPathsMap["/src/first"].size(), 1u);
             EXPECT_EQ(t.journal_.results, std::vector<std::string>{tooLong + " 0x1700002e DATA"});
         }},
        {"a stub without data keeps its flag when its name is refused",
         [tooLong](PreHeaders& t) { t.preHeader(FSR_PREHDR_STUB_NO_DATA, tooLong); },
         [](PreHeaders& t) {
             EXPECT_TRUE(g_bStubWithNoData);
             EXPECT_TRUE(t.journal_.results.empty());
             g_bStubWithNoData = false;
         }},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(c.what);
        journal_.calls.clear();
        journal_.results.clear();
        job_->realLinkPathsMap.clear();
        job_->previousName.clear();
        c.stream(*this);
        c.check(*this);
    }
}

}  // namespace
