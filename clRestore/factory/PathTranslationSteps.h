#pragma once
// What one translation of an item's source path works from, shared by the steps of translatePathname.
#include <string>

#include "protocol/CXFileHeader.h"
#include "protocol/FsrJobRecords.h"

class FclRestore;
class FsRestoreUnixObjectsFactory;

struct TranslationInput {
    FclRestore* job;             // may be null: every job question then answers no
    const std::string& from;     // the item's source path, normalised
    const std::string& copy;     // the working copy (a silo path with its backslashes made '/')
    const CXFileHeader* header;  // may be null
    bool isDirectory;
    const std::string& dest;  // the destination directory
    unsigned long options;
    const FSRSrcPath* paths;
    int count;
    bool caseSensitive;
};

// The strip level of the first source path, 0 when the job has none.
int firstStripLevel(const TranslationInput& in);

// The item under the destination with the leading directories of its source path stripped; `to` stays empty when
// the item lies under no source path and is shorter than every one. Throws ClExceptError 0x17000039 when the walk
// finds no '/' at all.
void translateByStripLevel(std::string& to, const TranslationInput& in, FsRestoreUnixObjectsFactory& factory);
