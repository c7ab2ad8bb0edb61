#pragma once
// Test hooks of the archive stand-in: injected failures that the job must handle as real ones, and buffers no
// archive file holds.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace fclarchive {
namespace hooks {

// The next open of an archive file fails with `errnum`.
void failNextOpen(int errnum);
// The buffer a data mover reads after `goodReads` more sound ones arrives with one byte flipped.
void corruptRead(unsigned goodReads);
// The restore-head session of the next archive opened refuses the first message the engine sends on it.
void failNextHeadSend();
// While set, data movers hand on a sound buffer of any type, PL_FS_CLOSE_AFILE included, as an archive file never
// holds: for tests of how the job takes buffers that only a foreign reader would send.
void passAnyBufferType(bool pass);
// The PL_DATA buffer a data mover reads after `goodDataReads` more sound ones cannot be read, as if its bytes were
// lost on the medium: the mover reports a read error in its place and goes on.
void failDataRead(unsigned goodDataReads);
// Reads of archive files fail with EIO on the `length` bytes at `offset`, as on a damaged medium: a read that
// reaches them gets the bytes before them and then the error, as the kernel answers, or, with `wholeReadFails`, only
// the error, as a device that fails a whole request for one bad sector does.
void unreadableBytes(uint64_t offset, uint64_t length, bool wholeReadFails);
// Clears all six.
void reset();

// Used by the stand-in: the injected open error (0 when none), each taken once.
int takeOpenFailure();
// True when the buffer just read is the one to corrupt.
bool takeCorruption();
// True when the PL_DATA buffer just read is the one that cannot be read.
bool takeDataReadFailure();
// True when the session being handed out is to refuse its first send.
bool takeHeadSendFailure();
bool anyBufferType();
// pread(2) of an archive file, with the unreadable bytes applied.
ssize_t pread(int fd, void* into, size_t length, uint64_t offset);

}  // namespace hooks
}  // namespace fclarchive
