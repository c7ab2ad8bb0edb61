#include <gtest/gtest.h>

#include <set>
#include <string>

#include "clRestore/support/PerfCounterTable.h"

namespace {

struct Row {
    const char* name;
    CTRBASETYPE type;
    bool flag;
    unsigned int id;
};

const Row kRows[] = {
    {"recvRestMsgs", 0, false, 8033},  {"sendMsgToRestHead", 0, false, 8034}, {"NetworkRead", 0, false, 8035},
    {"sendMsgToFIR", 0, false, 8036},  {"RecvData", 0, false, 8004},          {"RecvHole", 1, false, 8037},
    {"RecvEOF", 0, false, 8005},       {"Close AFile", 0, false, 8038},       {"Hi Water", 0, false, 8039},
    {"Lo Water", 0, false, 8040},      {"Slot Wait", 0, false, 8041},         {"RestQue Msg Wait", 0, false, 8042},
    {"DiskWrite", 1, false, 8001},     {"Read recvRestMsgs", 1, true, 8043},  {"Send sendMsgToFIR", 1, true, 8044},
    {"readPipeline", 1, false, 8024},  {"sendMsgToRestHead", 1, true, 8045},  {"Open File", 0, false, 8003},
    {"Seek Decision", 0, false, 8046}, {"Write Opt Hdr", 0, false, 8047},
};

TEST(PerfTable, TwentyDescriptorsInIndexOrder) {
    std::vector<_rstrPerfCounterInfo> list = restorePerfCounterInfoList();
    ASSERT_EQ(list.size(), 20u);
    ASSERT_EQ(static_cast<size_t>(kPerfRestoreCounterCount), list.size());
    std::set<unsigned int> ids;
    for (size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(list[i].name, kRows[i].name);
        EXPECT_EQ(list[i].baseType, kRows[i].type);
        EXPECT_EQ(list[i].addFlag, kRows[i].flag);
        EXPECT_EQ(list[i].counterId, kRows[i].id);
        ids.insert(list[i].counterId);
    }
    EXPECT_EQ(ids.size(), 20u);
    EXPECT_EQ(list[kPerfDiskWrite].name, "DiskWrite");
    EXPECT_EQ(list[kPerfWriteOptHdr].name, "Write Opt Hdr");
    EXPECT_EQ(list[kPerfSendBytesToRestHead].counterId, 8045u);
}

}  // namespace
