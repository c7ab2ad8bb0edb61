#pragma once
// The collector of index metadata that arrives in index-header buffers, one per job. Parsing the buffers is not
// built yet: the collector holds nothing.
class ParseBufferParams;
namespace IdxMetadata {
class IdxMetaData;
}

class IndexMetaDataHelper {
public:
    IndexMetaDataHelper() = default;
    IndexMetaDataHelper(const IndexMetaDataHelper&) = delete;
    IndexMetaDataHelper& operator=(const IndexMetaDataHelper&) = delete;
};
