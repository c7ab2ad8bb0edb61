#include "tools/fcl-restore/FirAccount.h"

#include <algorithm>

namespace fclhost {

std::vector<std::string> itemsWithoutResult(const fir::FirJobResult& result) {
    return result.itemsMissing;
}

uint64_t countWithoutResult(const fir::FirJobResult& result) {
    return std::max<uint64_t>(result.itemsMissingCount, result.itemsMissing.size());
}

}  // namespace fclhost
