// Rules on IBM i integrated-file-system paths, for the host: whether a path names the library file system of an
// independent auxiliary storage pool, whether it is an acceptable object path in QSYS.LIB, and how to cut leading
// levels off a path. Elements are the path split at every '/', empty ones kept, so an absolute path has an empty
// element 0; "QSYS.LIB" is matched exactly, the ".LIB" suffix of a library in any case.
//
// A path with a ".." element is never accepted and never cut: what the host builds from the answer is joined under
// a destination, and ".." would climb out of it.
#include <algorithm>
#include <string>
#include <vector>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"

namespace {

const char kQsys[] = "QSYS.LIB";
const char kLibrarySuffix[] = ".LIB";

std::vector<std::string> elementsOf(const std::string& path) {
    std::vector<std::string> elements;
    FXString::Split(path, "/", elements, FXString::kSplitKeepEmpty);
    return elements;
}

bool climbs(const std::vector<std::string>& elements) {
    return std::find(elements.begin(), elements.end(), "..") != elements.end();
}

bool isElement(const std::vector<std::string>& elements, size_t index, const char* text) {
    return index < elements.size() && elements[index] == text;
}

bool isLibrary(const std::string& element) {
    return FXString::MatchRightNoCase(element, kLibrarySuffix);
}

}  // namespace

bool FclRestoreUNIX::isValidIASPPath(std::string path) {
    const bool valid = isElement(elementsOf(path), 2, kQsys);
    FCL_LOG(3, "%s %s", "::isValidIASPPath()", valid ? "true" : "false");
    return valid;
}

bool FclRestoreUNIX::isValidQSYSPath(std::string path) {
    const std::vector<std::string> elements = elementsOf(path);
    const size_t n = elements.size();
    FCL_LOG(3, "strPath [%s] elements.size()[%zu]", path.c_str(), n);
    if (climbs(elements)) {
        FCL_LOG(3, "A library path has no \"..\" element");
        return false;
    }
    int q;
    if (isElement(elements, 1, kQsys)) {
        q = 1;
    } else if (isElement(elements, 2, kQsys)) {
        q = 2;
    } else {
        FCL_LOG(3, "Not a library path");
        return false;
    }
    FCL_LOG(3, "iQSYSIdx[%d]", q);
    const size_t at = static_cast<size_t>(q);
    if (isElement(elements, at + 1, kQsys) || isElement(elements, at + 2, kQsys)) {
        FCL_LOG(3, "/QSYS.LIB/QSYS.LIB or /IASP/QSYS.LIB/QSYS.LIB or /QSYS.LIB/IASP/QSYS.LIB");
        return false;
    }
    if (n - 1 == at) {
        FCL_LOG(3, "/QSYS.LIB or /IASP/QSYS.LIB");
        return true;
    }
    if (n >= at + 3 && isLibrary(elements[at + 1]) && isLibrary(elements[at + 2])) {
        FCL_LOG(3, "/QSYS.LIB/ABC.LIB/ABC.LIB or /IASP/QSYS.LIB/ABC.LIB/ABC.LIB");
        return false;
    }
    if (!isLibrary(elements[at + 1])) {
        FCL_LOG(3, "QSYS.LIB object ok if %zu <= %d+3", n, q);
        return n <= at + 3;
    }
    FCL_LOG(3, "*.LIB object ok if %zu <= %d+4", n, q);
    return n <= at + 4;
}

std::string FclRestoreUNIX::stripPathLevlel(std::string path, int levels) {
    const std::vector<std::string> elements = elementsOf(path);
    std::string result;
    if (climbs(elements)) {
        FCL_ERROR("Path [%s] climbs with \"..\"; no levels are stripped from it", path.c_str());
    } else if (levels >= 0 && static_cast<size_t>(levels) < elements.size()) {
        for (size_t i = static_cast<size_t>(levels) + 1; i < elements.size(); ++i) {
            if (!elements[i].empty()) {
                FXPath::Append(result, elements[i], 0);
            }
        }
    }
    FCL_LOG(3, "%s strResultPath [%s]", "::stripPathLevlel()", result.c_str());
    return result;
}
