#pragma once
// The index metadata of an item, carried by one or more PL_FS_INDEX_HDR buffers, and the collector that joins them.
//
// Encoding of one PL_FS_INDEX_HDR payload (all numbers big-endian):
//   u32 magic 0x49445848 ("IDXH") | u32 flags (bit 0: more buffers of this metadata follow) | u32 length of the
//   chunk | the chunk
// The chunks of a buffer with bit 0 set and of the buffers after it, up to and including the first without it,
// joined in order, form the body: records, each a u32 kind, a u32 length and that many bytes of value:
//   kind 1, a property: u32 property id, then its value as text (decimal numbers, paths)
//   kind 2, a message field: u32 depth d (1 to 8), d u32 field numbers from the message's root down, then the
//           field's text; the fields on the way are objects of the message
// A payload shorter than its 12 bytes, with another magic or a chunk length other than what follows, a body whose
// records run past it, or metadata joined beyond kMaxIndexMetadata bytes does not parse; the collector then
// forgets what it held.
//
// Fields of the message the engine reads: 22 -> 1, the item's real path; 10 -> 1 -> 2 and 10 -> 1 -> 3, the owner
// and group names of a Hadoop item. The message library's keys and type numbers that the callers pass along with
// the field numbers are not needed to find a field here and are not checked.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/tasks/CNMessageBase.h"

constexpr uint32_t kIndexHeaderMagic = 0x49445848;
constexpr uint32_t kIndexHeaderMore = 0x1;
constexpr size_t kIndexHeaderPrefix = 12;
constexpr size_t kMaxIndexMetadata = 16u << 20;
constexpr uint32_t kIndexRecordProperty = 1;
constexpr uint32_t kIndexRecordField = 2;
constexpr uint32_t kMaxIndexFieldDepth = 8;

// One property of the property list; its value is the string at the same index of the value list.
struct IndexMetaDataStruct {
    uint32_t propertyId = 0;
};

// The argument record of IndexMetaDataHelper::parseBuffer.
class ParseBufferParams {
public:
    ParseBufferParams();
    ~ParseBufferParams();
    ParseBufferParams(const ParseBufferParams&) = delete;
    ParseBufferParams& operator=(const ParseBufferParams&) = delete;

    void* data;
    uint32_t length;
    std::vector<IndexMetaDataStruct> properties;
    std::vector<std::string> values;
};

namespace IdxMetadata {

// The fields of an index-metadata message: numbered, each a text or an object holding fields of its own.
class FieldObject {
public:
    FieldObject() = default;
    virtual ~FieldObject();
    FieldObject(const FieldObject&) = delete;
    FieldObject& operator=(const FieldObject&) = delete;

    bool isSet(int field, uint32_t key, uint32_t keyCheck) const;
    // The object at `field`; made empty when absent and `create` is set, otherwise null when absent. It lives as
    // long as this one.
    FieldObject* getObjectAccessor(bool create, bool readOnly, int field, int fieldAgain, uint32_t key,
                                   uint32_t keyCheck, int library, int type);
    // The text at `field`; "" when absent.
    std::string getstring(int field, int fieldAgain, uint32_t key, uint32_t keyCheck) const;

    // Sets the text at the path of field numbers, objects on the way made as needed.
    void setPath(const std::vector<uint32_t>& fields, const std::string& text);
    void clearFields();

private:
    std::map<int, std::string> texts_;
    std::map<int, std::unique_ptr<FieldObject>> objects_;
};

// The index metadata message of one item.
class IdxMetaData : public CNMessageBase, public FieldObject {
public:
    IdxMetaData(int messageSet, int messageId) : CNMessageBase(messageSet, messageId) {}
    ~IdxMetaData() override;

    using FieldObject::getObjectAccessor;
    using FieldObject::getstring;
    using FieldObject::isSet;
};

}  // namespace IdxMetadata

// One per job: joins the chunks of multi-buffer metadata until its last buffer.
class IndexMetaDataHelper {
public:
    IndexMetaDataHelper() = default;
    IndexMetaDataHelper(const IndexMetaDataHelper&) = delete;
    IndexMetaDataHelper& operator=(const IndexMetaDataHelper&) = delete;

    // Takes the buffer at params.data (params.length bytes). 0 when it parsed: either more buffers are awaited
    // (isMultiBuffer) or the whole metadata is in params' lists and `metadata`; non-zero when it does not parse.
    int parseBuffer(ParseBufferParams& params, IdxMetadata::IdxMetaData& metadata);
    bool isMultiBuffer() const { return awaiting_; }

private:
    std::vector<unsigned char> joined_;
    bool awaiting_ = false;
};

namespace wzindex {

// What a writer puts into an item's index metadata.
struct IndexMetadataRecord {
    std::vector<std::pair<uint32_t, std::string>> properties;
    std::vector<std::pair<std::vector<uint32_t>, std::string>> fields;
};

// The PL_FS_INDEX_HDR payloads of `record`, each chunk at most `chunkBytes` long (at least 1).
std::vector<std::vector<unsigned char>> encodeIndexHeaders(const IndexMetadataRecord& record, size_t chunkBytes);

// The message field of an item's real path.
inline std::vector<uint32_t> realPathField() {
    return {22, 1};
}

}  // namespace wzindex
