#pragma once
// The sorted runs that a list larger than its memory budget is written out to, in the order
// written, and their merge into the list's result.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/sorted_run.h"
#include "engine/text_arena.h"

namespace ostrel {

class SpilledRuns {
  public:
    // Runs go to scratch files in folder, each buffered by bufferBytes; busy is called now and
    // then while they are written and merged.
    SpilledRuns(std::string folder, std::size_t bufferBytes, std::function<void()> busy);

    bool Empty() const { return runs_.empty(); }
    std::uint64_t BytesWritten() const { return bytesWritten_; }
    const std::string& Folder() const { return folder_; }

    // Writes the texts of the arenas out as the next run, sorted as a table sorts its rows,
    // and leaves the arenas empty. No two of the texts may be equal but for letter case; each
    // is the first spelling met since the run before.
    void Write(const std::vector<TextArena*>& texts, unsigned threads);

    // Merges every run into one, the runs' texts in order and of those equal but for letter
    // case the earliest spelling alone, and gives it; no run is left here.
    std::unique_ptr<SortedRun> Merge();

  private:
    std::unique_ptr<SortedRun> NewRun();

    std::string folder_;
    std::size_t bufferBytes_;
    std::function<void()> busy_;
    std::vector<std::unique_ptr<SortedRun>> runs_;
    std::uint64_t bytesWritten_ = 0;
};

}  // namespace ostrel
