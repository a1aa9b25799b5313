#pragma once
// How much memory a run may use for the phrases it holds before it sorts them out to disk.
#include <cstdint>

namespace ostrel {

// The least budget a run works with: below it the pipeline's own buffers leave no room.
constexpr std::uint64_t kLeastMemoryBudget = std::uint64_t{16} << 20;

// What the system says of memory when a run starts, in bytes; 0 where it says nothing.
struct MemoryFigures {
    std::uint64_t available = 0;     // physical memory free or freeable for this process
    std::uint64_t processLimit = 0;  // a limit set on the process (job object, rlimit, cgroup)
};

// The platform's reading of the figures (memory_figures_posix.cpp, or win32/).
MemoryFigures ReadMemoryFigures();

// The budget chosen from the figures: half of the memory available, and never above half of a
// limit set on the process. Half, because the run's peak is the budget plus what it does not
// count (the program itself, the system's cache of the list it reads), and the machine's
// other programs keep the rest. At least kLeastMemoryBudget; 1 GiB when nothing is known.
std::uint64_t MemoryBudgetFor(const MemoryFigures& figures);
inline std::uint64_t AutomaticMemoryBudget() {
    return MemoryBudgetFor(ReadMemoryFigures());
}

}  // namespace ostrel
