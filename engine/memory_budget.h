#pragma once
// How much memory a run may use for the phrases it holds before it sorts them out to disk.
#include <cstddef>
#include <cstdint>

namespace ostrel {

// The least budget a run works with: below it the pipeline's own buffers leave no room.
constexpr std::uint64_t kLeastMemoryBudget = std::uint64_t{16} << 20;

// What the system says of memory when a run starts, in bytes; 0 where it says nothing.
struct MemoryFigures {
    std::uint64_t available = 0;     // physical memory free or freeable for this process
    std::uint64_t processLimit = 0;  // a limit set on the process (job object, rlimit, cgroup)
};

// The platform's reading of the figures (memory_figures_posix.cpp, or win32/). A limit is
// given less what the process already holds of it: on POSIX systems a limit on the address
// space less the address space reserved so far and what the threads of a run reserve; on
// Windows a job object's limit, which counts committed memory, less the memory committed.
MemoryFigures ReadMemoryFigures();

// Keeps the memory a run holds near the memory it uses. A large block freed goes back to the
// system at once: otherwise glibc keeps it for later blocks, and a run's sort, freed, still
// holds its memory while the next run's texts grow. Where a limit is set on the address space
// (RLIMIT_AS), malloc keeps to one arena and threads take small stacks: without it each
// worker's arena alone reserves 64 MiB. Nothing on Windows: its heap maps blocks of about half
// a MiB and more on their own, and a thread commits only the stack it uses. Safe to call more
// than once.
void ConfineMemory();

// The budget chosen from the figures: half of the memory available, and never above half of a
// limit set on the process. Half, because the run's peak is the budget plus what it does not
// count (the program itself, the system's cache of the list it reads), and the machine's
// other programs keep the rest. At least kLeastMemoryBudget; 1 GiB when nothing is known.
std::uint64_t MemoryBudgetFor(const MemoryFigures& figures);
inline std::uint64_t AutomaticMemoryBudget() {
    return MemoryBudgetFor(ReadMemoryFigures());
}

// How a load spends its budget, computed once from the budget, the list's size and the number
// of workers; the loader, its shares, the runs, their merge and the save all ask it. The budget
// is the run's whole memory but for the program's own: the chunks in hand, a run's buffer, the
// sort's buckets and the save's buffers are taken from it first, and the workers' shares of
// the phrases, their sorting included, split the rest. The merge runs once the shares are
// gone, in a quarter of the budget at most.
struct LoadPlan {
    static constexpr std::size_t kChunksInHand = 4;  // chunks read ahead of the slowest worker

    std::uint64_t budget = 0;  // 0: none; the list is held in memory whatever its size
    unsigned workers = 1;
    std::size_t chunkBytes = 0;          // the list is read in chunks of this size
    std::uint64_t shareBudget = 0;       // what a worker's share may take (0: no bound)
    std::uint64_t expectedPerShare = 0;  // distinct phrases a share's index is first sized for
    std::size_t runBufferBytes = 0;      // the buffer of a run, while it is written or read

    bool Bounded() const { return budget != 0; }
    // A share of count texts of textBytes under an index of indexBytes, to which its last batch
    // added batchCount records of batchBytes, would take more than its budget once sorted: its
    // texts are to be written out. The chunks in hand are still looked up first, and each is
    // reckoned to add what the last batch did.
    bool ShareOverBudget(std::uint64_t textBytes, std::uint64_t count, std::uint64_t indexBytes,
                         std::uint64_t batchBytes, std::uint64_t batchCount) const;
    // A share's index of indexBytes may grow to twice its size: the larger one takes its memory
    // while the old one is still held.
    bool ShareIndexMayGrow(std::uint64_t textBytes, std::uint64_t indexBytes) const;
};

LoadPlan PlanLoad(std::uint64_t budget, std::uint64_t listBytes, unsigned workers);

}  // namespace ostrel
