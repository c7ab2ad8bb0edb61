// The destination path of one item by the job's path mode: unchanged, a silo mount location, a photo-library name,
// a component-indexing name, an index-reconstruction name, an HBase incremental name, a flat name or a name with
// the leading directories of its source path stripped (StripLevels.cpp).
//
// Every failure leaves the result empty, the callers' sign that the item has no destination: a result left as the
// caller passed it would hand the item the name of the one before it.
#include <algorithm>
#include <exception>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/factory/PathTranslationSteps.h"
#include "clRestore/factory/SourcePathOrder.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "clRestore/support/PathSafety.h"
#include "platform/apps/ApplicationTypes.h"
#include "platform/log/LogWriter.h"
#include "protocol/ApplicationTypes.h"
#include "protocol/FsrMessages.h"

namespace {

const char kIndexMarker[] = "%IDXDB%";
const size_t kIndexMarkerSize = sizeof(kIndexMarker) - 1;
const char kHBaseMarker[] = "~INCREMENTAL~";

bool isSiloDatabasePath(const std::string& path) {
    return path.find("\\WZ_SIDB\\") != std::string::npos || path.find("/WZ_SIDB/") != std::string::npos;
}

// The last two names of `from` under the destination.
void translateForComponentIndexing(std::string& to, const TranslationInput& in) {
    to = in.dest;
    if (to.empty() || to.back() != '/') {
        to += '/';
    }
    const size_t last = in.from.rfind('/');
    if (last == std::string::npos || last == 0) {
        FCL_ERROR("(CIR1) path in the file header is invalid [%s]", in.from.c_str());
        to.clear();
        return;
    }
    const size_t before = in.from.rfind('/', last - 1);
    if (before == std::string::npos) {
        FCL_LOG(0, "(CIR2) path in the file header is invalid [%s]", in.from.c_str());
        to.clear();
        return;
    }
    to.append(in.from, before + 1, std::string::npos);
    FCL_LOG(0, "Component indexing path to restore [%s]", to.c_str());
    FCL_LOG(0, "fromPath [%s]", in.from.c_str());
    FCL_LOG(0, "fileHdr->h_filename [%s]", headerItemName(in.header).c_str());
    FCL_LOG(0, "destination dir [%s]", in.dest.c_str());
}

// The index database's path from its marker on, with the first source path's strip level of names dropped.
void translateForIndexReconstruction(std::string& to, const TranslationInput& in) {
    const std::string& from = in.from;
    const size_t marker = from.find(kIndexMarker);
    if (marker == std::string::npos) {
        FCL_ERROR("Unexpected error: Wrong source path specified");
        to.clear();
        return;
    }
    const size_t end = marker + kIndexMarkerSize;
    std::string work = from;
    size_t walkFrom = marker;
    if (end >= from.size() || (from[end] != '/' && from[end] != '\\')) {
        const char separator = from.find('/') != std::string::npos ? '/' : '\\';
        work = std::string(kIndexMarker) + separator + from.substr(end);
        walkFrom = 0;
    }
    const char separator = work[walkFrom + kIndexMarkerSize];
    size_t cursor = 0;
    std::string tail;
    bool ranOut = false;
    for (int i = 0; i <= firstStripLevel(in); ++i) {
        const size_t next = work.find(separator, cursor + 1);
        if (next == std::string::npos) {
            const size_t last = from.rfind(separator);
            tail = last == std::string::npos ? from : from.substr(last + 1);
            ranOut = true;
            break;
        }
        cursor = next;
    }
    if (!ranOut) {
        tail = work.substr(cursor);
    }
    to = in.dest;
    // The walk that runs out leaves a bare name: joined without a separator it would name a sibling of the
    // destination.
    const bool destSlash = !to.empty() && to.back() == '/';
    const bool tailSlash = !tail.empty() && tail[0] == '/';
    if (!to.empty() && !destSlash && !tailSlash) {
        to += '/';
    }
    to.append(tail, destSlash && tailSlash ? 1 : 0, std::string::npos);
}

// The destination directory and the item's base name.
void translateFlat(std::string& to, const TranslationInput& in, FsRestoreUnixObjectsFactory& factory) {
    to = in.dest + "/";
    std::string name;
    if (in.job != nullptr && in.job->getAppType() == fclapps::kVirtualServerAppType) {
        const size_t last = in.copy.find_last_of("/\\");
        name = last == std::string::npos ? std::string() : in.copy.substr(last + 1);
    } else {
        name = factory.getBasename(in.copy);
    }
    if (name.empty()) {
        FCL_ERROR("Could not get basename from %s", in.copy.c_str());
        return;
    }
    to += name;
}

}  // namespace

