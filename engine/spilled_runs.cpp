#include "engine/spilled_runs.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "engine/folded_sort.h"
#include "engine/run_merge.h"
#include "engine/text_pool.h"

namespace ostrel {
namespace {

constexpr std::size_t kMostMerged = 16;  // runs merged at once, each with its buffer

}  // namespace

SpilledRuns::SpilledRuns(std::string folder, std::size_t bufferBytes, std::function<void()> busy)
    : folder_(std::move(folder)), bufferBytes_(bufferBytes), busy_(std::move(busy)) {}

std::unique_ptr<SortedRun> SpilledRuns::NewRun() {
    return std::make_unique<SortedRun>(folder_, bufferBytes_);
}

void SpilledRuns::Write(const std::vector<TextArena*>& texts, unsigned threads) {
    // The texts are sorted as a table sorts its rows: a pool takes them over, as the table's
    // does, and its ids are sorted by their folded texts.
    TextPool pool;
    std::uint64_t count = 0;
    for (const TextArena* t : texts) count += t->Size();
    std::vector<TextPool::Id> ids(count);
    pool.Adopt(texts, threads, [&](std::uint64_t first, const TextPool::Id* block, std::size_t n) {
        std::copy_n(block, n, ids.begin() + first);
    });
    SortByFoldedText(ids, pool, threads);
    std::unique_ptr<SortedRun> run = NewRun();
    for (std::uint64_t i = 0; i < ids.size(); ++i) {
        run->Add(pool.Text(ids[i]));
        if ((i + 1) % kBusyEvery == 0 && busy_) busy_();
    }
    run->Finish();
    bytesWritten_ += run->Bytes();
    runs_.push_back(std::move(run));
    if (busy_) busy_();
}

std::unique_ptr<SortedRun> SpilledRuns::Merge() {
    if (runs_.empty()) throw std::logic_error("no run to merge");
    // Consecutive runs are merged in groups until one merge takes the rest: a group's run
    // takes the place of its runs, so that the earlier spelling still comes from the earlier run.
    while (runs_.size() > 1) {
        std::vector<std::unique_ptr<SortedRun>> merged;
        for (std::size_t first = 0; first < runs_.size(); first += kMostMerged) {
            const std::size_t last = std::min(runs_.size(), first + kMostMerged);
            if (last - first == 1) {
                merged.push_back(std::move(runs_[first]));
                continue;
            }
            std::vector<SortedRun*> group;
            for (std::size_t i = first; i < last; ++i) group.push_back(runs_[i].get());
            std::unique_ptr<SortedRun> out = NewRun();
            MergeRuns(group, *out, busy_);
            bytesWritten_ += out->Bytes();
            for (std::size_t i = first; i < last; ++i) runs_[i].reset();  // their space is freed
            merged.push_back(std::move(out));
            if (busy_) busy_();
        }
        runs_ = std::move(merged);
    }
    std::unique_ptr<SortedRun> result = std::move(runs_.front());
    runs_.clear();
    result->Rewind();
    return result;
}

}  // namespace ostrel
