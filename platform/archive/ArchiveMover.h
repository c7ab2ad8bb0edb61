#pragma once
// The data mover of one opened archive file: a thread that serves the restore head's requests in the order
// they come, streaming the file's buffers into the ring that the job's pipeline reader takes them from.
// Every buffer is checked (magic, offset, lengths, CRC, type) before it is handed on; the first bad one fails the
// stream, and nothing after it is delivered. A file that ends inside a buffer or inside an item fails it too, so
// that no item is lost without a word. The failure's text names the file and the offset.
// Bytes that cannot be read are another matter: the mover puts a PL_FS_READ_ERR (archive id and offset) in their
// place and goes on at the next sound buffer, so the job reports the loss and the rest of the archive is restored.
// Only the buffers that hold unreadable bytes are lost: the reader narrows a failed read-ahead down to them.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/archive/ArchiveFileReader.h"
#include "platform/archive/BufferRing.h"
#include "platform/files/UniqueFd.h"

namespace fclarchive {

class ArchiveMover {
public:
    // Starts the thread; throws std::system_error when it cannot be created.
    ArchiveMover(BufferRing& ring, wzfiles::UniqueFd file, uint64_t size, std::string name, uint64_t archiveFileId = 0);
    ~ArchiveMover();
    ArchiveMover(const ArchiveMover&) = delete;
    ArchiveMover& operator=(const ArchiveMover&) = delete;

    // Requests of the restore head, each queued and served after those before it.
    // The whole file.
    void readAll();
    // For each offset, the item that starts there through its PL_FS_EOF or PL_FS_BAD_FILE, and the further
    // names of a hard-link group that follow that end.
    void seek(std::vector<uint64_t> offsets);
    // A PL_FS_PROBE_REPLY carrying `count` and flags 1: one more batch of seeks is welcome.
    void probe(int64_t count);
    // A PL_FS_CLOSE_AFILE ends the stream.
    void close();
    void keepalive();
    // The requests stopped coming part-way (their session broke): after what is queued, the stream fails with
    // `error`, since what the lost requests asked for will never come.
    void abandon(int error, std::string why);
    // Ends the thread's work at once; queued requests are dropped.
    void stop();

    bool failed() const { return failed_.load(); }
    uint64_t keepalives() const { return keepalives_.load(); }
    const std::string& name() const { return name_; }

private:
    struct Request {
        enum Kind { kReadAll, kSeek, kProbe, kClose, kAbandon } kind;
        std::vector<uint64_t> offsets;
        int64_t count = 0;  // kProbe: the token; kAbandon: the error
        std::string why;
    };

    void post(Request request);
    void run();
    bool serve(const Request& request);
    // What moveOne handed on.
    struct Moved {
        uint32_t type = 0;
        bool opensItem = false;  // a file header, or a pre-header that starts a hard-link group
    };

    bool streamAll();
    bool streamItem(uint64_t offset);
    // Checks the buffer at the reader's position and hands it on; false when the stream failed or stopped.
    bool moveOne(Moved& moved);
    // The type and first payload word of the buffer whose header stands at the reader's position; false when
    // none does.
    bool peekNext(uint32_t& type, uint32_t& firstWord);
    // Whether the buffer at the reader's position is a further name of the hard-link group just ended.
    bool groupMemberFollows();
    // Whether the buffer at the reader's position starts an item.
    bool itemStartFollows();
    // The bytes at `at` could not be read (`length` of them when their header could be, else 0): reports it with a
    // PL_FS_READ_ERR and moves the reader to the next sound buffer header (or the end of the file).
    bool readError(uint64_t at, int error, size_t length, Moved& moved);
    // The position after the unreadable buffer at `at` (of `length` bytes by its header, 0 when unknown) where
    // the next sound buffer header stands; the file's size when none.
    uint64_t nextBufferAt(uint64_t at, size_t length);
    // Whether a header that can start a buffer stands at `at`; `unreadable` when its bytes could not be read.
    bool soundHeaderAt(uint64_t at, bool& unreadable);
    bool emit(uint32_t type, const void* payload, uint32_t length);
    bool fail(int error, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // The file ended inside the item that starts at `itemStart`.
    bool failInsideItem(uint64_t itemStart);

    BufferRing& ring_;
    wzfiles::UniqueFd file_;
    std::string name_;
    uint64_t archiveFileId_;
    ArchiveFileReader reader_;
    std::mutex mutex_;
    std::condition_variable requestsChanged_;
    std::deque<Request> requests_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> failed_{false};
    std::atomic<uint64_t> keepalives_{0};
    std::thread thread_;
};

}  // namespace fclarchive
