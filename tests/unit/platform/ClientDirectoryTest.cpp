// The client directory: clients held in memory come first, then the client lines of the settings file; a line that
// does not read as a client is skipped, and an unknown client leaves the caller's variable as it was.
#include <cerrno>
#include <string>

#include "platform/clients/ClientDirectory.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace {

class ClientDirectory : public fcltest::PlatformFixture {
protected:
    ClientDirectory() { wzclients::clearClients(); }
    ~ClientDirectory() override { wzclients::clearClients(); }
};

struct LineCase {
    const char* name;
    const char* line;
    bool read;  // the line is a client: id 7, GUID "g7"
    int osId;
    bool nas;
    bool referenceCopy;
    const char* cifsPath;
};

class ClientLines : public ClientDirectory, public ::testing::WithParamInterface<LineCase> {};

TEST_P(ClientLines, AreReadOrSkipped) {
    const LineCase& c = GetParam();
    writeSettings(std::string("[ClientDirectory]\nclient = ") + c.line + "\n");
    WZClient client(std::string("g7"), WZ_NAME_GUID, 0, nullptr);
    int osId = -1;
    bool nas = false;
    bool referenceCopy = false;
    std::string cifs = "before";
    EXPECT_EQ(client.getOperatingSystemId(osId, nullptr), c.read ? 0 : ENOENT);
    EXPECT_EQ(osId, c.read ? c.osId : -1);
    client.isNASClient(nas, nullptr);
    client.isReferenceCopyClient(referenceCopy, nullptr);
    ApplicationTypeFS(7, 33).getCeleraCIFSpath(cifs, nullptr);
    EXPECT_EQ(nas, c.nas);
    EXPECT_EQ(referenceCopy, c.referenceCopy);
    EXPECT_EQ(cifs, c.cifsPath);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ClientLines,
    ::testing::Values(LineCase{"Plain", "7,seven,g7,20,,", true, 20, false, false, ""},
                      LineCase{"Flags", "7,seven,g7,16,nas+refcopy,", true, 16, true, true, ""},
                      LineCase{"CifsPath", "7,seven,g7,17,,\\\\host\\share", true, 17, false, false, "\\\\host\\share"},
                      LineCase{"UnknownFlag", "7,seven,g7,20,nas+tape,", false, 0, false, false, "before"},
                      LineCase{"TooFewFields", "7,seven,g7,20,", false, 0, false, false, "before"},
                      LineCase{"TooManyFields", "7,seven,g7,20,,,", false, 0, false, false, "before"},
                      LineCase{"IdNotANumber", "seven,seven,g7,20,,", false, 0, false, false, "before"},
                      LineCase{"OsIdOutOfRange", "7,seven,g7,4294967296,,", false, 0, false, false, "before"}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST_F(ClientDirectory, MemoryComesBeforeTheSettingsAndEmptyNamesFindNothing) {
    writeSettings("[ClientDirectory]\nclient = 1,one,g1,20,,\nclient = 2,two,g2,16,,\n");
    wzclients::addClient({1, "uno", "g1", 201, false, false, ""});
    std::string name;
    EXPECT_EQ(WZClient(std::string("g1"), WZ_NAME_GUID, 0, nullptr).getShortName(name, nullptr), 0);
    EXPECT_EQ(name, "uno");
    int osId = 0;
    EXPECT_EQ(WZClient(2).getOperatingSystemId(osId, nullptr), 0);
    EXPECT_EQ(osId, 16);

    // A client entered without a GUID is not found by the empty one.
    wzclients::addClient({3, "three", "", 20, false, true, ""});
    EXPECT_EQ(WZClient(std::string(), WZ_NAME_GUID, 0, nullptr).getShortName(name, nullptr), ENOENT);
    bool referenceCopy = false;
    EXPECT_EQ(WZClient(std::string(), true, 0).isReferenceCopyClient(referenceCopy, nullptr), ENOENT);
    EXPECT_EQ(WZClient(std::string("three"), true, 0).isReferenceCopyClient(referenceCopy, nullptr), 0);
    EXPECT_TRUE(referenceCopy);
}

}  // namespace
