#include "clRestore/support/PathSafety.h"

#include <cstring>
#include <exception>
#include <new>

#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXPath.h"
#include "protocol/CXFileHeader.h"

namespace {

[[noreturn]] void refuse() {
    throw ClExceptError(static_cast<int>(fclitem::kNoDestination));
}

// True when the path is as normalising leaves it: no name is empty (but after a final '/'), "." or "..".
bool alreadyNormal(const std::string& path) {
    const char* p = path.data();
    const char* const end = p + path.size();
    if (p != end && *p == '/') {
        ++p;
    }
    // From the start of each name on: only its first bytes can make it empty, "." or ".."; the rest of it is
    // passed over with memchr, which every item's several checks make worth it.
    for (;;) {
        if (p == end) {
            return true;
        }
        if (*p == '/') {
            return false;
        }
        if (*p == '.' && (p + 1 == end || p[1] == '/' || (p[1] == '.' && (p + 2 == end || p[2] == '/')))) {
            return false;
        }
        const void* slash = std::memchr(p, '/', static_cast<size_t>(end - p));
        if (slash == nullptr) {
            return true;
        }
        p = static_cast<const char*>(slash) + 1;
    }
}

}  // namespace

bool normaliseItemPath(std::string& path) {
    if (alreadyNormal(path)) {
        return true;
    }
    // In place: the text only shrinks, and each name moves to a position at or before its own.
    const size_t length = path.size();
    const bool trailing = length > 1 && path[length - 1] == '/';
    size_t out = 0;
    if (length > 0 && path[0] == '/') {
        path[out++] = '/';
    }
    bool climbs = false;
    for (size_t in = 0; in < length;) {
        while (in < length && path[in] == '/') {
            ++in;
        }
        const size_t begin = in;
        while (in < length && path[in] != '/') {
            ++in;
        }
        const size_t size = in - begin;
        if (size == 0 || (size == 1 && path[begin] == '.')) {
            continue;
        }
        climbs = climbs || (size == 2 && path[begin] == '.' && path[begin + 1] == '.');
        if (out > 0 && path[out - 1] != '/') {
            path[out++] = '/';
        }
        for (size_t i = 0; i < size; ++i) {
            path[out++] = path[begin + i];
        }
    }
    if (trailing && out > 0 && path[out - 1] != '/') {
        path[out++] = '/';
    }
    path.resize(out);
    return !climbs;
}

void checkItemSource(std::string& source) {
    if (!normaliseItemPath(source)) {
        FCL_ERROR("Path [%s] climbs with \"..\"; the item is not restored", source.c_str());
        refuse();
    }
}

void checkItemDestination(std::string& name, const std::string& base) {
    if (!normaliseItemPath(name)) {
        FCL_ERROR("Destination [%s] climbs with \"..\"; the item is not restored", name.c_str());
        refuse();
    }
    if (base.empty()) {
        return;
    }
    // The base is nearly always normal already: then it serves as it is.
    const bool normal = alreadyNormal(base);
    std::string normalised;
    if (!normal) {
        normalised = base;
        normaliseItemPath(normalised);
    }
    const std::string& root = normal ? base : normalised;
    if (!FXPath::IsAncestorOf(root, name, true)) {
        FCL_ERROR("Destination [%s] lies outside [%s]; the item is not restored", name.c_str(), root.c_str());
        refuse();
    }
}

std::string headerItemName(const CXFileHeader* header) {
    if (header == nullptr) {
        return std::string();
    }
    return std::string(header->name, strnlen(header->name, CXHDR_NAME_SIZE));
}

void throwAsItemError() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        FCL_ERROR("No memory to name the item");
        throw ClExceptError(static_cast<int>(fclitem::kNoMemory));
    } catch (const std::exception& error) {
        FCL_ERROR("The item cannot be named: %s", error.what());
        throw ClExceptError(static_cast<int>(fclitem::kNoDestination));
    }
}
