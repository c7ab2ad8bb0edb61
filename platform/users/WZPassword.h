#pragma once
// The enciphered form in which a job's task carries a password. The cipher is a reversible test cipher, not a
// protection: "wzx1:" and the hex of each byte XORed with a repeating key. A deciphered password lives only in the
// caller's bounded buffer, which the caller wipes (wipePassword) once it is checked.
#include <cstddef>
#include <string>

namespace WZPassword {

// The enciphered text of `plain`.
std::string encrypt(const std::string& plain);

// Deciphers `enciphered` into `out`, at most `capacity` bytes with the terminating zero. 0 on success; -1 when the
// text is not ours or does not fit, with `out` then left all zeros.
int decrypt(const char* enciphered, char* out, size_t capacity);

// Zeros `size` bytes in a way the compiler may not drop.
void wipePassword(char* buffer, size_t size);

}  // namespace WZPassword
