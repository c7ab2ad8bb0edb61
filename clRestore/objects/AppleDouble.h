#pragma once
// The Apple data of an item that the close writes out: the Finder information attribute and the AppleDouble
// companion file (version 2, big-endian): a 26-byte header with the entry count, one 12-byte descriptor per entry
// (id, offset, length), then the Finder information (entry 9, 32 bytes), the resource fork (entry 2) and the private
// attribute data (entry 0x80000001, 60 bytes).
#include "clRestore/objects/FsRestoreUnixObject.h"

// Where the 32 bytes of Finder information start in the 92-byte attribute block; the bytes before are private data.
constexpr size_t kFinderInfoOffset = 60;

// The first 92 bytes of the collected attribute block; false when fewer were collected.
bool readAttributeBlock(FsRestoreUnixObject& item, unsigned char (&block)[FsRestoreUnixObject::kHfsAttrBlockSize]);

// Writes the companion through the item's _writeData on its resource descriptor, without hole detection so that the
// file ends at its full length. Without a collected attribute block its Finder information and private data are
// written as zeros, so that every entry it describes is there.
void writeAppleDouble(FsRestoreUnixObject& item);
