#pragma once
// The reserved option string of the init data, as the engine's option parser reads it: one "key=value" per line.
#include <string>
#include <utility>
#include <vector>

namespace fir {

using OptionPairs = std::vector<std::pair<std::string, std::string>>;

// The text for `options`, in their order. False with a reason when a pair cannot be written so that it reads back
// the same: an empty key, a key holding '=', a line break in either, or blanks around either (the reader drops
// them).
bool encodeReservedOptions(const OptionPairs& options, std::string* text, std::string* why);

}  // namespace fir
