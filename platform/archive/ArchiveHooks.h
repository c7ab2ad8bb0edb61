#pragma once
// Test hooks of the archive stand-in: injected failures that the job must handle as real ones, and buffers no
// archive file holds.
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
// Clears all four.
void reset();

// Used by the stand-in: the injected open error (0 when none), each taken once.
int takeOpenFailure();
// True when the buffer just read is the one to corrupt.
bool takeCorruption();
// True when the session being handed out is to refuse its first send.
bool takeHeadSendFailure();
bool anyBufferType();

}  // namespace hooks
}  // namespace fclarchive
