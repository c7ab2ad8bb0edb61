#pragma once
// What the host takes from the in-process FIR driver's account of a job beyond its outcome.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/fir/FirJob.h"

namespace fclhost {

// The items the driver asked for and got no result for: each is a failed item of the job.
std::vector<std::string> itemsWithoutResult(const fir::FirJobResult& result);
// How many items got no result: the named ones and those the driver knows only by the engine's count.
uint64_t countWithoutResult(const fir::FirJobResult& result);

}  // namespace fclhost
