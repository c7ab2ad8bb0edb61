#include "clRestore/support/PerfCounterTable.h"

std::vector<_rstrPerfCounterInfo> restorePerfCounterInfoList() {
    // clang-format off
    return {
        {"recvRestMsgs", 0, false, 8033},
        {"sendMsgToRestHead", 0, false, 8034},
        {"NetworkRead", 0, false, 8035},
        {"sendMsgToFIR", 0, false, 8036},
        {"RecvData", 0, false, 8004},
        {"RecvHole", 1, false, 8037},
        {"RecvEOF", 0, false, 8005},
        {"Close AFile", 0, false, 8038},
        {"Hi Water", 0, false, 8039},
        {"Lo Water", 0, false, 8040},
        {"Slot Wait", 0, false, 8041},
        {"RestQue Msg Wait", 0, false, 8042},
        {"DiskWrite", 1, false, 8001},
        {"Read recvRestMsgs", 1, true, 8043},
        {"Send sendMsgToFIR", 1, true, 8044},
        {"readPipeline", 1, false, 8024},
        {"sendMsgToRestHead", 1, true, 8045},
        {"Open File", 0, false, 8003},
        {"Seek Decision", 0, false, 8046},
        {"Write Opt Hdr", 0, false, 8047},
    };
    // clang-format on
}