// In place an item goes back to its own path: one that lies under no selected source path would be written wherever
// its name points, so a file-system job refuses it rather than reach beyond what was asked for. A search-index job
// carries the file-system application type too, but its items go where the index puts them, not under the dummy
// paths it selects.
void FsRestoreUnixObjectsFactory::refuseOutsideSelection(const std::string& source, bool isDirectory) const {
    if ((_options & FSR_OPT_OUT_OF_PLACE) != 0 || _srcPaths == nullptr || _numSrcPaths <= 0 || _fclRestore == nullptr ||
        !isUnixFileSystemAppType(_fclRestore->getAppType()) || _fclRestore->IsSolrDBRestore() ||
        _fclRestore->IsSolrCloudRestore()) {
        return;
    }
    if (!liesUnderSelection(source, isDirectory)) {
        FCL_ERROR("[%s] lies under no selected source path; in place it is not restored", source.c_str());
        throw ClExceptError(static_cast<int>(fclitem::kNoDestination));
    }
}

bool FsRestoreUnixObjectsFactory::liesUnderSelection(const std::string& source, bool isDirectory) const {
    if (_srcPaths == nullptr || _numSrcPaths <= 0) {
        return true;
    }
    std::string key = source;
    if (key.empty() || key[0] != '/') {
        key.insert(0, "/");
    }
    if (isDirectory) {
        key += "/";
    }
    return findSourcePath(key.c_str(), _srcPaths, _numSrcPaths, _caseSensitivePaths) != nullptr;
}

int firstStripLevel(const TranslationInput& in) {
    return in.paths != nullptr && in.count > 0 ? static_cast<int>(in.paths[0].stripLevel) : 0;
}

void FsRestoreUnixObjectsFactory::translatePathname(std::string& out, const std::string& from, CXFileHeader* header,
                                                    unsigned short mode) try {
    std::string source = from;
    // Built apart and handed out only once it has passed the check: a refused name is never left behind.
    out.clear();
    std::string to;
    checkItemSource(source);
    FclRestore* job = _fclRestore;
    // What the route puts in front of the item's tail; the result must stay at or beneath it.
    std::string base;

    if (job != nullptr && job->IsContentIndexingRestore()) {
        to = source;
        FCL_LOG(6, "Computed restore path : %s", to.c_str());
        checkItemDestination(to, base);
        out = std::move(to);
        return;
    }
    const unsigned int type = header != nullptr ? (static_cast<unsigned int>(header->mode) & 0xF000) : (mode & 0xF000u);
    const bool isDirectory = type == 0x4000;
    // The working copy differs from the source only for a silo path; otherwise the source serves as it.
    std::string siloCopy;
    const std::string* copy = &source;

    if ((_options & FSR_OPT_SYNTHETIC_FULL) != 0) {
        to = source;
        checkItemDestination(to, base);
        out = std::move(to);
        return;
    }
    if (job != nullptr && job->GetSiloJobFlag()) {
        if (!isSiloDatabasePath(source)) {
            if (!translateSiloPathname(to, source, &base)) {
                FCL_ERROR("Could not translate path name %s for silo restore!", source.c_str());
                return;
            }
            checkItemDestination(to, base);
            out = std::move(to);
            return;
        }
        siloCopy = source;
        std::replace(siloCopy.begin(), siloCopy.end(), '\\', '/');
        checkItemSource(siloCopy);
        copy = &siloCopy;
    }

    const std::string& dest = _destDir;
    const TranslationInput in{job,
                              source,
                              *copy,
                              header,
                              isDirectory,
                              dest,
                              _options,
                              _srcPaths,
                              _srcPaths != nullptr ? _numSrcPaths : 0,
                              _caseSensitivePaths};
    if (job != nullptr && job->IsIphotoFileRestore()) {
        CQiError error = job->TranslateIphotoPath(to, source, dest);
        if (error.IsError()) {
            FCL_ERROR("TranslateIphotoPath failed %s", error.AsString().c_str());
            to.clear();
        }
        job->SetIphotoPreviousImagePath(to);
        FCL_LOG(4, "Final Iphoto path %s", to.c_str());
        base = dest;
    } else if ((_options & FSR_OPT_DEST_IS_FILE) != 0) {
        FCL_ERROR("translatePathname() is called for DMR-triggered restores!");
    } else if ((_options & FSR_OPT_COMPONENT_INDEXING) != 0 && (_options & FSR_OPT_INDEX_CACHE) != 0) {
        translateForComponentIndexing(to, in);
        base = dest;
    } else if ((_options & FSR_OPT_INDEX_RECONSTRUCTION) != 0) {
        translateForIndexReconstruction(to, in);
        base = dest;
    } else {
        if (*copy == "/") {
            return;
        }
        FCL_LOG(3, "From path [%s] ToPath [%s] ", source.c_str(), to.c_str());
        const size_t marker = source.find(kHBaseMarker);
        if (job != nullptr && job->IsHBaseRestore() && marker != std::string::npos) {
            to = source.substr(marker + sizeof(kHBaseMarker) - 1);
            FCL_LOG(0, " HBase incremental restore [%s] ", to.c_str());
        } else if ((_options & (FSR_OPT_KEEP_DIR_STRUCTURE | FSR_OPT_COMMON_STRIP_LEVEL)) == 0) {
            translateFlat(to, in, *this);
            base = dest;
        } else {
            translateByStripLevel(to, in, *this);
            base = dest;
        }
    }
    if (!to.empty()) {
        checkItemDestination(to, base);
    }
    out = std::move(to);
} catch (const std::exception&) {
    throwAsItemError();
}
