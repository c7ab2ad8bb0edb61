// The destination names of one item, decided before its restore object exists: the job's database paths, a
// destination that names the file itself, the mapping, path translation, share auto-mount, Spanner instances, and
// then the file name extension and the version suffix.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/objects/RestoreUserGlobals.h"
#include "clRestore/options/NameSuffixes.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "clRestore/support/PathSafety.h"
#include "platform/log/LogWriter.h"
#include "platform/mounts/FileShareAutoMountManager.h"
#include "protocol/FsrMessages.h"

namespace {

const int kPlatformWithVersionField = 49;
const uint64_t kDatabaseFileMode = 0x81ed;
const uint32_t kDatabaseFileAttributes = 0x80;

[[noreturn]] void throwItemError(unsigned long id) {
    throw ClExceptError(static_cast<int>(id));
}

// The item's name. A name read from a header that fills the field without an end is refused: it is no name.
std::string itemNameOf(const char* hdrName, const CXFileHeader* header) {
    if (hdrName == nullptr) {
        return std::string();
    }
    if (header != nullptr && hdrName == header->name) {
        const size_t length = strnlen(hdrName, CXHDR_NAME_SIZE);
        if (length == CXHDR_NAME_SIZE) {
            FCL_ERROR("The item's name fills its header without an end; the item is not restored");
            throwItemError(fclitem::kNoDestination);
        }
        return std::string(hdrName, length);
    }
    return hdrName;
}

// Platform 49 keeps a field after the last ';' of a name: the text goes in front of it.
void addToName(std::string& name, const std::string& text, int platform) {
    const size_t semicolon = platform == kPlatformWithVersionField ? name.rfind(';') : std::string::npos;
    if (semicolon == std::string::npos) {
        name += text;
    } else {
        name.insert(semicolon, text);
    }
}

}  // namespace

