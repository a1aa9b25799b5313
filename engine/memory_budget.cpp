#include "engine/memory_budget.h"

#include <algorithm>

#include "engine/order/phrase_sort.h"
#include "engine/runs/sorted_runs.h"
#include "engine/table/text_pool.h"
#include "engine/text/text_file_writer.h"

namespace ostrel {

std::uint64_t MemoryBudgetFor(const MemoryFigures& figures) {
    if (figures.available == 0 && figures.processLimit == 0) return std::uint64_t{1} << 30;
    // A limit without a reading of the memory free is still a bound: half of it.
    std::uint64_t budget =
        figures.available != 0 ? figures.available / 2 : figures.processLimit / 2;
    if (figures.processLimit != 0) budget = std::min(budget, figures.processLimit / 2);
    return std::max(budget, kLeastMemoryBudget);
}

namespace {

// A chunk is a sixteenth of the list, within these bounds: enough chunks for the workers to
// share the work, and no more memory than the work needs.
constexpr std::size_t kLeastChunkBytes = std::size_t{64} << 10;
constexpr std::size_t kMostChunkBytes = std::size_t{4} << 20;
// Under a budget a chunk is at most a 128th of it, and the buffers of the chunks in hand and
// the lines found in them are reckoned at this many times the chunks' bytes.
constexpr std::uint64_t kBudgetPerChunk = 128;
constexpr std::size_t kLeastBudgetChunkBytes = 512;
constexpr std::uint64_t kPipelineBytesPerChunkByte = 5;
// A run is buffered by a 64th of the budget, within these bounds: the most runs merged at
// once, and the merge's own run, then take about a quarter of it.
constexpr std::size_t kLeastRunBuffer = std::size_t{64} << 10;
constexpr std::size_t kMostRunBuffer = std::size_t{1} << 20;
// A list of mostly distinct phrases has about one a 48 bytes; a larger one grows the index.
constexpr std::uint64_t kListBytesPerPhrase = 48;
constexpr std::uint64_t kMostExpected = std::uint64_t{16} << 20;
// A text takes at least its record's header and what sorting it takes.
constexpr std::uint64_t kLeastShareBytesPerText = 64;

}  // namespace

bool LoadPlan::ShareOverBudget(std::uint64_t textBytes, std::uint64_t count,
                               std::uint64_t indexBytes, std::uint64_t batchBytes,
                               std::uint64_t batchCount) const {
    if (shareBudget == 0) return false;
    textBytes += kChunksInHand * batchBytes;
    count += kChunksInHand * batchCount;
    const std::uint64_t sorting = (kSortBytesPerId + sizeof(TextPool::Id)) * count;
    return textBytes + std::max(indexBytes, sorting) > shareBudget;
}

bool LoadPlan::ShareIndexMayGrow(std::uint64_t textBytes, std::uint64_t indexBytes) const {
    return shareBudget == 0 || textBytes + 3 * indexBytes <= shareBudget;
}

LoadPlan PlanLoad(std::uint64_t budget, std::uint64_t listBytes, unsigned workers) {
    LoadPlan plan;
    plan.budget = budget;
    plan.workers = std::max(workers, 1u);
    plan.chunkBytes = static_cast<std::size_t>(
        std::clamp<std::uint64_t>(listBytes / 16, kLeastChunkBytes, kMostChunkBytes));
    plan.expectedPerShare =
        std::min<std::uint64_t>(listBytes / kListBytesPerPhrase, kMostExpected) / plan.workers;
    if (budget == 0) return plan;
    plan.chunkBytes = static_cast<std::size_t>(std::min<std::uint64_t>(
        plan.chunkBytes,
        std::max<std::uint64_t>(budget / kBudgetPerChunk, kLeastBudgetChunkBytes)));
    plan.runBufferBytes = static_cast<std::size_t>(
        std::clamp<std::uint64_t>(budget / 64, kLeastRunBuffer, kMostRunBuffer));
    // Held beside the shares: the chunks in hand while they are read, the buffer of the run
    // they are written to, the counts of the sort's buckets, and the save's buffers while the
    // rows they became are written.
    const std::uint64_t held =
        LoadPlan::kChunksInHand * plan.chunkBytes * kPipelineBytesPerChunkByte +
        plan.runBufferBytes + SortHeldBytes(plan.workers) + TextFileWriter::kHeldBytes;
    plan.shareBudget = std::max<std::uint64_t>((budget - std::min(budget, held)) / plan.workers, 1);
    plan.expectedPerShare =
        std::min(plan.expectedPerShare, plan.shareBudget / kLeastShareBytesPerText);
    return plan;
}

}  // namespace ostrel
