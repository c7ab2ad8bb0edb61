#include "platform/index/IndexMetaDataHelper.h"

#include <algorithm>
#include <utility>

#include "platform/support/ByteOrder.h"

ParseBufferParams::ParseBufferParams() : data(nullptr), length(0) {}
ParseBufferParams::~ParseBufferParams() = default;

IdxMetadata::FieldObject::~FieldObject() = default;

bool IdxMetadata::FieldObject::isSet(int field, uint32_t, uint32_t) const {
    return texts_.count(field) != 0 || objects_.count(field) != 0;
}

IdxMetadata::FieldObject* IdxMetadata::FieldObject::getObjectAccessor(bool create, bool, int field, int, uint32_t,
                                                                      uint32_t, int, int) {
    auto found = objects_.find(field);
    if (found != objects_.end()) {
        return found->second.get();
    }
    if (!create) {
        return nullptr;
    }
    std::unique_ptr<FieldObject>& made = objects_[field];
    made.reset(new FieldObject());
    return made.get();
}

std::string IdxMetadata::FieldObject::getstring(int field, int, uint32_t, uint32_t) const {
    auto found = texts_.find(field);
    return found != texts_.end() ? found->second : std::string();
}

void IdxMetadata::FieldObject::setPath(const std::vector<uint32_t>& fields, const std::string& text) {
    if (fields.empty()) {
        return;
    }
    FieldObject* at = this;
    for (size_t i = 0; i + 1 < fields.size(); ++i) {
        at = at->getObjectAccessor(true, false, static_cast<int>(fields[i]), static_cast<int>(fields[i]), 0, 0, 0, 0);
    }
    at->texts_[static_cast<int>(fields.back())] = text;
}

void IdxMetadata::FieldObject::clearFields() {
    texts_.clear();
    objects_.clear();
}

IdxMetadata::IdxMetaData::~IdxMetaData() = default;

namespace {

// The records of a whole body into the lists and the message; false when one runs past the body.
bool parseBody(const std::vector<unsigned char>& body, ParseBufferParams& params, IdxMetadata::FieldObject& message) {
    const unsigned char* p = body.data();
    size_t left = body.size();
    while (left != 0) {
        if (left < 8) {
            return false;
        }
        const uint32_t kind = wzbytes::loadBE32(p);
        const uint32_t length = wzbytes::loadBE32(p + 4);
        p += 8;
        left -= 8;
        if (length > left) {
            return false;
        }
        const unsigned char* value = p;
        p += length;
        left -= length;
        if (kind == kIndexRecordProperty) {
            if (length < 4) {
                return false;
            }
            IndexMetaDataStruct property;
            property.propertyId = wzbytes::loadBE32(value);
            params.properties.push_back(property);
            params.values.emplace_back(reinterpret_cast<const char*>(value + 4), length - 4);
        } else if (kind == kIndexRecordField) {
            if (length < 4) {
                return false;
            }
            const uint32_t depth = wzbytes::loadBE32(value);
            if (depth == 0 || depth > kMaxIndexFieldDepth || length < 4 + 4 * depth) {
                return false;
            }
            std::vector<uint32_t> fields;
            for (uint32_t i = 0; i < depth; ++i) {
                fields.push_back(wzbytes::loadBE32(value + 4 + 4 * i));
            }
            const size_t at = 4 + 4 * depth;
            message.setPath(fields, std::string(reinterpret_cast<const char*>(value + at), length - at));
        }
    }
    return true;
}

void putBE32(std::vector<unsigned char>& out, uint32_t value) {
    const size_t at = out.size();
    out.resize(at + 4);
    wzbytes::storeBE32(out.data() + at, value);
}

}  // namespace

int IndexMetaDataHelper::parseBuffer(ParseBufferParams& params, IdxMetadata::IdxMetaData& metadata) {
    const auto* p = static_cast<const unsigned char*>(params.data);
    const bool wasAwaiting = awaiting_;
    awaiting_ = false;
    if (p == nullptr || params.length < kIndexHeaderPrefix || wzbytes::loadBE32(p) != kIndexHeaderMagic ||
        wzbytes::loadBE32(p + 8) != params.length - kIndexHeaderPrefix ||
        joined_.size() + (params.length - kIndexHeaderPrefix) > kMaxIndexMetadata) {
        joined_.clear();
        return -1;
    }
    if (!wasAwaiting) {
        joined_.clear();
    }
    joined_.insert(joined_.end(), p + kIndexHeaderPrefix, p + params.length);
    if ((wzbytes::loadBE32(p + 4) & kIndexHeaderMore) != 0) {
        awaiting_ = true;
        return 0;
    }
    params.properties.clear();
    params.values.clear();
    metadata.clearFields();
    const bool parsed = parseBody(joined_, params, metadata);
    joined_.clear();
    if (!parsed) {
        params.properties.clear();
        params.values.clear();
        metadata.clearFields();
        return -1;
    }
    return 0;
}

std::vector<std::vector<unsigned char>> wzindex::encodeIndexHeaders(const IndexMetadataRecord& record,
                                                                    size_t chunkBytes) {
    std::vector<unsigned char> body;
    for (const auto& property : record.properties) {
        putBE32(body, kIndexRecordProperty);
        putBE32(body, static_cast<uint32_t>(4 + property.second.size()));
        putBE32(body, property.first);
        body.insert(body.end(), property.second.begin(), property.second.end());
    }
    for (const auto& field : record.fields) {
        putBE32(body, kIndexRecordField);
        putBE32(body, static_cast<uint32_t>(4 + 4 * field.first.size() + field.second.size()));
        putBE32(body, static_cast<uint32_t>(field.first.size()));
        for (uint32_t number : field.first) {
            putBE32(body, number);
        }
        body.insert(body.end(), field.second.begin(), field.second.end());
    }
    const size_t chunk = chunkBytes == 0 ? 1 : chunkBytes;
    std::vector<std::vector<unsigned char>> buffers;
    size_t at = 0;
    do {
        const size_t length = std::min(chunk, body.size() - at);
        std::vector<unsigned char> buffer;
        putBE32(buffer, kIndexHeaderMagic);
        putBE32(buffer, at + length < body.size() ? kIndexHeaderMore : 0);
        putBE32(buffer, static_cast<uint32_t>(length));
        buffer.insert(buffer.end(), body.begin() + static_cast<long>(at),
                      body.begin() + static_cast<long>(at + length));
        buffers.push_back(std::move(buffer));
        at += length;
    } while (at < body.size());
    return buffers;
}
