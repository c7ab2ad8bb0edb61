// Task options and restore-task properties read from the settings file: present, absent, malformed, and bounded.
#include <cstring>

#include "platform/tasks/EvTask.h"
#include "platform/tasks/SchedularInterfaceNet.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace {

class TaskOptions : public fcltest::PlatformFixture {};

TEST_F(TaskOptions, BooleanOptionIsKeyedByCategoryAndId) {
    writeSettings("[TaskOptions]\n7.27 = true\n7.5 = false\n5.76 = maybe\n");
    SchedularInterfaceNet scheduler;
    struct Case {
        int category;
        int id;
        bool preset;
        bool answer;
        bool value;
    } cases[] = {
        {7, 27, false, true, true},   {7, 5, true, true, false},    {7, 49, true, false, true},
        {7, 49, false, false, false}, {27, 7, false, false, false}, {5, 76, true, false, true},
    };
    for (const Case& c : cases) {
        bool value = c.preset;
        EXPECT_EQ(scheduler.GetTaskOptionBoolean(1234, wzTaskOptions(c.category), value, c.id), c.answer)
            << c.category << "." << c.id;
        EXPECT_EQ(value, c.value) << c.category << "." << c.id;
        EXPECT_EQ(scheduler.getErrorCode() == 0, c.answer);
    }
}

TEST_F(TaskOptions, ErrorsAreClearedByTheNextSuccessfulRead) {
    writeSettings("[TaskOptions]\n7.27 = 1\n");
    SchedularInterfaceNet scheduler;
    EXPECT_EQ(scheduler.getErrorCode(), 0);
    bool value = false;
    EXPECT_FALSE(scheduler.GetTaskOptionBoolean(1, wzTaskOptions(7), value, 28));
    EXPECT_NE(scheduler.getErrorText().find("7.28"), std::string::npos);
    EXPECT_TRUE(scheduler.GetTaskOptionBoolean(1, wzTaskOptions(7), value, 27));
    EXPECT_EQ(scheduler.getErrorCode(), 0);
    EXPECT_EQ(scheduler.getErrorText(), "");
}

struct StringCase {
    const char* name;
    size_t textLength;
    unsigned long size;
    bool answer;
};
void PrintTo(const StringCase& c, std::ostream* os) {
    *os << c.name;
}

class TaskOptionString : public fcltest::PlatformFixture, public ::testing::WithParamInterface<StringCase> {};

