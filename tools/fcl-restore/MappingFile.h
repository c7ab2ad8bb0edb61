#pragma once
// The mapping file --map names, checked before the job starts, so that a line the engine would pass over in silence
// is an error naming the file and the line. The form (one entry a line, no comments):
//   "SOURCE","DESTINATION"            SOURCE and what lies under it go to DESTINATION
//   "SOURCE",""                       SOURCE and what lies under it are left out
//   "SOURCE","DESTINATION",START[,END] only bytes START up to END of each file under SOURCE
// SOURCE and DESTINATION are absolute paths; empty lines are passed over.
#include <string>

namespace fclhost {

// False with a reason ("<file>, line <n>: ...") when a line is malformed or the file names no entry.
bool checkMappingFile(const std::string& path, std::string* why);

}  // namespace fclhost
