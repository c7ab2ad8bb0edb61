// The settings file the host writes for a job, read back as the job reads it.
#include <gtest/gtest.h>

#include "platform/settings/IniDocument.h"
#include "platform/settings/SettingsFile.h"
#include "platform/tasks/EvTask.h"
#include "tests/common/TestSupport.h"
#include "tools/fcl-restore/HostSettings.h"

namespace {

using fclhost::SettingsChoice;

wzsettings::IniDocument composed(const SettingsChoice& choice) {
    std::string text, why;
    EXPECT_TRUE(fclhost::composeSettings(choice, &text, &why)) << why;
    return wzsettings::IniDocument::parse(text);
}

std::string valueOf(const wzsettings::IniDocument& document, const char* section, const char* key) {
    const std::string* value = document.find(section, key);
    return value != nullptr ? *value : "(absent)";
}

// What a plain restore needs, as tar -x and rsync -a do it: holes, FIFOs and device nodes, and, for a user who is
// not root, the items of other owners restored as the user's.
TEST(HostSettings, TheDefaultsRestoreEverythingAPlainRestoreExpects) {
    struct Case {
        bool asRoot;
        const char* ignoreChownErrors;
    };
    for (const Case& c : {Case{true, "(absent)"}, Case{false, "2"}}) {
        SettingsChoice choice;
        choice.asRoot = c.asRoot;
        wzsettings::IniDocument document = composed(choice);
        EXPECT_EQ(valueOf(document, "FileSystemAgent", "isRestoreAsSparseFile"), "y");
        EXPECT_EQ(valueOf(document, "FileSystemAgent", "nCreateRawDeviceOnRestore"), "1");
        EXPECT_EQ(valueOf(document, "FileSystemAgent", "ignoreChownErrors"), c.ignoreChownErrors) << c.asRoot;
        EXPECT_EQ(valueOf(document, "FileSystemAgent", "nRestoreSockets"), "(absent)");
        EXPECT_EQ(valueOf(document, "JobOptions", "xml"), "<TMMsg_JobOption/>");
        EXPECT_EQ(valueOf(document, "GlobalParams", "UpdateRecoverySec.29"), "1");
        EXPECT_EQ(valueOf(document, "TaskOptions", "1"), "(absent)");
    }
}

TEST(HostSettings, NoSparseWritesHolesAsZeros) {
    SettingsChoice choice;
    choice.noSparse = true;
    wzsettings::IniDocument document = composed(choice);
    EXPECT_EQ(valueOf(document, "FileSystemAgent", "isRestoreAsSparseFile"), "n");
    EXPECT_EQ(valueOf(document, "JobOptions", "xml"), "<TMMsg_JobOption/>");
}

TEST(HostSettings, AMappingFileIsTaskOptionOne) {
    SettingsChoice choice;
    choice.mapFile = "/maps/my map.txt";
    EXPECT_EQ(valueOf(composed(choice), "TaskOptions", "1"), "/maps/my map.txt");
}

// A settings file adds to the defaults key by key: what it names wins, what it does not name keeps the default, and
// the command line wins over both.
TEST(HostSettings, TheUsersFileAddsToTheDefaultsAndTheCommandLineWins) {
    fcltest::ScratchDir scratch("hostsettings");
    fcltest::writeFile(scratch / "user.ini",
                       "nTopLevel = 3\n[FileSystemAgent]\nnCreateRawDeviceOnRestore = 0\nnSeekMarkerBatchSize = 17\n"
                       "[TaskOptions]\n1 = /old/map");
    SettingsChoice choice;
    choice.userFile = scratch / "user.ini";
    choice.asRoot = false;
    wzsettings::IniDocument plain = composed(choice);
    EXPECT_EQ(valueOf(plain, "", "nTopLevel"), "3") << "a key before any section stays in none";
    EXPECT_EQ(valueOf(plain, "FileSystemAgent", "nSeekMarkerBatchSize"), "17");
    EXPECT_EQ(valueOf(plain, "FileSystemAgent", "nCreateRawDeviceOnRestore"), "0") << "the file's own value";
    EXPECT_EQ(valueOf(plain, "FileSystemAgent", "isRestoreAsSparseFile"), "y") << "a default the file leaves";
    EXPECT_EQ(valueOf(plain, "FileSystemAgent", "ignoreChownErrors"), "2");
    EXPECT_EQ(valueOf(plain, "JobOptions", "xml"), "<TMMsg_JobOption/>");
    EXPECT_EQ(valueOf(plain, "TaskOptions", "1"), "/old/map");

    fcltest::writeFile(scratch / "sparse.ini", "[FileSystemAgent]\nisRestoreAsSparseFile = y\n");
    choice.userFile = scratch / "sparse.ini";
    choice.noSparse = true;
    choice.mapFile = "/new/map";
    wzsettings::IniDocument overridden = composed(choice);
    EXPECT_EQ(valueOf(overridden, "FileSystemAgent", "isRestoreAsSparseFile"), "n");
    EXPECT_EQ(valueOf(overridden, "FileSystemAgent", "nCreateRawDeviceOnRestore"), "1");
    EXPECT_EQ(valueOf(overridden, "TaskOptions", "1"), "/new/map");
}

// What the engine reads of the restore task's "overwriteFiles" option from a settings file.
std::string overwriteFilesIn(const std::string& settingsFile) {
    wzplatform::setSettingsFile(settingsFile);
    bool value = false;
    const bool read = EvRstTask(1, 0, nullptr, false).getOptionBool(0x67d7f74f, value) == 0;
    wzplatform::setSettingsFile("");
    return !read ? "(absent)" : value ? "true" : "false";
}

TEST(HostSettings, TheOverwriteChoiceWinsOverTheUsersFileAndALaterChoiceOverBoth) {
    fcltest::ScratchDir scratch("hostsettings");
    fcltest::writeFile(scratch / "user.ini", "[RestoreTask]\n0x67d7f74f = true\n");
    for (const bool userFile : {false, true}) {
        for (const bool overwrite : {false, true}) {
            SCOPED_TRACE(std::string(userFile ? "user file" : "defaults") + (overwrite ? ", overwrite" : ""));
            SettingsChoice choice;
            choice.userFile = userFile ? scratch / "user.ini" : "";
            choice.overwrite = overwrite;
            std::string text, why;
            ASSERT_TRUE(fclhost::composeSettings(choice, &text, &why)) << why;
            const std::string settings = scratch / "settings.ini";
            fcltest::writeFile(settings, text);
            EXPECT_EQ(overwriteFilesIn(settings), overwrite ? "true" : "false");
            ASSERT_TRUE(fclhost::appendOverwriteChoice(settings, !overwrite, &why)) << why;
            EXPECT_EQ(overwriteFilesIn(settings), overwrite ? "false" : "true") << "the choice made later";
        }
    }
    std::string why;
    EXPECT_FALSE(fclhost::appendOverwriteChoice(scratch / "none.ini", true, &why));
    EXPECT_NE(why.find("none.ini"), std::string::npos) << why;
}

TEST(HostSettings, RefusesWhatCannotBeUsed) {
    fcltest::ScratchDir scratch("hostsettings");
    std::string text, why;
    SettingsChoice missing;
    missing.userFile = scratch / "none.ini";
    EXPECT_FALSE(fclhost::composeSettings(missing, &text, &why));
    EXPECT_NE(why.find("none.ini"), std::string::npos) << why;

    SettingsChoice directory;
    directory.userFile = scratch.path();
    EXPECT_FALSE(fclhost::composeSettings(directory, &text, &why));

    for (const char* name : {"/a\nb", "/a\rb", " /lead", "/trail\t"}) {
        SettingsChoice map;
        map.mapFile = name;
        why.clear();
        EXPECT_FALSE(fclhost::composeSettings(map, &text, &why)) << name;
        EXPECT_NE(why.find("mapping file"), std::string::npos) << why;
    }
}

}  // namespace
