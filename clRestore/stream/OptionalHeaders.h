#pragma once
// What the optional and index headers decide for the buffers that follow them: whether the current object still
// waits for its real path, and the open of an object that waited for an optional header that never came.
class FclRestore;

namespace fclstream {

// The index-metadata properties read here.
constexpr unsigned kPropertyContentIndexPath = 0x85ED33A1;
constexpr unsigned kPropertyExtentCount = 0x2089DE11;
constexpr unsigned kPropertyExtentSize = 0x5919F12E;

// True while the current object was made for a delayed open and its real path has not opened it: its data is
// dropped and the item fails at its end.
bool waitsForRealPath(const FclRestore& job);

// The item's data, a hole or its end came while its open still waited for an optional header: it has none, and is
// opened now. A failed open drops the object (the item ends with the factory's code).
void openAwaitedObject(FclRestore& job);

// The item's data or end came while its real path was still awaited: the item fails (once), its data is dropped.
void failItemWithoutRealPath(FclRestore& job);

}  // namespace fclstream
