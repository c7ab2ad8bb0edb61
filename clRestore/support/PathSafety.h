#pragma once
// The one lexical check of every destination name. Each route that names an item joins a base the job trusts (the
// destination, a mapping's destination, a mount path) with a tail taken from the stream or the mapping file, and no
// tail may climb out of its base. A source name is normalised before it is selected, mapped or translated; the
// translated name is normalised and checked again, which also catches a tail that turns hostile on the way
// (backslashes made '/', a join without a separator). Nothing here touches the disk: the file-call layer's gate
// refuses what links would do, this refuses ".." before any call is made.
#include <string>

struct CXFileHeader;

// Makes every run of '/' one and drops "." components; a leading and a trailing '/' stay. False when a ".." component
// is left: it is never resolved, because only the disk knows where ".." leads.
bool normaliseItemPath(std::string& path);

// `source` normalised. Throws ClExceptError 0x1700005b (the item has no destination) when it has a ".." component.
void checkItemSource(std::string& source);

// `name` normalised. Throws ClExceptError 0x1700005b when it has a ".." component or, for a non-empty `base`, when it
// is neither `base` nor beneath it, component by component. An empty base names a route that joins nothing (the
// path is used as the source gives it): only ".." is refused there.
void checkItemDestination(std::string& name, const std::string& base);

// The name a header carries, read no further than its field; "" without a header.
std::string headerItemName(const CXFileHeader* header);

// For a catch handler of the naming code: turns the standard exception being handled into the per-item error the
// engine catches (0x1700000b for exhausted memory, 0x1700005b otherwise), so that no item ends the reader thread.
[[noreturn]] void throwAsItemError();
