#pragma once
// Writing an item's name into its header record: the name field holds 1027 bytes and a NUL, and a name that does not
// fit is refused rather than cut, since a cut name would restore the item somewhere else.
#include <algorithm>
#include <cstring>
#include <string>

#include "protocol/CXFileHeader.h"

namespace fclstream {

// Puts `name` into `hdr` (the rest of the field cleared); with `updateLength` h_namelen becomes its length + 1.
// False, with the header unchanged, when the name does not fit.
inline bool setHeaderName(CXFileHeader* hdr, const std::string& name, bool updateLength) {
    if (name.size() >= CXHDR_NAME_SIZE || name.find('\0') != std::string::npos) {
        return false;
    }
    std::memset(hdr->h_filename, 0, CXHDR_NAME_SIZE);
    std::memcpy(hdr->h_filename, name.data(), name.size());
    if (updateLength) {
        hdr->h_namelen = static_cast<uint32_t>(name.size() + 1);
    }
    return true;
}

// Puts `name` into `hdr` cut to the field (1027 bytes and a NUL), the rest of the field cleared; h_namelen stays.
// For names that only label a result, never for a name the item is restored under.
inline void setHeaderNameCut(CXFileHeader* hdr, const std::string& name) {
    std::memset(hdr->h_filename, 0, CXHDR_NAME_SIZE);
    std::memcpy(hdr->h_filename, name.data(), std::min(name.size(), CXHDR_NAME_SIZE - 1));
}

}  // namespace fclstream
