// The focus on the installation instance and the clients known by host name.
#include <cerrno>

#include "platform/settings/WZPlatformAgents.h"
#include "platform/settings/WZPlatformInfo.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace {

class SettingsFocus : public fcltest::PlatformFixture {};

TEST_F(SettingsFocus, OnlyTheInstalledInstanceTakesTheFocus) {
    WZPlatformInfo info;
    EXPECT_TRUE(info.setFocus(WZPI_Focus::getFocus()));
    EXPECT_EQ(info.getLastError(), 0u);
    for (const char* other : {"", "Instance002"}) {
        EXPECT_FALSE(info.setFocus(other)) << other;
        EXPECT_EQ(info.getLastError(), static_cast<unsigned long>(ENOENT));
    }
    WZPlatformInfo::focusFaults().failNext(1);
    EXPECT_FALSE(info.setFocus(WZPI_Focus::getFocus()));
    EXPECT_TRUE(info.setFocus(WZPI_Focus::getFocus()));
}

TEST_F(SettingsFocus, HostNamesNameTheirClientsOrNone) {
    writeSettings("[Base]\nsClientName = this-client\n[ClientHostNames]\nnode-7.example = client-b\nbare = \n");
    const struct {
        const char* host;
        const char* client;
    } cases[] = {
        {"node-7.example", "client-b"},
        {"localhost", "this-client"},
        {"node-7", ""},
        {"bare", ""},
        {"", ""},
        {"elsewhere", ""},
    };
    WZPlatformInfo info;
    ASSERT_TRUE(info.setFocus(WZPI_Focus::getFocus()));
    for (const auto& c : cases) {
        EXPECT_EQ(info.getClientNameFromHostName(c.host), c.client) << c.host;
    }
}

}  // namespace
