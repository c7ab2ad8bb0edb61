#include "platform/archive/ArchiveMover.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveHooks.h"
#include "platform/archive/StreamRecords.h"
#include "platform/log/LogWriter.h"
#include "platform/support/ByteOrder.h"
#include "platform/support/TextFormat.h"
#include "protocol/FSRPreHeader.h"
#include "protocol/PipelineBuffer.h"

namespace fclarchive {

ArchiveMover::ArchiveMover(BufferRing& ring, wzfiles::UniqueFd file, uint64_t size, std::string name,
                           uint64_t archiveFileId)
    : ring_(ring), file_(std::move(file)), name_(std::move(name)), archiveFileId_(archiveFileId) {
    reader_.attach(file_.get(), size);
    thread_ = std::thread(&ArchiveMover::run, this);
}

ArchiveMover::~ArchiveMover() {
    stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void ArchiveMover::readAll() {
    post({Request::kReadAll, {}, 0, {}});
}

void ArchiveMover::seek(std::vector<uint64_t> offsets) {
    post({Request::kSeek, std::move(offsets), 0, {}});
}

void ArchiveMover::probe(int64_t count) {
    post({Request::kProbe, {}, count, {}});
}

void ArchiveMover::close() {
    post({Request::kClose, {}, 0, {}});
}

void ArchiveMover::abandon(int error, std::string why) {
    post({Request::kAbandon, {}, error, std::move(why)});
}

void ArchiveMover::keepalive() {
    keepalives_.fetch_add(1);
}

void ArchiveMover::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_.store(true);
        requests_.clear();
    }
    requestsChanged_.notify_all();
    ring_.stopProducer();
}

void ArchiveMover::post(Request request) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_.load()) {
            return;
        }
        requests_.push_back(std::move(request));
    }
    requestsChanged_.notify_all();
}

void ArchiveMover::run() {
    for (;;) {
        Request request;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            requestsChanged_.wait(lock, [this] { return stopping_.load() || !requests_.empty(); });
            if (stopping_.load()) {
                return;
            }
            request = std::move(requests_.front());
            requests_.pop_front();
        }
        // After a failure nothing more is streamed: the consumer keeps getting the error.
        if (!failed_.load()) {
            serve(request);
        }
        ring_.flush();
    }
}

bool ArchiveMover::serve(const Request& request) {
    switch (request.kind) {
        case Request::kReadAll:
            FCL_LOG(2, "Data mover: reading all of %s", name_.c_str());
            return streamAll();
        case Request::kSeek:
            for (uint64_t offset : request.offsets) {
                FCL_LOG(5, "Data mover: item at offset %llu of %s", static_cast<unsigned long long>(offset),
                        name_.c_str());
                if (!streamItem(offset)) {
                    return false;
                }
            }
            return true;
        case Request::kProbe: {
            unsigned char reply[16];
            encodeProbeReply(static_cast<uint64_t>(request.count), 1, reply);
            return emit(PL_FS_PROBE_REPLY, reply, sizeof reply);
        }
        case Request::kClose:
            FCL_LOG(2, "Data mover: closing %s", name_.c_str());
            return emit(PL_FS_CLOSE_AFILE, nullptr, 0);
        case Request::kAbandon:
            return fail(static_cast<int>(request.count), "requests for %s stopped coming: %s", name_.c_str(),
                        request.why.c_str());
    }
    return false;
}

namespace {

// A pre-header that stands for a further name of the hard-link group just ended: an item in itself, with no
// file header or end of its own.
bool isFurtherGroupName(uint32_t flags) {
    return (flags & FSR_PREHDR_HARD_LINK) != 0 && (flags & (FSR_PREHDR_FIRST_NAME | FSR_PREHDR_STUB)) == 0;
}

}  // namespace

