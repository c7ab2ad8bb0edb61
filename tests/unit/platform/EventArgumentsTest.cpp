// Event arguments: their kinds and little-endian bytes, and which event they belong to.
#include "tests/unit/platform/PlatformFixture.h"

namespace {

using Bytes = std::vector<unsigned char>;

class EventArguments : public fcltest::PlatformFixture {};

TEST_F(EventArguments, KindsAndByteOrder) {
    EvEvent event;
    event << 0x01020304 << -2 << 0x0102030405060708UL << "disk full" << static_cast<const char*>(nullptr);
    std::vector<EvArgument> args = event.pendingArguments();
    ASSERT_EQ(args.size(), 5u);
    EXPECT_EQ(args[0].type, 5);
    EXPECT_EQ(args[0].bytes, (Bytes{0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(args[1].bytes, (Bytes{0xfe, 0xff, 0xff, 0xff}));
    EXPECT_EQ(args[1].asInt(), -2);
    EXPECT_EQ(args[2].type, 10);
    EXPECT_EQ(args[2].bytes, (Bytes{0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(args[3].type, 11);
    EXPECT_EQ(args[3].bytes, (Bytes{'d', 'i', 's', 'k', ' ', 'f', 'u', 'l', 'l'}));
    EXPECT_EQ(args[4].type, 11);
    EXPECT_TRUE(args[4].bytes.empty());
}

TEST_F(EventArguments, ArgumentsGoWithTheNextRaiseOnly) {
    EvEvent event;
    event.setJobId(4711);
    event << 0x18000001 << static_cast<unsigned long>(0x18000017);
    event.CriticalEvent(0x17000029, 0, 0);
    event.MajorEvent(0x1700000e, 0, 0);
    std::vector<EvRaisedEvent> raised = wzplatform::raisedEvents();
    ASSERT_EQ(raised.size(), 2u);
    EXPECT_EQ(raised[0].messageId, 0x17000029);
    EXPECT_EQ(raised[0].severity, EV_CRITICAL);
    EXPECT_EQ(raised[0].jobId, 4711);
    ASSERT_EQ(raised[0].arguments.size(), 2u);
    EXPECT_EQ(raised[0].arguments[0].asInt(), 0x18000001);
    EXPECT_EQ(raised[0].arguments[1].asUInt64(), 0x18000017u);
    EXPECT_EQ(raised[1].severity, EV_MAJOR);
    EXPECT_TRUE(raised[1].arguments.empty());
    EXPECT_TRUE(event.pendingArguments().empty());
}

TEST_F(EventArguments, ForeignKindReadsAsNothing) {
    EvEvent event;
    unsigned char raw[3] = {1, 2, 3};
    event.addArgument(99, raw, sizeof raw);
    event.addArgument(EV_ARG_INT, nullptr, 4);  // refused: no bytes behind the length
    std::vector<EvArgument> args = event.pendingArguments();
    ASSERT_EQ(args.size(), 1u);
    EXPECT_EQ(args[0].asInt(), 0);
    EXPECT_EQ(args[0].asText(), "");
}

}  // namespace
