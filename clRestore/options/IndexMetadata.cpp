// The job's collector of index metadata: one PL_FS_INDEX_HDR buffer after another until the metadata is whole.
#include <arpa/inet.h>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "protocol/PipelineBuffer.h"

int FclRestoreUNIX::CollateIdxMetadataIfRequired(void* buffer, int /*length*/, ParseBufferParams& params,
                                                 IdxMetadata::IdxMetaData& metadata) {
    params.data = PipelineBufPayload(buffer);
    params.length = ntohl(static_cast<const PipelineBufHeader_t*>(buffer)->payloadLength);
    if (_indexMetaData.parseBuffer(params, metadata) != 0) {
        FCL_ERROR("Failed to parse IndexHeader buffer");
        return -1;
    }
    if (_indexMetaData.isMultiBuffer()) {
        FCL_LOG(3, "Awaiting more data in indexMetadata...");
        return 1;
    }
    return 0;
}