bool FsRestoreUnixObjectsFactory::preapreFileName(const char* hdrName, std::string& translated, std::string& real,
                                                  CXFileHeader* header) try {
    fileRange = fileRange_t();
    const std::string original = itemNameOf(hdrName, header);
    FCL_LOG(3, "file range reset for %s", original.c_str());
    FclRestore* job = _fclRestore;
    // The names are given only once the item has them: an item that fails keeps none, not the last item's nor a
    // refused one.
    translated.clear();
    real.clear();
    std::string result;

    if (job != nullptr && job->isDBRestoreFromMultiplexedBackup()) {
        const int index = job->getRestorePathParameterIndex();
        const std::vector<std::string>& list = job->getDBPathRestoreList();
        if (index < 0 || static_cast<size_t>(index) >= list.size()) {
            FCL_ERROR("No database restore path is left for [%s] (index %d of %zu)", original.c_str(), index,
                      list.size());
            throwItemError(fclitem::kNoDestination);
        }
        result = list[static_cast<size_t>(index)];
        if (header != nullptr) {
            const size_t length = std::min(result.size(), CXHDR_NAME_SIZE - 1);
            memcpy(header->name, result.data(), length);
            header->name[length] = '\0';
            header->nameLength = static_cast<uint32_t>(length + 1);
            header->mode |= kDatabaseFileMode;
            header->ctime = static_cast<uint64_t>(time(nullptr));
            header->mtime = header->ctime;
            header->atime = static_cast<uint32_t>(header->mtime);
            header->uid = uPwd.pw_uid;
            header->gid = uPwd.pw_gid;
            FCL_LOG(3,
                    "fileHdr->h_mode = %llu index = [%d] hdrName = [%s] paramterName = [%s] uid = [%llu] gid = [%llu]",
                    static_cast<unsigned long long>(header->mode), index, original.c_str(), result.c_str(),
                    static_cast<unsigned long long>(header->uid), static_cast<unsigned long long>(header->gid));
            header->fileAttributes = kDatabaseFileAttributes;
        }
        job->incrementRestorePathIndex();
        translated = result;
        real = result;
        return true;
    }
    if ((_options & FSR_OPT_DEST_IS_FILE) != 0) {
        translated = _destDir;
        real = translated;
        return true;
    }

    // Selection, mapping and translation all see the normalised name.
    std::string name = original;
    checkItemSource(name);
    const int platform = header != nullptr ? header->sourcePlatform : 0;
    const unsigned short mode = header != nullptr ? static_cast<unsigned short>(header->mode & 0xFFFF) : 0;
    const bool outOfPlace = (_options & FSR_OPT_SYNTHETIC_FULL) == 0 &&
                            ((_options & FSR_OPT_OUT_OF_PLACE) != 0 || (job != nullptr && job->GetSiloJobFlag()));
    // Only the mapping and translation look at the source platform; asking switches the job's path order.
    const bool foreign = header != nullptr && (!_mapping.empty() || outOfPlace) &&
                         (isWindowsCrossRestore(platform) || isNovellCrossRestore(platform));
    // The name in Unix form: the name itself unless it comes from another platform.
    std::string converted;
    if (foreign) {
        converted = name;
        convertWindowsPathToUnixPath(original.c_str(), converted);
        checkItemSource(converted);
    }
    std::string& unixName = foreign ? converted : name;
    // The base the name must stay beneath; "" when the route has checked its own.
    std::string base;

    bool mapped = false;
    if (!_mapping.empty()) {
        if (getMappingPath(result, unixName)) {
            if (result.empty()) {
                throwItemError(fclitem::kExcludedByMapping);
            }
            mapped = true;
            base = currentMappedPath;
            if (foreign && isUfsDumpFile(header->flags2)) {
                result += ".ufsdump";
            }
        } else if (_restoreUnmappedData == 0) {
            throwItemError(fclitem::kNoDestination);
        }
    }
    _currentItemMapped = mapped ? 1 : 0;

    auto translateFrom = [&](const std::string& source) {
        translatePathname(result, source, header, mode);
        if (result.empty()) {
            FCL_LOG(0, "translatePathname return empty path (fromPath:%s)", source.c_str());
            return false;
        }
        return true;
    };
    if (!mapped) {
        if (outOfPlace) {
            if (!translateFrom(unixName)) {
                return false;
            }
        } else if (job != nullptr && job->ShouldAutoMountShare()) {
            FileShareAutoMountManager* manager = job->GetAutoMountManager();
            if (manager == nullptr || manager->translatePath(result, name).IsError() || result == name) {
                FCL_LOG(0, "Automount Manager failed to translate (fromPath:%s)", name.c_str());
                throwItemError(fclitem::kNoDestination);
            }
        } else if (job != nullptr && job->IsSpannerInstance()) {
            if (!translateFrom(name)) {
                return false;
            }
        } else {
            refuseOutsideSelection(name, ((header != nullptr ? header->mode : mode) & 0xF000) == 0x4000);
            result = name;
        }
    }

    FSRInitData* init = job != nullptr ? job->getInitData() : nullptr;
    const char* suffix = fclnames::restoreSuffixOf(init);
    if (header != nullptr && (header->mode & 0xF000) == 0x8000 && suffix != nullptr) {
        const std::string extension = suffix;
        FCL_LOG(0, "Restore file name extension provided [%s] for file [%s]", extension.c_str(), original.c_str());
        addToName(result, extension, platform);
    }
    if (getVersion() != 0 && job != nullptr && fclnames::keepsVersionSuffix(job->getAppType())) {
        char suffix[32];
        snprintf(suffix, sizeof suffix, ",%lu", getVersion());
        addToName(result, suffix, platform);
        if (header != nullptr) {
            header->nameLength = static_cast<uint32_t>(original.size() + 1);
        }
    }
    checkItemDestination(result, base);
    real = result;
    translated = std::move(result);
    return true;
} catch (const std::exception&) {
    throwAsItemError();
}
