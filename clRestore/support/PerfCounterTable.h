#pragma once
// The restore job's performance counters: their indexes and the descriptor list.
#include <vector>

#include "platform/support/PerfCounter.h"

// Index of each counter in the job's list, as the front ends of PerfCounter take it.
enum ERestorePerfCounter {
    kPerfRecvRestMsgs = 0,
    kPerfSendMsgToRestHead = 1,
    kPerfNetworkRead = 2,
    kPerfSendMsgToFIR = 3,
    kPerfRecvData = 4,
    kPerfRecvHole = 5,
    kPerfRecvEOF = 6,
    kPerfCloseAFile = 7,
    kPerfHiWater = 8,
    kPerfLoWater = 9,
    kPerfSlotWait = 10,
    kPerfRestQueMsgWait = 11,
    kPerfDiskWrite = 12,
    kPerfReadRecvRestMsgs = 13,
    kPerfSendSendMsgToFIR = 14,
    kPerfReadPipeline = 15,
    kPerfSendBytesToRestHead = 16,
    kPerfOpenFile = 17,
    kPerfSeekDecision = 18,
    kPerfWriteOptHdr = 19,
    kPerfRestoreCounterCount = 20
};

// The job's twenty descriptors in index order.
std::vector<_rstrPerfCounterInfo> restorePerfCounterInfoList();
