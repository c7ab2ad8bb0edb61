// The mapping of a mapped restore: filled once per job from the synchronised-restore path mapper, the MapFile and the
// job's XML entries, then looked up for every item by the longest source path that is the item or one of its
// ancestors.
#include <exception>
#include <list>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/factory/MappingEntries.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/support/PathSafety.h"
#include "platform/log/LogWriter.h"
#include "platform/sync/CSyncRestorePathMapper.h"
#include "platform/tasks/EvTask.h"
#include "platform/tasks/SchedularInterfaceNet.h"
#include "platform/tasks/TMMsg.h"
#include "platform/tasks/XMLDecoder.h"

namespace {

const wzTaskOptions kOptMapFileName = wzTaskOptions(1);
const wzTaskOptions kOptRestoreUnmappedData = wzTaskOptions(2);
const unsigned long kAdmOptMapEntries = 0x5e93ea78;
const int kMapFilePathMessageSet = 0xc;
const int kMapFilePathMessageId = 0x82;
const unsigned long kMapFilePathSet = 0xc8f451d;

// The pairs of a synchronised restore come from its path mapper as they stand.
void addSyncPairs(FclRestore* job, MappingTable& mapping, int& longestSource) {
    CSyncRestorePathMapper* mapper = job != nullptr ? job->GetSyncPathMapper() : nullptr;
    if (mapper == nullptr) {
        FCL_ERROR("The synchronised restore has no path mapper; nothing is mapped");
        return;
    }
    mapper->InitMappedFileRestore();
    const std::vector<SrcDestMap> pairs = mapper->GetMappedPaths();
    longestSource = 0;
    for (const SrcDestMap& pair : pairs) {
        FCL_LOG(3, "Inserting map entry, SrcPath=%s, DestPath=%s", pair.source.c_str(), pair.destination.c_str());
        std::string source = pair.source;
        if (!toMappingKey(source)) {
            FCL_LOG(0, "A mapping path cannot climb with \"..\".Ignoring map %s:%s", pair.source.c_str(),
                    pair.destination.c_str());
            continue;
        }
        addMapping(mapping, longestSource, source, pair.destination);
    }
}

void addXmlEntries(long long jobId, MappingTable& mapping, int& longestSource) {
    EvAdmTask task(static_cast<unsigned long long>(jobId), 0, nullptr);
    XMLDecoder decoder;
    decoder.initialize();
    std::list<std::string> texts;
    if (task.getOptionString(kAdmOptMapEntries, texts, nullptr) != 0) {
        return;
    }
    for (const std::string& text : texts) {
        TMMsg::MapFilePath entry(kMapFilePathMessageSet, kMapFilePathMessageId);
        if (decoder.unSerialize(entry, text, nullptr) != 0) {
            FCL_ERROR("initialization of TMMsg::MapFilePath failed");
            FCL_LOG(2, "XMLString:\n%s\n--------------------------------", text.c_str());
            continue;
        }
        std::string source = entry.getstring(1, 1, kMapFilePathSet, TMMsg::MapFilePath::kSourcePathField);
        std::string destination = entry.getstring(2, 5, kMapFilePathSet, TMMsg::MapFilePath::kDestinationPathField);
        if (!destination.empty() && destination.back() == '\n') {
            destination.pop_back();
        }
        if (destination.empty()) {
            FCL_LOG(3, "Invalid Format.Ignoring map %s:%s", source.c_str(), destination.c_str());
            continue;
        }
        if (!acceptMapEntry(source, destination, nullptr)) {
            continue;
        }
        FCL_LOG(2, "Adding map srcTemp = %s and destTemp = %s\n", source.c_str(), destination.c_str());
        addMapping(mapping, longestSource, source, destination);
    }
}

}  // namespace

int FsRestoreUnixObjectsFactory::InitializeForMappedRestores(long long jobId,
                                                             const std::map<unsigned long, std::string>& /*map*/) {
    // Byte ranges belong to the job whose MapFile names them: what an earlier job left must not clip this one's files.
    fileRangeMap.clear();
    fileRange = fileRange_t();
    _mapping.clear();
    _longestMappedSource = 0;

    if (IsSyncRestore()) {
        addSyncPairs(_fclRestore, _mapping, _longestMappedSource);
        return 0;
    }
    mappingFile[0] = '\0';
    SchedularInterfaceNet tasks;
    tasks.GetTaskOptionString(jobId, kOptMapFileName, mappingFile, sizeof(mappingFile));
    if (mappingFile[0] != '\0') {
        FCL_LOG(0, "mappingFile=[%s] for Enhanced Restore's.", mappingFile);
        bool restoreUnmapped = false;
        tasks.GetTaskOptionBoolean(jobId, kOptRestoreUnmappedData, restoreUnmapped, 0);
        FCL_LOG(0, "NoMappingData option set to =[%d] ", restoreUnmapped ? 1 : 0);
        if (restoreUnmapped) {
            _restoreUnmappedData = 1;
            FCL_LOG(0,
                    "User Selected Option to restore Unmapped Data. The restore would try to match a best destination "
                    "path mapping for unmapped source files");
        } else {
            FCL_LOG(0, "User Selected Option not to restore Unmapped Data ");
        }
        if (!InsertInToMap() && _restoreUnmappedData == 0) {
            return -1;
        }
    }
    addXmlEntries(jobId, _mapping, _longestMappedSource);
    return 0;
}

bool FsRestoreUnixObjectsFactory::getMappingPath(std::string& to, std::string& from) try {
    std::string item = from;
    checkItemSource(item);
    std::string key = item;
    std::string rest;
    if (static_cast<int>(item.size()) > _longestMappedSource) {
        const size_t slash = item.rfind('/');
        key = slash == std::string::npos ? std::string() : item.substr(0, slash);
        rest = item.substr(key.size());
    }
    fileRange = fileRange_t();
    FCL_LOG(3, "ToSearch [%s] ToAppend [%s]", key.c_str(), rest.c_str());
    while (!key.empty()) {
        auto entry = _mapping.find(key);
        if (entry != _mapping.end()) {
            if (entry->second.empty()) {
                to.clear();
                return true;
            }
            std::string mapped = entry->second;
            if (key != item && rest != "/") {
                mapped += rest;
            }
            checkItemDestination(mapped, entry->second);
            to = mapped;
            currentMappedPath = entry->second;
            FCL_LOG(5, "returning true toPath =[%s] fromPath=[%s]", to.c_str(), from.c_str());
            FCL_LOG(5, "returning true toBasePath =[%s] fromBasePath=[%s]", entry->second.c_str(), key.c_str());
            auto range = fileRangeMap.find(key);
            if (range != fileRangeMap.end()) {
                FCL_LOG(2, "   will restore toPath from %lld to %lld", static_cast<long long>(range->second.start),
                        static_cast<long long>(range->second.end));
                fileRange = range->second;
            }
            return true;
        }
        const size_t slash = key.rfind('/');
        if (slash == std::string::npos) {
            break;
        }
        key.erase(slash);
        rest = item.substr(key.size());
    }
    FCL_LOG(3, " returning false toPath =[%s] fromPath=[%s]", to.c_str(), from.c_str());
    return false;
} catch (const std::exception&) {
    throwAsItemError();
}
