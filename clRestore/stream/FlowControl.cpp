// The stream's flow control: the high and low water marks are relayed to the FIR, and each probe reply the restore
// head sends back widens the window of seeks it may be sent ahead.
#include <climits>
#include <cstdint>
#include <cstring>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "platform/support/ByteOrder.h"
#include "protocol/FsrMessages.h"
#include "protocol/PipelineBuffer.h"

namespace {

constexpr size_t kProbeReplyLength = 16;

}  // namespace

int FclRestore::OnBufferPlFsHiWaterMark() {
    return sendMsgToFIR(FSR_MSG_HI_WATER_MARK);
}

int FclRestore::OnBufferPlFsLoWaterMark() {
    return sendMsgToFIR(FSR_MSG_LO_WATER_MARK);
}

void FclRestore::OnBufferPlFSProbeReply(void* buf, int len) {
    if (buf == nullptr || len < 0 || static_cast<size_t>(len) < kProbeReplyLength) {
        FCL_ERROR("Probe Head Reply of %d bytes carries no token and flags: ignored", len);
        return;
    }
    unsigned char* payload = PipelineBufPayload(buf);
    const uint64_t token = wzbytes::loadBE64(payload);
    const uint64_t flags = wzbytes::loadBE64(payload + 8);
    memcpy(payload, &token, sizeof token);
    memcpy(payload + 8, &flags, sizeof flags);
    FCL_LOG(0, "Processing Probe Head Reply. Flags = %llX, Token = %llu ", static_cast<unsigned long long>(flags),
            static_cast<unsigned long long>(token));
    if ((flags & 1) == 0) {
        return;
    }
    FclRestoreUNIX& unix = *_fclRestoreUnix;
    // Replies beyond all counting keep the window at its widest instead of wrapping it shut.
    int allowed = unix._seeksAllowed;
    int widened = 0;
    do {
        widened = allowed > INT_MAX - unix._seekMarkerBatch ? INT_MAX : allowed + unix._seekMarkerBatch;
    } while (!unix._seeksAllowed.compare_exchange_weak(allowed, widened));
}
