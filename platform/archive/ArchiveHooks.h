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
// The PL_DATA buffer a data mover reads after `goodDataReads` more sound ones cannot be read, as if its bytes were
// lost on the medium: the mover reports a read error in its place and goes on.
void failDataRead(unsigned goodDataReads);
// Clears all five.
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

}  // namespace hooks
}  // namespace fclarchive
