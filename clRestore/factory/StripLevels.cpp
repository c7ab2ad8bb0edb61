// Strip-level translation: the item lands under the destination with the leading directories of its source path
// dropped, as many as the strip level of the source path it lies under.
#include <algorithm>
#include <cstring>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/factory/PathTranslationSteps.h"
#include "clRestore/factory/SourcePathOrder.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "clRestore/support/PathSafety.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXPath.h"
#include "protocol/ApplicationTypes.h"
#include "protocol/FsrMessages.h"

namespace {

const unsigned long long kDestAppTypeSalesforce = 134;
const char kMySqlNoBrowse[] = "/+NOBROWSE+";
// The smallest strip level an index-cache item's own path is stripped by.
const int kIndexCacheMinStripLevel = 3;

// The strip level of one item.
struct StripDecision {
    int level = 0;
    bool decided = false;  // false: the item is not translated (shorter than every source path)
};

size_t countSlashes(std::string path) {
    FXPath::RemoveTrailingDelimiter(path);
    return static_cast<size_t>(std::count(path.begin(), path.end(), '/'));
}

// The path without its first name: from its first '/' after the first character on; "" when it has none.
std::string withoutFirstName(const std::string& path) {
    const size_t slash = path.find('/', 1);
    return slash == std::string::npos ? std::string() : path.substr(slash);
}

bool beginsWith(const std::string& text, const std::string& prefix) {
    return !prefix.empty() && text.compare(0, prefix.size(), prefix) == 0;
}

// FBR source paths begin with a volume-group name that the item's path may or may not carry.
int fbrStripLevel(std::string& key, const TranslationInput& in, FsRestoreUnixObjectsFactory& factory) {
    if (in.header == nullptr || !factory.isWindowsCrossRestore(in.header->sourcePlatform)) {
        key.insert(0, "/");
    }
    int level = 0;
    bool found = false;
    for (int i = 0; i < in.count && !found; ++i) {
        if (in.paths[i].path == nullptr) {
            continue;
        }
        const std::string full = in.paths[i].path;
        if (beginsWith(in.from, withoutFirstName(full)) || beginsWith(in.from, full)) {
            level = static_cast<int>(in.paths[i].stripLevel);
            found = true;
        }
    }
    if (!found) {
        FCL_LOG(
            0,
            "Couldn't find strip level for FBR path [%s] with VG name. Further search it in FBR mount paths without "
            "VG.",
            in.from.c_str());
        const std::string tail = withoutFirstName(in.from);
        for (int i = 0; i < in.count && !found && !tail.empty(); ++i) {
            if (in.paths[i].path != nullptr && beginsWith(tail, withoutFirstName(in.paths[i].path))) {
                level = static_cast<int>(in.paths[i].stripLevel) + 1;
                found = true;
            }
        }
    }
    if (!found) {
        level = 0;
        FCL_LOG(0, "Can't find strip level for [%s]. Set stripLevel as 0 for it.", in.from.c_str());
    }
    FCL_LOG(0, "FBR set stripLevel = [%d] for path [%s] fromPath [%s] FBR restore", level, key.c_str(),
            in.from.c_str());
    return level;
}

// An index-cache item is stripped by the depth of its own header name against the source path it matched.
int indexCacheStripLevel(std::string& key, const std::string& searched, const FSRSrcPath& found,
                         const TranslationInput& in) {
    std::string suffix;
    if (in.header != nullptr && (in.header->flags2 & CXHDR_F2_EXTENT) != 0) {
        std::string parent;
        FXPath::SplitParentPath(in.copy, parent, suffix);
        FCL_LOG(3, "Extracting extentSuffix [%s]", suffix.c_str());
    }
    std::string name = headerItemName(in.header);
    checkItemSource(name);
    size_t headerDepth = countSlashes(name);
    const size_t keyDepth = countSlashes(searched);
    key = name;
    if (!suffix.empty()) {
        key += "/" + suffix;
        ++headerDepth;
    }
    if (in.isDirectory) {
        key += "/";
    }
    const long level = std::max(static_cast<long>(found.stripLevel), static_cast<long>(kIndexCacheMinStripLevel)) +
                       static_cast<long>(headerDepth) - static_cast<long>(keyDepth);
    return level < 0 ? 0 : static_cast<int>(level);
}

StripDecision searchStripLevel(std::string& key, const TranslationInput& in) {
    StripDecision decision;
    std::string searched = key;
    const FSRSrcPath* found = findSourcePath(key.c_str(), in.paths, in.count, in.caseSensitive);
    if (found == nullptr && in.header != nullptr && (in.header->flags2 & CXHDR_F2_LONG_PATH) != 0) {
        searched = headerItemName(in.header);
        checkItemSource(searched);
        found = findSourcePath(searched.c_str(), in.paths, in.count, in.caseSensitive);
    }
    if (in.job != nullptr && in.job->IsCacheDBRestore() && in.paths != nullptr && in.count >= 1) {
        if (found != nullptr) {
            decision.level = indexCacheStripLevel(key, searched, *found, in);
            decision.decided = true;
            return decision;
        }
        found = &in.paths[0];
    }
    if (found != nullptr) {
        decision.level = static_cast<int>(found->stripLevel);
        decision.decided = true;
        return decision;
    }
    if (MinSrcPathSize == 0) {
        for (int i = 0; i < in.count; ++i) {
            if (in.paths[i].path == nullptr) {
                continue;
            }
            const int size = static_cast<int>(strlen(in.paths[i].path));
            if (MinSrcPathSize == 0 || size < MinSrcPathSize) {
                MinSrcPathSize = size;
            }
        }
    }
    if (static_cast<int>(in.copy.size()) < MinSrcPathSize) {
        return decision;
    }
    decision.level = 1;
    decision.decided = true;
    return decision;
}

// Drops `level` leading names of `key`; a level beyond its depth leaves the last name. The position of the '/' the
// kept part begins with.
size_t stripWalk(std::string& key, int level, bool isDirectory) {
    size_t cursor = 0;
    for (int i = 0; i < level; ++i) {
        const size_t next = key.find('/', cursor + 1);
        if (next != std::string::npos) {
            cursor = next;
            continue;
        }
        cursor = key.rfind('/');
        if (isDirectory && cursor != std::string::npos && cursor == key.size() - 1) {
            key.erase(cursor);
            cursor = key.rfind('/');
        }
        if (cursor == std::string::npos) {
            FCL_ERROR("could not strip %d levels off path %s", level, key.c_str());
            throw ClExceptError(static_cast<int>(fclitem::kStripLevelFailed));
        }
        break;
    }
    return cursor;
}

}  // namespace

