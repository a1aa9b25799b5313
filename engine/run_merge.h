#pragma once
// Merging sorted runs into one.
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/sorted_run.h"

namespace ostrel {

// Texts written between calls of busy, while runs are written or merged.
constexpr std::uint64_t kBusyEvery = std::uint64_t{1} << 16;

// Merges runs, each written in full, into out, which it finishes: in ascending order of the
// folded texts, and of texts equal but for letter case the one of the earliest run (the lowest
// index) alone. busy is called now and then.
void MergeRuns(const std::vector<SortedRun*>& runs, SortedRun& out,
               const std::function<void()>& busy);

}  // namespace ostrel
