#pragma once
// One entry of a mapped restore, from the MapFile or from the job's XML list, checked the same way for both.
#include <map>
#include <string>

using MappingTable = std::map<std::string, std::string>;

// Makes a source path a key the lookups can meet: normalised, without a trailing '/'. False when it climbs with "..",
// which no normalised item name can match.
bool toMappingKey(std::string& source);

// Drops the closing quote of `destination` and one trailing '/' or '\' of `source`, then checks both: an absolute
// source, and an absolute destination or none (the source is then excluded). On success both are in the form the
// table keeps. False, with the reason logged, when the entry is refused. `line` is the MapFile line the entry came
// from, null for an XML entry.
bool acceptMapEntry(std::string& source, std::string& destination, const char* line);

// Enters `source` -> `destination` unless the source has an entry already (the first one stays), and raises
// `longestSource` to the source's length. False when the source had an entry.
bool addMapping(MappingTable& mapping, int& longestSource, const std::string& source, const std::string& destination);
