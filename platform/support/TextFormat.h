#pragma once
// printf into a std::string: the one formatter behind error texts, log lines and FXString::Format.
#include <cstdarg>
#include <string>

namespace wztext {

// The text `format` makes of `args`; empty for a null format or one printf cannot render. Short texts cost no
// allocation beyond the string's own.
std::string vformat(const char* format, va_list args);

}  // namespace wztext
