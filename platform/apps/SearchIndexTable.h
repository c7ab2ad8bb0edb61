#pragma once
// What the stand-in search index knows: one entry per index file, by the dummy path its backup gives it. The
// clients of platform/apps/SolrIndexClients.h answer their lookups from here. Tests fill the table in memory; a host
// lists files in the settings file, one line each, consulted after the files in memory:
//   [SearchIndex]  file = dummyPath|actualPath|kind|flags
// where flags is a '+'-separated set of "unmapped", "lookup-fails", "parse-fails" and "update-fails" (empty for
// none); a line that does not read so is skipped.
//
// An index that knows no file at all is not reachable: every client then fails as one whose index is not there.
// The table is guarded by a lock: the readers of a job's archives ask from their own threads.
#include <string>
#include <vector>

namespace wzsearch {

// File kinds a dummy path may name. Kind 3 is handed to a single node's index when restored in place; kind 4 is a
// SolrCloud file that a newer copy on disk keeps.
constexpr int kKindIndexData = 1;
constexpr int kKindMetadata = 3;
constexpr int kKindCloudSegment = 4;

struct IndexFile {
    std::string dummyPath;
    // In place: where the file lives. Out of place: the same path, taken below the destination.
    std::string actualPath;
    int kind = kKindIndexData;
    bool unmapped = false;     // known to the index, which has no place for it
    bool lookupFails = false;  // the path lookups of this file fail
    bool parseFails = false;   // its dummy path does not parse
    bool updateFails = false;  // the index refuses it as a metadata file
};

// Adds the file, replacing an entry of the same dummy path.
void addIndexFile(const IndexFile& file);
// Forgets the files in memory and the metadata received.
void clearIndex();
// False when the index knows no file: not in memory, not in the settings.
bool indexReachable();
// The entry of `dummyPath`; false when the index does not know it.
bool findByDummyPath(const std::string& dummyPath, IndexFile& out);
// The entry whose actual path is `actualPath`; false when none.
bool findByActualPath(const std::string& actualPath, IndexFile& out);

// A metadata file handed to the index: its path and its bytes when it was handed over.
struct MetadataReceived {
    std::string path;
    std::string contents;
};
void noteMetadataReceived(const MetadataReceived& received);
std::vector<MetadataReceived> metadataReceived();

}  // namespace wzsearch
