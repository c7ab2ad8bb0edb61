#pragma once
// The fuzz target's entry point, and what the restore of the last input reported (the replay of the seed corpus
// checks that a sound stream is restored whole, so that the target is known to reach the handlers).
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fclfuzz {

struct RestoreReport {
    bool succeeded = false;  // the job ended well, as the FIR driver and the engine both saw it
    std::string reason;
    uint64_t restored = 0;
    uint64_t failed = 0;
};

const RestoreReport& lastRestore();

}  // namespace fclfuzz
