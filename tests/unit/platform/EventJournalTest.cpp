// Raised events and other recorded calls become one journal line each, in memory and in <results>/journal.log.
#include <sys/stat.h>

#include <sstream>

#include "platform/events/EvDebug.h"
#include "platform/restorefiles/WZRestoreFiles.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace {

class EventJournal : public fcltest::PlatformFixture {
protected:
    std::vector<std::string> fileLines() {
        std::istringstream in(fcltest::readFile(scratch_ / "results/journal.log"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
};

TEST_F(EventJournal, EachRaisedEventIsOneLineNamingItsSeverityIdAndArguments) {
    EvEvent event;
    event.setJobId(99);
    event << "/dest/file"
          << "host1";
    event.CriticalEvent(0x17000046, 0, 0);
    event << 12;
    event.MinorEvent(0x18000032);
    std::vector<std::string> lines = wzplatform::journalLines("EvEvent");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "CriticalEvent 0x17000046 job 99 param 0 flags 0 args [text \"/dest/file\", text \"host1\"]");
    EXPECT_EQ(lines[1], "MinorEvent 0x18000032 job 99 param 0 flags 0 args [int 12]");
    std::vector<std::string> file = fileLines();
    ASSERT_EQ(file.size(), 2u);
    EXPECT_NE(file[0].find("\tEvEvent\tCriticalEvent 0x17000046 job 99"), std::string::npos) << file[0];
}

TEST_F(EventJournal, ControlCharactersCannotSplitOrForgeALine) {
    wzplatform::journal("Test", "first\nEvEvent\tforged\\");
    std::vector<std::string> file = fileLines();
    ASSERT_EQ(file.size(), 1u);
    EXPECT_NE(file[0].find("\tTest\tfirst\\nEvEvent\\tforged\\\\"), std::string::npos) << file[0];
    EXPECT_EQ(wzplatform::journalEntries().back().line, "first\nEvEvent\tforged\\");
}

TEST_F(EventJournal, UnwritableJournalIsLoggedAndKeptInMemory) {
    ASSERT_EQ(mkdir((wzplatform::resultsDirectory() + "/journal.log").c_str(), 0755), 0);  // in the file's way
    wzlog::ScopedCapture capture;
    wzplatform::journal("Test", "kept");
    EXPECT_TRUE(capture->contains("Cannot append to the job journal"));
    EXPECT_EQ(wzplatform::journalLines("Test"), std::vector<std::string>{"kept"});
}

TEST_F(EventJournal, DebugLinesAreWrittenWhateverTheLevel) {
    wzlog::ScopedCapture capture(-1);
    EvEvent event;
    EvDebug::Debug(&event, "FsRestoreRestart::init", "Error [%lx] when obtaining filesystem agent directory", 0x2aUL);
    EvDebug::Debug(nullptr, "EnableRestoreOptimization", "Seek optimization is disabled");
    std::vector<wzlog::CaptureLogWriter::Line> lines = capture->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].function, "FsRestoreRestart::init");
    EXPECT_EQ(lines[0].text, "Error [2a] when obtaining filesystem agent directory");
    EXPECT_EQ(lines[1].function, "EnableRestoreOptimization");
}

TEST_F(EventJournal, RestoreFilesFinalizeIsRecordedWithItsUnregisterChoice) {
    WZRestoreFiles files;
    EXPECT_EQ(files.finalize(0, 0x10), 1);
    files.SetDoNotUnRegisterJob();
    EXPECT_EQ(files.finalize(1, 0, false), 1);
    std::vector<std::string> lines = wzplatform::journalLines("WZRestoreFiles");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "finalize status 0 options 0x10 flag true unregister job yes");
    EXPECT_EQ(lines[1], "finalize status 1 options 0x0 flag false unregister job no");
}

}  // namespace
