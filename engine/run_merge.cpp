#include "engine/run_merge.h"

#include <string>
#include <string_view>

#include "engine/case_fold.h"

namespace ostrel {
namespace {

// A run's next text and its folded form, by which the runs are merged.
struct Head {
    SortedRun* run;
    std::string_view text;
    std::string folded;
    bool live;

    void Advance() {
        live = run->Next(text);
        if (!live) return;
        folded.clear();
        FoldUtf8(text, folded);
    }
};

}  // namespace

void MergeRuns(const std::vector<SortedRun*>& runs, SortedRun& out,
               const std::function<void()>& busy) {
    std::vector<Head> heads;
    heads.reserve(runs.size());
    for (SortedRun* run : runs) {
        run->Rewind();
        heads.push_back({run, {}, {}, false});
        heads.back().Advance();
    }
    for (std::uint64_t merged = 1;; ++merged) {
        // The least folded text; on a tie the earliest run's, which the strict test keeps.
        Head* least = nullptr;
        for (Head& h : heads)
            if (h.live && (!least || std::string_view(h.folded) < std::string_view(least->folded)))
                least = &h;
        if (!least) break;
        out.Add(least->text);
        // Every run holds a text once at most; the later runs' spellings of it are dropped.
        for (Head& h : heads)
            if (&h != least && h.live && h.folded == least->folded) h.Advance();
        least->Advance();
        if (merged % kBusyEvery == 0 && busy) busy();
    }
    out.Finish();
}

}  // namespace ostrel
