// Hard links carried by the stream: the overwrite test and the link step for one name, the destination of a further
// name, and the life of a group (its start, its further names, its primary's end and its close-out).
//
// A name is only ever linked to the group's primary as this job restored it, or as the job found it and kept it when
// that is a plain file of the destination reached through no link (a re-run over a tree that lost a name): a primary
// that failed or never came has no file of the group at its destination, and linking to whatever is there would join
// the name to a file outside its group.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/StaticUtils.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/stream/HardLinks.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/files/DestinationGate.h"
#include "platform/files/FileCalls.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"

bool dummyHlinkVar = false;

namespace {

constexpr size_t kLinkPathMax = 1024;

void setCode(FsRestoreObjectsFactory* factory, unsigned long code) {
    if (factory != nullptr) {
        factory->setErrCode(code);
    }
}

unsigned long optionsOf(FsRestoreObjectsFactory* factory) {
    return factory != nullptr ? factory->getOptions() : 0;
}

bool linkStep(std::string& primary, std::string& link, unsigned long long archiveTime, FsRestoreObjectsFactory* factory,
              EvEvent* event) {
    for (int attempt = 1; attempt <= 2; ++attempt) {
        // The file calls link without following either name, beneath the destination root.
        if (link_utf(primary.c_str(), link.c_str()) == 0) {
            setCode(factory, 0);
            return true;
        }
        const int error = errno;
        if (attempt == 2) {
            FCL_ERROR("Error [%d] after creating ancestors of link [%s] to [%s]", error, link.c_str(), primary.c_str());
            FCL_ERROR("Failed to create hard link %s pointing to %s:%s %d ", link.c_str(), primary.c_str(),
                      strerror(error), error);
            setCode(factory, fclitem::kCreateFailed);
            return false;
        }
        if (error == ENOENT) {
            const size_t slash = link.rfind('/');
            if (slash == std::string::npos) {
                FCL_ERROR("Bad link path [%s] to [%s]", link.c_str(), primary.c_str());
                setCode(factory, fclitem::kCreateFailed);
                return false;
            }
            std::string parent = link.substr(0, slash);
            if (parent.empty() || StaticUtils::createDirsIteratively(&parent[0]) == 0) {
                FCL_ERROR("Error [%d] while creating ancestors of link [%s] to [%s]", errno, link.c_str(),
                          primary.c_str());
                setCode(factory, fclitem::kCreateFailed);
                return false;
            }
        } else if (error == EEXIST) {
            if (link == primary) {
                FCL_ERROR("Failed to create hard link %s pointing to %s:%s %d ", link.c_str(), primary.c_str(),
                          strerror(error), error);
                FCL_ERROR("Not Deleting Same Path %s pointing to %s", link.c_str(), primary.c_str());
                return true;
            }
            if (!IfHLToBeOverWritten(link, archiveTime, factory, event, dummyHlinkVar, false)) {
                FCL_LOG(2, "++++++++++++++Link [%s] to [%s] already exists so not creating ", link.c_str(),
                        primary.c_str());
                setCode(factory, fclitem::kSkippedExisting);
                return true;
            }
            FCL_LOG(2, "deleting ondisk file [%s] ", link.c_str());
            if (unlink_utf(link.c_str()) != 0) {
                FCL_ERROR("Error [%d] while cleaning [%s] to create link to [%s]", errno, link.c_str(),
                          primary.c_str());
                setCode(factory, fclitem::kCreateFailed);
                return false;
            }
        } else {
            FCL_ERROR("link(%s, %s) failed with errno %d.", primary.c_str(), link.c_str(), error);
            // Refused by the destination gate or the file system: the name is not restored.
            setCode(factory, fclitem::kCreateFailed);
            return false;
        }
    }
    return false;
}

std::vector<_HLElementByIndex>* openGroup(FclRestore& job) {
    if (job.previousName.empty()) {
        return nullptr;
    }
    auto group = job.realLinkPathsMap.find(job.previousName);
    return group == job.realLinkPathsMap.end() || group->second.empty() ? nullptr : &group->second;
}

void record(FclRestore& job, const std::string& name, unsigned long code) {
    job.HandleRestoreFileUpdate(name.c_str(), static_cast<int>(code), nullptr, "");
}

// A first name the job found and kept takes the group's other names only as a regular file of the destination reached
// through no link: one under a link, or anything but a plain file, may be what the user made of it, not the group.
bool keptFileTakesLinks(const std::string& path) {
    const std::string root = wzfiles::destinationRoot();
    size_t from = 0;
    if (!root.empty()) {
        const bool under = path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                           (root.back() == '/' || path[root.size()] == '/');
        if (!under) {
            return false;
        }
        from = root.size();
    }
    struct stat st;
    for (size_t slash = path.find('/', from + 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (lstat_utf(path.substr(0, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            return false;
        }
    }
    return lstat_utf(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool IfHLToBeOverWritten(std::string& path, unsigned long long archiveTime, FsRestoreObjectsFactory* factory,
                         EvEvent* /*event*/, bool& notFound, bool setNotFound) {
    struct stat st;
    const int rc = lstat_utf(path.c_str(), &st);
    const int error = errno;
    const unsigned long long onDisk = rc == 0 ? static_cast<unsigned long long>(st.st_mtime) : 0;
    FCL_LOG(2, "arvhive destLink time [%llu] ondisk destLink time [%llu] path [%s] ", archiveTime, onDisk,
            path.c_str());
    if (rc != 0) {
        if (error == ENOENT && factory != nullptr && factory->getRestoreOnlyIfExistsOption()) {
            if (setNotFound) {
                notFound = true;
            }
            FCL_LOG(2, "RestoreOnlyIfExistsOption is set");
            return false;
        }
        return true;
    }
    // A job that keeps existing items keeps them from its links too, whatever their times.
    if (factory != nullptr && factory->getDoNotOverwriteOption() && !factory->getOverwriteStubsOnlyOption()) {
        FCL_LOG(2, "[%s] exists and existing items are not overwritten", path.c_str());
        return false;
    }
    if (onDisk < archiveTime) {
        return true;
    }
    FCL_LOG(2, "arvhive time is older than or equal to ondisk time");
    if ((optionsOf(factory) & FSR_OPT_OVERWRITE) != 0) {
        return true;
    }
    FCL_LOG(2, "UncondOverwrite flag not set");
    return false;
}

bool CreateHLDirTree(std::string& primary, std::string& link, unsigned long long archiveTime,
                     FsRestoreObjectsFactory* factory, EvEvent* event) {
    const bool made = linkStep(primary, link, archiveTime, factory, event);
    if (made) {
        FCL_LOG(2, "++++++++++++++created hard link [%s] to [%s] ", link.c_str(), primary.c_str());
    } else {
        FCL_LOG(2, "++++++++++++++Due to error Skipped creating hard Link [%s] to [%s] ", link.c_str(),
                primary.c_str());
    }
    return made;
}

std::string HLTranslatePathNameUsingRestoreObjFacotry(std::string& name, CXFileHeader* header,
                                                      FsRestoreObjectsFactory* factory, EvEvent* /*event*/) {
    FCL_LOG(2, "++++++++++++++in cross restore from %s ", name.c_str());
    auto* unixFactory = dynamic_cast<FsRestoreUnixObjectsFactory*>(factory);
    if (unixFactory == nullptr) {
        return std::string();
    }
    std::string dest;
    std::string second;
    try {
        if (!unixFactory->preapreFileName(name.c_str(), dest, second, header)) {
            dest.clear();
        }
    } catch (const ClExceptError& e) {
        if (static_cast<unsigned long>(e.getErrCode()) == fclitem::kNoDestination) {
            FCL_LOG(3, "Mapping for [%s] is not provided and 'Restore unmapped' is not checked", name.c_str());
        } else {
            FCL_LOG(2, "Mapping for hard-link file '%s' is not provided. The hard-link group might not be recovered.",
                    name.c_str());
        }
        setCode(factory, static_cast<unsigned long>(e.getErrCode()));
        return std::string();
    }
    FCL_LOG(2, "++++++++++++++ restore dest %s from %s ", dest.c_str(), name.c_str());
    while (dest.size() > 1 && dest.back() == '/') {
        dest.pop_back();
    }
    return dest;
}

void HLConvertWindowsPathToUnixPath(const char* path, std::string& out, FsRestoreObjectsFactory* factory,
                                    EvEvent* /*event*/) {
    if ((optionsOf(factory) & FSR_OPT_SYNTHETIC_FULL) != 0) {
        out = path;
        FCL_LOG(2, "path '%s'", path);
        return;
    }
    const size_t length = strlen(path);
    const bool slash = path[0] != '/' && path[0] != '\\';
    if (length + (slash ? 1 : 0) > kLinkPathMax) {
        FCL_LOG(0, "path too long at %d bytes", static_cast<int>(length));
        throw ClExceptError(static_cast<int>(fclitem::kPathTooLong));
    }
    if (slash) {
        out += '/';
    }
    for (size_t i = 0; i < length; ++i) {
        out += path[i] == '\\' ? '/' : path[i];
    }
    out += '\0';
}

// A selected name without a destination (a name that climbs out, a mapping that names nothing for it) fails; one
// a mapping leaves out is skipped. Neither is ever reported done.
std::string fclstream::translateLinkName(FclRestore& job, const std::string& name, const char* note) {
    auto* factory = dynamic_cast<FsRestoreUnixObjectsFactory*>(job._factory);
    if (factory != nullptr && !factory->liesUnderSelection(name, false)) {
        // Not asked for: the group restores only the names that were.
        FCL_LOG(2, "[%s] lies under no selected source path; the name is left out", name.c_str());
        return std::string();
    }
    std::string source = name;
    job._factory->setErrCode(0);
    std::string dest =
        HLTranslatePathNameUsingRestoreObjFacotry(source, &job._savedFileHeader, job._factory, job._event);
    if (dest.empty()) {
        FCL_LOG(2, "%s", note);
        const unsigned long code = job._factory->getErrCode();
        if (code != fclitem::kExcludedByMapping) {
            record(job, name, code != 0 ? code : fclitem::kNoDestination);
        }
    }
    return dest;
}

void fclstream::startLinkGroup(FclRestore& job, const std::string& name, bool stub) {
    job._CXHeaderCount = 0;
    FCL_LOG(5, "prevname %s firstname %s", job.previousName.c_str(), name.c_str());
    if (stub && !job.previousName.empty() && job.previousName != name) {
        // The open group ends here: its names and its base file must not outlive it.
        closeOutLinkGroup(job, false);
    }
    FCL_LOG(5, "Found a stub with data");
    if (name == job.previousName) {
        FCL_LOG(2, "+++11+++HLDEBUG RBI CHECK FOR ERROR");
        return;
    }
    std::vector<_HLElementByIndex>& fresh = job.realLinkPathsMap[name];
    fresh.clear();
    _HLElementByIndex first;
    first.name = name;
    first.tobeoverwritten = true;
    first.stubGroup = stub;
    fresh.push_back(first);
    if (!job.previousName.empty()) {
        closeOutLinkGroup(job, false);
    }
    job.previousName = name;
    job._CXHeaderCount = 0;
    FCL_LOG(3, "prevname %s firstname %s", job.previousName.c_str(), name.c_str());
}

void fclstream::addFurtherLinkName(FclRestore& job, const std::string& name) {
    std::vector<_HLElementByIndex>* group = openGroup(job);
    if (group == nullptr) {
        FCL_LOG(2, "+++22+++HLDEBUG RBI CHECK FOR ERROR");
        return;
    }
    std::string dest = translateLinkName(job, name, "+++22+++mapping information tell to not restore this file");
    if (dest.empty()) {
        return;
    }
    _HLElementByIndex element;
    element.name = dest;
    element.tobeoverwritten =
        IfHLToBeOverWritten(dest, group->front().mtime, job._factory, job._event, dummyHlinkVar, false);
    group->push_back(element);
    _HLElementByIndex& primary = group->front();
    FCL_LOG(2, "++++++HLDEBUG RBI Primary Link Name %s", primary.name.c_str());
    job.bIgnoreOptHeaders = true;
    for (size_t i = 1; i < group->size(); ++i) {
        _HLElementByIndex& member = (*group)[i];
        if (member.completed != 0) {
            continue;
        }
        FCL_LOG(2, "HLDEBUG RBI Secondary Link Original name: %s Tranlsated Name %s, tobeoverwritten %d ", name.c_str(),
                member.name.c_str(), member.tobeoverwritten ? 1 : 0);
        member.completed = 1;
        if (job._factory->getValidateOnlyOption()) {
            record(job, member.name, job._factory->getErrCode());
        } else if (!member.tobeoverwritten) {
            record(job, member.name, fclitem::kSkippedMissing);
        } else if (!primary.primaryEnded || !(primary.restored || (primary.kept && keptFileTakesLinks(primary.name)))) {
            FCL_ERROR(
                "[%s] is not linked: the first name of its group [%s] was neither restored by this job nor kept "
                "as a plain file of the destination",
                member.name.c_str(), primary.name.c_str());
            record(job, member.name, fclitem::kCreateFailed);
        } else if (CreateHLDirTree(primary.name, member.name, primary.mtime, job._factory, job._event)) {
            record(job, member.name, job._factory->getErrCode());
        } else {
            record(job, member.name, fclitem::kCreateFailed);
        }
    }
}

void fclstream::closeOutLinkGroup(FclRestore& job, bool fromHeader) {
    auto group = job.realLinkPathsMap.find(job.previousName);
    if (group != job.realLinkPathsMap.end()) {
        std::vector<_HLElementByIndex>& names = group->second;
        for (size_t i = 1; i < names.size(); ++i) {
            if (names[i].completed == 0) {
                names[i].completed = 1;
                record(job, names[i].name, fclitem::kSkippedMissing);
            }
        }
        // Only a file this job made at the destination is ever removed.
        if (!names.empty() && names[0].baseFile && names[0].restored) {
            FCL_LOG(4, fromHeader ? "Unlinking HlinkBaseFile = %s" : "Unlinking %s ", names[0].name.c_str());
            unlink_utf(names[0].name.c_str());
        }
        job.realLinkPathsMap.erase(group);
    }
    job.previousName.clear();
}

void fclstream::notePrimaryEnd(FclRestore& job, const std::string& destination, unsigned long code, bool hadObject) {
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    const bool baseFile = unix._hlinkBaseFile;
    // The flag belongs to the item that just ended; the next one starts without it.
    unix._hlinkBaseFile = false;
    std::vector<_HLElementByIndex>* group = openGroup(job);
    if (group == nullptr) {
        return;
    }
    _HLElementByIndex& primary = group->front();
    if (primary.primaryEnded || primary.stubGroup) {
        return;
    }
    primary.primaryEnded = true;
    const bool atItsName = hadObject && !destination.empty() && primary.name == destination;
    primary.restored = atItsName && code == 0;
    primary.kept = atItsName && (code == fclitem::kSkippedExisting || code == fclitem::kSkippedNotOverwritten);
    primary.baseFile = baseFile && primary.restored;
}
