#pragma once
// The names of a reference copy: every name the stream carries (item names, long paths, link names, hard-link names)
// starts with the GUID of the client the data belongs to, and is restored under that client's name instead.
#include <string>

class FclRestore;

namespace fclstream {

// The name a reference-copy job restores `name` under, in `mapped`. False, `mapped` untouched, when the job restores no
// reference copy into a destination or the name keeps its own (a client the job does not know).
bool referenceCopyName(FclRestore& job, const std::string& name, std::string& mapped);

}  // namespace fclstream
