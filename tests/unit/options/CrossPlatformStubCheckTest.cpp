// Whether a job checks for stubs of another platform, and what stub the source writes: decided once, from the
// setting, the second init record and the two clients' operating systems.
#include <string>

#include "tests/unit/options/ClientDirectoryFixture.h"

namespace {

const unsigned long kDest = 100;  // a Linux client, the destination of every case
const unsigned long kLinux = 2;
const unsigned long kUnix = 3;
const unsigned long kBluearc = 4;
const unsigned long kNas = 5;
const unsigned long kCelerraCifs = 6;
const unsigned long kCelerraNoCifs = 7;
const unsigned long kOtherNas = 8;
const unsigned long kWindows = 9;
const unsigned long kUnknown = 77;  // not in the directory

struct StubCase {
    const char* name;
    const char* settings;
    bool ver2;             // the job has its second init record
    unsigned long source;  // its source client id
    bool initData;         // the job has its first init record
    bool aclOnly;
    bool check;
    _StubType type;
    const char* line;  // logged at level 0
};

class StubCheck : public fcltest::ClientDirectoryFixture, public ::testing::WithParamInterface<StubCase> {
protected:
    StubCheck() {
        addClients({{kDest, "dest", "", 20, false, false, ""},
                    {kLinux, "linux", "", 20, false, false, ""},
                    {kUnix, "aix", "", 201, false, false, ""},
                    {kBluearc, "bluearc", "", 29, true, false, ""},
                    {kNas, "nas", "", 16, false, false, ""},
                    {kCelerraCifs, "celerra", "", 17, false, false, "\\\\celerra\\share"},
                    {kCelerraNoCifs, "dmnas", "", 17, false, false, ""},
                    {kOtherNas, "filer", "", 300, true, false, ""},
                    {kWindows, "windows", "", 1, false, false, ""}});
    }
};

TEST_P(StubCheck, DecidesAsTheSourceClientSays) {
    const StubCase& c = GetParam();
    writeSettings(c.settings);
    if (c.initData) {
        job_._initData = new FSRInitData();
        job_._initData->jobId = 31;
    }
    if (c.ver2) {
        FSRInitDataVer2 record;
        record.srcClientId = c.source;
        record.dstClientId = kDest;
        ASSERT_TRUE(job_.OnMsgInitDataVer2(&record));
    }
    companion()._aclOnly = c.aclOnly;

    EXPECT_EQ(job_.IsDoCrossPlatformStubCheck(), c.check);
    EXPECT_EQ(job_.GetSourceStubType(), static_cast<int>(c.type));
    EXPECT_TRUE(capture_->contains(c.line)) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Sources, StubCheck,
    ::testing::Values(
        StubCase{"DisabledBySetting", "[FileSystemAgent]\nnDisableCrossPlatformStubRestoreCheck = 1\n", true, kWindows,
                 true, false, false, STUB_TYPE_UNKNOWN, "Cross platform stub check is disabled via regkey"},
        StubCase{"SettingOfZeroLeavesItOn", "[FileSystemAgent]\nnDisableCrossPlatformStubRestoreCheck = 0\n", true,
                 kWindows, true, false, true, STUB_TYPE_WIN_REPARSE_POINT, "Source client is Windows"},
        StubCase{"NoSecondInitRecord", "", false, 0, true, false, false, STUB_TYPE_UNKNOWN,
                 "Cross platform stub check is disabled. No restore init data v2 found"},
        StubCase{"NoSourceAndNoInitRecord", "", true, 0, false, false, false, STUB_TYPE_UNKNOWN,
                 "Cross platform stub check is disabled. No restore init data found"},
        StubCase{"SourceFromTheRestoreTask", "[RestoreTask]\nsourceClientId = 9\n", true, 0, true, false, true,
                 STUB_TYPE_WIN_REPARSE_POINT,
                 "Source Client Id=[9], Destination Client Id=[100], SrcOSID=[1], DestOSID=[20]"},
        StubCase{"SameMachine", "", true, kDest, true, false, false, STUB_TYPE_UNKNOWN,
                 "Same machine restore. Cross platform stub check will not be done"},
        StubCase{"SameOperatingSystem", "", true, kLinux, true, false, false, STUB_TYPE_UNKNOWN,
                 "Source and Destination os id 20 is same. Stub conversion check will not be done"},
        StubCase{"Unix", "", true, kUnix, true, false, true, STUB_TYPE_UNIX, "Source client is Unix"},
        StubCase{"Bluearc", "", true, kBluearc, true, false, true, STUB_TYPE_NAS, "Source client is Bluearc"},
        StubCase{"Nas", "", true, kNas, true, false, true, STUB_TYPE_NAS, "Source client is NAS"},
        StubCase{"CelerraWithCifsPath", "", true, kCelerraCifs, true, false, true, STUB_TYPE_CELERRA,
                 "Source client is Celerra"},
        StubCase{"CelerraWithoutCifsPath", "", true, kCelerraNoCifs, true, false, true, STUB_TYPE_NAS,
                 "Source client is Celerra DMNas"},
        StubCase{"OtherNasClient", "", true, kOtherNas, true, false, true, STUB_TYPE_NAS, "Source client is NAS"},
        StubCase{"Windows", "", true, kWindows, true, false, true, STUB_TYPE_WIN_REPARSE_POINT,
                 "Source client is Windows"},
        // A source the directory does not know has the operating system 0, which is not the destination's.
        StubCase{"UnknownSource", "", true, kUnknown, true, false, true, STUB_TYPE_WIN_REPARSE_POINT,
                 "SrcOSID=[0], DestOSID=[20]"},
        // An ACL-only job writes no data, so no stub: the type is still decided.
        StubCase{"AclOnly", "", true, kWindows, true, true, false, STUB_TYPE_WIN_REPARSE_POINT,
                 "Source client is Windows"}),
    [](const ::testing::TestParamInfo<StubCase>& info) { return std::string(info.param.name); });

class StubCheckOnce : public StubCheck {};

TEST_F(StubCheckOnce, DisabledBySettingAsksNoClient) {
    writeSettings("[FileSystemAgent]\nnDisableCrossPlatformStubRestoreCheck = 1\n");
    FSRInitDataVer2 record;
    record.srcClientId = kWindows;
    record.dstClientId = kDest;
    ASSERT_TRUE(job_.OnMsgInitDataVer2(&record));
    EXPECT_FALSE(job_.IsDoCrossPlatformStubCheck());
    EXPECT_EQ(job_.GetSourceStubType(), 0);
    EXPECT_EQ(wzclients::lookupCount(), 0u);
}

TEST_F(StubCheckOnce, LaterChangesDoNotReopenTheDecision) {
    FSRInitDataVer2 record;
    record.srcClientId = kWindows;
    record.dstClientId = kDest;
    ASSERT_TRUE(job_.OnMsgInitDataVer2(&record));
    EXPECT_EQ(job_.GetSourceStubType(), STUB_TYPE_WIN_REPARSE_POINT);
    const size_t lookups = wzclients::lookupCount();

    // The setting, the client and the record all change; the job keeps what it decided.
    writeSettings("[FileSystemAgent]\nnDisableCrossPlatformStubRestoreCheck = 1\n");
    addClients({{kWindows, "windows", "", 201, false, false, ""}});
    job_._initDataVer2->srcClientId = kDest;
    capture_->clear();
    EXPECT_TRUE(job_.IsDoCrossPlatformStubCheck());
    EXPECT_EQ(job_.GetSourceStubType(), STUB_TYPE_WIN_REPARSE_POINT);
    EXPECT_EQ(wzclients::lookupCount(), lookups);
    EXPECT_TRUE(capture_->lines().empty());

    // The Windows-file object narrows the type afterwards.
    job_.SetSourceStubType(STUB_TYPE_WIN_DATA_STREAM);
    EXPECT_EQ(job_.GetSourceStubType(), STUB_TYPE_WIN_DATA_STREAM);
}

TEST_F(StubCheckOnce, OnlyTheUnixOperatingSystemsCountAsUnix) {
    const int unix[] = {6, 7, 14, 15, 20, 33, 61, 68, 83, 85, 92, 95, 98, 100, 115, 201, 207};
    const int other[] = {0, 1, 5, 8, 13, 21, 34, 62, 67, 84, 93, 94, 99, 116, 200, 208};
    struct Row {
        int osId;
        _StubType type;
    };
    std::vector<Row> rows;
    for (int id : unix) {
        rows.push_back({id, STUB_TYPE_UNIX});
    }
    for (int id : other) {
        rows.push_back({id, STUB_TYPE_WIN_REPARSE_POINT});
    }
    for (const Row& row : rows) {
        wzclients::clearClients();
        addClients({{1, "source", "", row.osId, false, false, ""}, {2, "dest", "", 1000, false, false, ""}});
        FclRestore job;
        FSRInitDataVer2 record;
        record.srcClientId = 1;
        record.dstClientId = 2;
        ASSERT_TRUE(job.OnMsgInitDataVer2(&record));
        EXPECT_EQ(job.GetSourceStubType(), row.type) << "operating system " << row.osId;
    }
}

}  // namespace
