#include "engine/memory_budget.h"

#include <algorithm>

namespace ostrel {

std::uint64_t MemoryBudgetFor(const MemoryFigures& figures) {
    if (figures.available == 0 && figures.processLimit == 0) return std::uint64_t{1} << 30;
    // A limit without a reading of the memory free is still a bound: half of it.
    std::uint64_t budget =
        figures.available != 0 ? figures.available / 2 : figures.processLimit / 2;
    if (figures.processLimit != 0) budget = std::min(budget, figures.processLimit / 2);
    return std::max(budget, kLeastMemoryBudget);
}

}  // namespace ostrel