// The buffer is larger than `size` and filled with a canary: nothing past `size` may change.
TEST_P(TaskOptionString, NeverWritesPastTheGivenSize) {
    const StringCase& c = GetParam();
    std::string text(c.textLength, 'm');
    writeSettings("[TaskOptions]\n1 = " + text + "\n");
    char buffer[64];
    memset(buffer, '#', sizeof buffer);
    SchedularInterfaceNet scheduler;
    EXPECT_EQ(scheduler.GetTaskOptionString(9, wzTaskOptions(1), buffer, c.size), c.answer);
    EXPECT_EQ(std::string(buffer), c.answer ? text : "");
    for (size_t i = c.size; i < sizeof buffer; ++i) {
        ASSERT_EQ(buffer[i], '#') << "byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Bounds, TaskOptionString,
                         ::testing::Values(StringCase{"fits", 10, 32, true}, StringCase{"exactFit", 31, 32, true},
                                           StringCase{"oneTooLong", 32, 32, false},
                                           StringCase{"muchTooLong", 60, 16, false},
                                           StringCase{"emptyText", 0, 1, true}, StringCase{"sizeOne", 1, 1, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TaskOptions, StringOptionAbsentOrWithoutBufferAnswersFalse) {
    writeSettings("[TaskOptions]\n2.0 = true\n");
    SchedularInterfaceNet scheduler;
    char buffer[8] = "x";
    EXPECT_FALSE(scheduler.GetTaskOptionString(9, wzTaskOptions(1), buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
    EXPECT_FALSE(scheduler.GetTaskOptionString(9, wzTaskOptions(1), nullptr, 8));
    EXPECT_FALSE(scheduler.GetTaskOptionString(9, wzTaskOptions(1), buffer, 0));
}

TEST_F(TaskOptions, RestoreTaskPropertiesAreKeyedByIdInHex) {
    writeSettings(
        "[RestoreTask]\n0x67D7F74F = false\n3fff6c45 = yes\n0x3c476952 = -3\n0x3dc4af91 = 4294967296\n"
        "0x4322b07d = restoreuser\n0x1d4ca = 1001:staff\n");
    EvRstTask task(77, 0, nullptr, false);
    bool flag = true;
    EXPECT_EQ(task.getOptionBool(0x67d7f74f, flag), 0);
    EXPECT_FALSE(flag);
    EXPECT_EQ(task.getOptionBool(0x3fff6c45, flag, nullptr), 0);
    EXPECT_TRUE(flag);
    int number = 5;
    EXPECT_EQ(task.getOptionInt(0x3c476952, number), 0);
    EXPECT_EQ(number, -3);
    number = 5;
    EXPECT_NE(task.getOptionInt(0x3dc4af91, number), 0) << "beyond 32 bits";
    EXPECT_NE(task.getOptionInt(0x4322b07d, number), 0) << "not a number";
    EXPECT_NE(task.getOptionBool(0x12345678, flag), 0) << "absent";
    EXPECT_EQ(number, 5);
    EXPECT_TRUE(flag);
    std::list<std::string> texts{"stale"};
    EXPECT_EQ(task.getOptionString(120010, texts), 0);
    EXPECT_EQ(texts, std::list<std::string>{"1001:staff"});
}

TEST_F(TaskOptions, RepeatedStringOptionIsAListAndAbsenceLeavesTheList) {
    writeSettings("[RestoreTask]\n0x5e93ea78 = <map a/>\n0x40c24f9b = vers=3\n0x5e93ea78 = <map b/>\n");
    EvAdmTask task(5, 0, nullptr);
    std::list<std::string> texts;
    EXPECT_EQ(task.getOptionString(0x5e93ea78, texts), 0);
    EXPECT_EQ(texts, (std::list<std::string>{"<map a/>", "<map b/>"}));
    std::list<std::string> untouched{"keep"};
    EXPECT_NE(task.getOptionString(0x11111111, untouched), 0);
    EXPECT_EQ(untouched, std::list<std::string>{"keep"});
}

TEST_F(TaskOptions, NamedRestoreTaskProperties) {
    writeSettings("[RestoreTask]\nappTypeId = 134\nsourceClientId = 0x2a\ntoTime = -5\n");
    EvRstTask task(5, 0, nullptr, false, true);
    long value = 9;
    EXPECT_EQ(task.getAppTypeId(value), 0);
    EXPECT_EQ(value, 134);
    EXPECT_EQ(task.getSourceClientId(value, nullptr), 0);
    EXPECT_EQ(value, 42);
    EXPECT_NE(task.getToTime(value), 0);
    EXPECT_NE(task.getDestinationInstanceId(value), 0);
    EXPECT_EQ(value, 42);
    EXPECT_TRUE(task.fetchedContent());
}

TEST_F(TaskOptions, JobOptionsDocumentDefaultsToAnEmptyRootObject) {
    EvTask task(5, 0, nullptr, false);
    std::string xml = "stale";
    EXPECT_EQ(task.getXMLOptions(xml), 0);
    EXPECT_EQ(xml, kEmptyJobOptions);
    writeSettings("[JobOptions]\nxml = <TMMsg_JobOption><destination appType=\"29\"/></TMMsg_JobOption>\n");
    EXPECT_EQ(task.getXMLOptions(xml), 0);
    EXPECT_EQ(xml, "<TMMsg_JobOption><destination appType=\"29\"/></TMMsg_JobOption>");
}

}  // namespace
