#pragma once
// What the folder-time handler and the search-index set-up need of a job's results store (StoreResults): its
// directory and one item's result line. The store itself is not built yet; these are the one place that reaches it.
#include <string>

class StoreResults;

namespace wzresults {

// The store's directory: "" when there is no store or it names none.
std::string storeDirectory(StoreResults* results);
// Stores one item's result line with its status: 0 when stored, non-zero otherwise.
int storeItemResult(StoreResults* results, const std::string& line, int status);

}  // namespace wzresults
