#pragma once
#include <string>

namespace wzthreads {

// "<operation>: <system text> (<number>)", the form of the thread library's last-error texts.
std::string errorText(const char* operation, int error);

}  // namespace wzthreads
