#pragma once
// The file calls' side of the failure hooks. Internal to the file-call layer.
#include "platform/files/FileCallHooks.h"

namespace wzfiles {
namespace detail {

// True, with errno set, when an armed injection takes this call.
bool injectedFailure(FileCall call, const char* path, const char* otherPath = nullptr);

}  // namespace detail
}  // namespace wzfiles
