#pragma once
// The AppleDouble companion file of an Apple item restored to this file system: "._<name>" beside the item.

// The size of the buffer the companion path is written into, its terminator included.
constexpr int WZ_DFMF_NAME_MAX = 1280;

// Writes the companion path of `path` into `out` (WZ_DFMF_NAME_MAX bytes): 0, or -1 with errno ENAMETOOLONG when it
// does not fit, or EINVAL when `path` names no file (empty, or ending in '/'); `out` is then an empty string.
int WZ_DFMF_NAME(const char* path, char* out);