void translateByStripLevel(std::string& to, const TranslationInput& in, FsRestoreUnixObjectsFactory& factory) {
    std::string key = in.copy;
    if (key.empty() || key[0] != '/') {
        key.insert(0, "/");
    }
    if (in.isDirectory) {
        key += "/";
    }
    FclRestore* job = in.job;
    if (job != nullptr && job->getAppType() == fclapps::kMySqlAppType) {
        if (key.compare(0, 5, "/+NOB") != 0) {
            key.insert(0, kMySqlNoBrowse);
        }
        FCL_LOG(6, "src.path=[%s]", key.c_str());
    }

    StripDecision decision;
    if ((in.options & FSR_OPT_COMMON_STRIP_LEVEL) != 0) {
        decision.level = firstStripLevel(in);
    } else if (job != nullptr && job->getDestAppType() == kDestAppTypeSalesforce && !job->IsCloudRestore()) {
        FCL_LOG(10, "Salesforce restore:resetting strip level to 0");
    } else if (job != nullptr && job->IsSpannerInstance()) {
        FCL_LOG(3, "Spanner restore : resetting strip level to 0");
    } else if (key.find('/', 1) == std::string::npos) {
        // One name that may hold backslashes: each becomes a directory level, checked again by the caller.
        std::replace(key.begin(), key.end(), '\\', '/');
        to = in.dest + key;
        return;
    } else if (job != nullptr && job->getAppType() == fclapps::kVirtualServerAppType) {
        decision.level = fbrStripLevel(key, in, factory);
    } else {
        decision = searchStripLevel(key, in);
        if (!decision.decided) {
            return;
        }
    }
    FCL_LOG(3, "fromPath [%s], cp [%s], toPath [%s], destDir [%s], stripLevel[%lu] ", in.from.c_str(), key.c_str(),
            to.c_str(), in.dest.c_str(), static_cast<unsigned long>(firstStripLevel(in)));
    if (job != nullptr && job->getGreenplumRestoreOption() == 1) {
        to = in.dest;
        return;
    }
    FCL_LOG(3, "Process striplevel final [%d]", decision.level);
    const size_t cursor = stripWalk(key, decision.level, in.isDirectory);
    to = in.dest;
    const bool destSlash = !to.empty() && to.back() == '/';
    const bool keySlash = key[cursor] == '/';
    if (!keySlash && !destSlash) {
        to += '/';
    }
    to.append(key, cursor + (keySlash && destSlash ? 1 : 0), std::string::npos);
    FCL_LOG(3, "Final toPath=[%s]", to.c_str());
}
