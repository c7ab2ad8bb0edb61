#pragma once
// The data path's free helpers: the zero-run scanners that turn zeros inside data buffers into holes, and the limit
// on the data kept in memory for a stub.
#include <cstddef>

// The number of zero bytes at the start of `p`, at most `length`.
long find_hole(char* p, long length);
// A length of leading data that ends at an aligned all-zero word (or at the end of the whole words); it may stop
// short of the true end of the data, and never counts a trailing part shorter than 8 bytes. Neither scanner reads at
// or beyond `p + length`.
long find_data(char* p, long length);

// A stub is made from exactly this many bytes of its data: more is never kept, less is filled with zeros.
constexpr size_t kStubDataSize = 1024;
