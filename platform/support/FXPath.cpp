#include "platform/support/FXPath.h"

#include <cerrno>
#include <vector>

#include "platform/support/FXErrorUtil.h"

namespace {

// The components of a path and whether it is absolute; separators are never part of a component.
struct PathParts {
    bool absolute;
    std::vector<std::string> names;
};

PathParts partsOf(const std::string& path) {
    PathParts parts{!path.empty() && path[0] == '/', {}};
    FXString::Split(path, "/", parts.names, 0);
    return parts;
}

// 1 when a is a proper prefix of b, 0 when they are equal, -1 otherwise.
int prefixRelation(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) {
        return -1;
    }
    PathParts pa = partsOf(a);
    PathParts pb = partsOf(b);
    if (pa.absolute != pb.absolute || pa.names.size() > pb.names.size()) {
        return -1;
    }
    for (size_t i = 0; i < pa.names.size(); ++i) {
        if (pa.names[i] != pb.names[i]) {
            return -1;
        }
    }
    return pa.names.size() == pb.names.size() ? 0 : 1;
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