bool ArchiveMover::streamAll() {
    reader_.seek(0);
    if (reader_.size() == 0) {
        return fail(EBADMSG, "%s is empty: no buffer at offset 0", name_.c_str());
    }
    // A file cut at a buffer boundary reads as sound buffers up to its end: only an item left open tells. An item
    // that lost buffers to a read error may lose its end too: its loss was reported already.
    bool inItem = false;
    bool damaged = false;
    uint64_t itemStart = 0;
    while (reader_.position() < reader_.size()) {
        const uint64_t at = reader_.position();
        Moved moved;
        if (!moveOne(moved)) {
            return false;
        }
        if (moved.type == PL_FS_READ_ERR) {
            damaged = damaged || inItem;
        } else if (moved.type == PL_FS_EOF || moved.type == PL_FS_BAD_FILE) {
            inItem = false;
            damaged = false;
        } else if (moved.opensItem && (!inItem || damaged)) {
            inItem = true;
            damaged = false;
            itemStart = at;
        }
    }
    return inItem && !damaged ? failInsideItem(itemStart) : true;
}

bool ArchiveMover::streamItem(uint64_t offset) {
    if (offset >= reader_.size()) {
        return fail(EBADMSG, "seek past the end of %s: offset %llu of a file of %llu bytes", name_.c_str(),
                    static_cast<unsigned long long>(offset), static_cast<unsigned long long>(reader_.size()));
    }
    reader_.seek(offset);
    Moved moved;
    bool damaged = false;
    do {
        // After a read error the item's end may be lost with its bytes: the item ends where the next one starts.
        if (damaged && (reader_.position() >= reader_.size() || itemStartFollows())) {
            return true;
        }
        if (reader_.position() >= reader_.size()) {
            return failInsideItem(offset);
        }
        if (!moveOne(moved)) {
            return false;
        }
        damaged = damaged || moved.type == PL_FS_READ_ERR;
    } while (moved.type != PL_FS_EOF && moved.type != PL_FS_BAD_FILE);
    while (groupMemberFollows()) {
        if (!moveOne(moved)) {
            return false;
        }
    }
    return true;
}

bool ArchiveMover::failInsideItem(uint64_t itemStart) {
    return fail(EBADMSG, "%s ends without the end of its last item at offset %llu (the item starts at offset %llu)",
                name_.c_str(), static_cast<unsigned long long>(reader_.size()),
                static_cast<unsigned long long>(itemStart));
}

bool ArchiveMover::moveOne(Moved& moved) {
    const uint64_t at = reader_.position();
    const unsigned long long where = at;
    const char* file = name_.c_str();
    const unsigned char* bytes = nullptr;
    int error = 0;
    size_t got = reader_.peek(kHeaderSize, bytes, error);
    if (error != 0) {
        return readError(at, error, 0, moved);
    }
    if (got < kHeaderSize) {
        return fail(EBADMSG, "%s ends inside a buffer at offset %llu", file, where);
    }
    BufferHeader header = decodeHeader(bytes);
    if (const char* fault = framingFault(header, at, reader_.size())) {
        if (fault == kEndsInsideBuffer) {
            return fail(EBADMSG, "%s ends inside a buffer at offset %llu", file, where);
        }
        return fail(EBADMSG, "%s in %s at offset %llu", fault, file, where);
    }
    size_t length = kHeaderSize + header.payloadLength;
    RingSlot* slot = ring_.acquire(length);
    if (slot == nullptr) {
        return false;
    }
    unsigned char* buffer = slot->reserve(length);
    error = reader_.read(buffer, length);
    if (error == 0 && header.type == PL_DATA && hooks::takeDataReadFailure()) {
        error = EIO;
    }
    if (error != 0) {
        ring_.discard(slot);
        return readError(at, error, length, moved);
    }
    if (hooks::takeCorruption()) {
        buffer[length - 1] ^= 0x5a;
    }
    // The checksum first: a damaged header byte is reported as the damage it is, whatever it turned the type into.
    if (bufferCrc(buffer, buffer + kHeaderSize, header.payloadLength) != header.crc) {
        ring_.discard(slot);
        return fail(EBADMSG, "checksum mismatch in %s at offset %llu", file, where);
    }
    if (const char* fault = hooks::anyBufferType() ? nullptr : contentFault(header)) {
        ring_.discard(slot);
        return fail(EBADMSG, "%s in %s at offset %llu", fault, file, where);
    }
    slot->type = header.type;
    slot->payloadLength = header.payloadLength;
    moved.type = header.type;
    moved.opensItem = header.type == PL_FS_HDR ||
                      (header.type == PL_FS_PREHDR && !isFurtherGroupName(wzbytes::loadBE32(buffer + kHeaderSize)));
    ring_.publish(slot);
    return true;
}

