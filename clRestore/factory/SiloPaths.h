#pragma once
// The pieces of a silo item's source path. A silo path names its storage mount path by number ("MPATHID_<id>/"),
// the volume on it ("V_<id>") and the domain of the library ("ZENDREL_<guid>"); each marker is found anywhere in
// the path text (first occurrence), and a number is read as strtoul reads it in base 10.
#include <string>

// The mount-path id after "MPATHID_" (up to the next '/'). With the marker and a '/' after it, also stores a copy of
// everything after that '/' in `*rest` (malloc'ed; the caller frees it); otherwise answers 0 and leaves `*rest` as
// it was.
unsigned long getMountPathId(char* path, char** rest);
// The volume id after "V_" (up to the next '/' or the end); 0 without the marker.
unsigned long getVolumeId(char* path);

// The domain GUID after "ZENDREL_" (up to the next '/' or the end); "" without the marker.
std::string getZendrelGUID(char* path);

// Stores in `*slot` a malloc'ed copy of the first `length` bytes of `text` and a NUL. The previous value of `*slot`
// is not freed.
void AllocAndSet(char** slot, char* text, unsigned long length);
// The run of decimal digits at the start of `text`, wrapping on overflow; 0 without digits.
unsigned long atoul2(char* text);
