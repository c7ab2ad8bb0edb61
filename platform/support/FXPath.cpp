#include "platform/support/FXPath.h"

#include <cerrno>

#include "platform/support/FXErrorUtil.h"

namespace {

// The next name of `path` from `at` on, runs of '/' skipped: false when none is left. Separators are never part of a
// name.
bool nextName(const std::string& path, size_t& at, size_t& start, size_t& length) {
    while (at < path.size() && path[at] == '/') {
        ++at;
    }
    if (at == path.size()) {
        return false;
    }
    start = at;
    while (at < path.size() && path[at] != '/') {
        ++at;
    }
    length = at - start;
    return true;
}

// 1 when a is a proper prefix of b, 0 when they are equal, -1 otherwise; name by name, both absolute or neither.
int prefixRelation(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty() || (a[0] == '/') != (b[0] == '/')) {
        return -1;
    }
    // Mostly b starts with a word for word, up to a name's end: then only what follows in b tells.
    size_t n = a.size();
    while (n > 1 && a[n - 1] == '/') {
        --n;
    }
    if (b.compare(0, n, a, 0, n) == 0 && (b.size() == n || b[n] == '/' || a[n - 1] == '/')) {
        return b.find_first_not_of('/', n) == std::string::npos ? 0 : 1;
    }
    size_t atA = 0;
    size_t atB = 0;
    for (;;) {
        size_t startA = 0;
        size_t lengthA = 0;
        size_t startB = 0;
        size_t lengthB = 0;
        const bool moreA = nextName(a, atA, startA, lengthA);
        const bool moreB = nextName(b, atB, startB, lengthB);
        if (!moreA) {
            return moreB ? 1 : 0;
        }
        if (!moreB || lengthA != lengthB || a.compare(startA, lengthA, b, startB, lengthB) != 0) {
            return -1;
        }
    }
}

}  // namespace

CQiError FXPath::Append(std::string& path, const std::string& part, unsigned int /*flags*/) {
    if (part.empty()) {
        return CQiError::Success();
    }
    if (path.empty()) {
        path = part;
        return CQiError::Success();
    }
    size_t keep = path.find_last_not_of('/');
    path.erase(keep == std::string::npos ? 0 : keep + 1);
    size_t from = part.find_first_not_of('/');
    path += '/';
    if (from != std::string::npos) {
        path.append(part, from, std::string::npos);
    }
    return CQiError::Success();
}

CQiError FXPath::SplitParentPath(const std::string& path, std::string& parent, std::string& name) {
    size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EINVAL, "path [%s] has no last name", path.c_str());
    }
    size_t slash = path.find_last_of('/', end);
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::string last = path.substr(start, end + 1 - start);
    if (slash == std::string::npos) {
        parent.clear();
    } else {
        size_t parentEnd = path.find_last_not_of('/', slash);
        parent = parentEnd == std::string::npos ? std::string("/") : path.substr(0, parentEnd + 1);
    }
    name = last;
    return CQiError::Success();
}

bool FXPath::IsAncestorOf(const std::string& ancestor, const std::string& path, bool orSelf) {
    int relation = prefixRelation(ancestor, path);
    return relation == 1 || (orSelf && relation == 0);
}

bool FXPath::IsSamePathAs(const std::string& a, const std::string& b) {
    return a == b || prefixRelation(a, b) == 0;
}