bool ArchiveMover::peekNext(uint32_t& type, uint32_t& firstWord) {
    const unsigned char* bytes = nullptr;
    int error = 0;
    if (reader_.peek(kHeaderSize + 4, bytes, error) < kHeaderSize + 4) {
        return false;
    }
    BufferHeader header = decodeHeader(bytes);
    if (header.magic != kBufferMagic || header.offset != reader_.position()) {
        return false;
    }
    type = header.type;
    firstWord = wzbytes::loadBE32(bytes + kHeaderSize);
    return true;
}

bool ArchiveMover::groupMemberFollows() {
    uint32_t type = 0;
    uint32_t flags = 0;
    return peekNext(type, flags) && type == PL_FS_PREHDR && isFurtherGroupName(flags);
}

bool ArchiveMover::itemStartFollows() {
    uint32_t type = 0;
    uint32_t flags = 0;
    return peekNext(type, flags) && (type == PL_FS_HDR || (type == PL_FS_PREHDR && !isFurtherGroupName(flags)));
}

bool ArchiveMover::readError(uint64_t at, int error, size_t length, Moved& moved) {
    FCL_ERROR("Data mover: cannot read %s at offset %llu: %s; the read error is reported and the stream goes on",
              name_.c_str(), static_cast<unsigned long long>(at), strerror(error));
    ReadErrorRecord record;
    record.archiveId = static_cast<uint32_t>(archiveFileId_);
    record.offset = at;
    unsigned char payload[kReadErrorPayloadSize];
    encodeReadError(record, payload);
    reader_.seek(at);
    if (!emit(PL_FS_READ_ERR, payload, sizeof payload)) {
        return false;
    }
    reader_.seek(nextBufferAt(at, length));
    moved.type = PL_FS_READ_ERR;
    moved.opensItem = false;
    return true;
}

bool ArchiveMover::soundHeaderAt(uint64_t at, bool& unreadable) {
    reader_.seek(at);
    const unsigned char* bytes = nullptr;
    int error = 0;
    const size_t got = reader_.peek(kHeaderSize, bytes, error);
    unreadable = error != 0;
    if (unreadable || got < kHeaderSize) {
        return false;
    }
    BufferHeader header = decodeHeader(bytes);
    return header.magic == kBufferMagic && header.offset == at && headerFault(header, at, reader_.size()) == nullptr;
}

uint64_t ArchiveMover::nextBufferAt(uint64_t at, size_t length) {
    // Every buffer carries its own offset, so a header found where it says it stands is the next buffer. The length
    // of the unreadable buffer is only a hint (its checksum was never seen): without a header where it points, the
    // bytes after `at` are searched. No header can start before the end of an unreadable run it would hold, so the
    // search goes on at the first readable byte after the run.
    bool unreadable = false;
    if (length != 0 && soundHeaderAt(at + length, unreadable)) {
        return at + length;
    }
    uint64_t next = at + 1;
    while (next < reader_.size() && reader_.size() - next >= kHeaderSize) {
        if (soundHeaderAt(next, unreadable)) {
            return next;
        }
        next = unreadable ? reader_.readableFrom(std::max(next, reader_.unreadableAt()) + 1) : next + 1;
    }
    return reader_.size();
}

bool ArchiveMover::emit(uint32_t type, const void* payload, uint32_t length) {
    RingSlot* slot = ring_.acquire(kHeaderSize + length);
    if (slot == nullptr) {
        return false;
    }
    unsigned char* buffer = slot->reserve(kHeaderSize + length);
    BufferHeader header;
    header.type = type;
    header.offset = reader_.position();
    header.payloadLength = length;
    header.compressedLength = length;
    encodeHeader(header, buffer);
    sealHeader(buffer, payload, length);
    if (length != 0) {
        std::memcpy(buffer + kHeaderSize, payload, length);
    }
    slot->type = type;
    slot->payloadLength = length;
    ring_.publish(slot);
    return true;
}

bool ArchiveMover::fail(int error, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = wztext::vformat(format, args);
    va_end(args);
    FCL_ERROR("Data mover: %s", text.c_str());
    failed_.store(true);
    ring_.fail(error, std::move(text));
    return false;
}

}  // namespace fclarchive
