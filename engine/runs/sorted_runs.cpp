#include "engine/runs/sorted_runs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "engine/files/file_system.h"
#include "engine/order/phrase_order.h"
#include "engine/order/phrase_sort.h"
#include "engine/runs/scratch_file.h"
#include "engine/table/text_arena.h"
#include "engine/table/text_pool.h"

namespace ostrel {

// ---- A run ----

SortedRun::SortedRun(const std::string& folder, std::size_t bufferBytes)
    : file_(CreateScratchFile(folder)),
      folder_(folder),
      buffer_(std::max(bufferBytes, TextArena::RecordBytes(RecordHeader::kMostLength))) {
    // The run keeps its own buffer; the stream's would copy every byte once more.
    std::setvbuf(file_, nullptr, _IONBF, 0);
}

SortedRun::~SortedRun() {
    std::fclose(file_);
}

void SortedRun::Add(std::string_view text) {
    if (!writing_) throw std::logic_error("a finished run takes no more texts");
    const std::size_t need = TextArena::RecordBytes(text.size());
    if (end_ + need > buffer_.size()) Flush();
    TextArena::PutRecord(buffer_.data() + end_, text);
    end_ += need;
    bytes_ += need;
    ++count_;
}

void SortedRun::Flush() {
    errno = 0;
    if (end_ != 0 && std::fwrite(buffer_.data(), 1, end_, file_) != end_)
        throw FileError(errno ? errno : EIO, folder_, true);
    end_ = 0;
}

void SortedRun::Finish() {
    Flush();
    errno = 0;
    if (std::fflush(file_) != 0) throw FileError(errno ? errno : EIO, folder_, true);
    writing_ = false;
}

void SortedRun::Rewind() {
    if (writing_) Finish();
    std::rewind(file_);
    begin_ = end_ = 0;
}

// Makes need unread bytes lie together in the buffer; false at the end of the run.
bool SortedRun::Refill(std::size_t need) {
    if (end_ - begin_ >= need) return true;
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    errno = 0;
    end_ += std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
    if (std::ferror(file_)) throw FileError(errno ? errno : EIO, folder_, false);
    return end_ >= need;
}

bool SortedRun::Next(std::string_view& text) {
    if (writing_) throw std::logic_error("a run is read once it is finished");
    if (!Refill(TextArena::kHeaderBytes)) {
        // A run ends on a whole record; anything else is a scratch file gone wrong.
        if (end_ != begin_) throw FileError(EIO, folder_, false);
        return false;
    }
    const std::size_t length = TextArena::HeaderAt(buffer_.data() + begin_).Length();
    if (!Refill(TextArena::RecordBytes(length))) throw FileError(EIO, folder_, false);
    text = TextArena::TextAt(buffer_.data() + begin_);
    begin_ += TextArena::RecordBytes(length);
    return true;
}

namespace {

// Texts written between calls of busy, while runs are written or merged.
constexpr std::uint64_t kBusyEvery = std::uint64_t{1} << 16;

constexpr std::size_t kMostMerged = 16;  // runs merged at once, each with its buffer

}  // namespace

// ---- The merge ----

namespace {

// A run's next text and its place in the order, by which the runs are merged.
struct Head {
    SortedRun* run;
    CollationKeys* keys;
    std::string_view text;
    PhrasePlace place;
    bool live;

    void Advance() {
        live = run->Next(text);
        if (live) PlacePhrase(text, keys, place);
    }
};

}  // namespace

void MergeRuns(const std::vector<SortedRun*>& runs, SortedRun& out,
               const std::function<void()>& busy, const Collation* collation) {
    const std::unique_ptr<CollationKeys> keys = collation ? collation->NewKeys() : nullptr;
    std::vector<Head> heads;
    heads.reserve(runs.size());
    for (SortedRun* run : runs) {
        run->Rewind();
        heads.push_back({run, keys.get(), {}, {}, false});
        heads.back().Advance();
    }
    for (std::uint64_t merged = 1;; ++merged) {
        // The least folded text; on a tie the earliest run's, which the strict test keeps.
        Head* least = nullptr;
        for (Head& h : heads)
            if (h.live && (!least || ComparePlaces(h.place, least->place) < 0)) least = &h;
        if (!least) break;
        out.Add(least->text);
        // Every run holds a text once at most; the later runs' spellings of it are dropped.
        for (Head& h : heads)
            if (&h != least && h.live && SamePhraseForm(h.place.form, least->place.form))
                h.Advance();
        least->Advance();
        if (merged % kBusyEvery == 0 && busy) busy();
    }
    out.Finish();
}

// ---- The runs of a list ----

SpilledRuns::SpilledRuns(std::string folder, std::size_t bufferBytes, std::function<void()> busy,
                         std::shared_ptr<const Collation> collation)
    : folder_(std::move(folder)),
      bufferBytes_(bufferBytes),
      busy_(std::move(busy)),
      collation_(std::move(collation)) {}

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
        std::copy_n(block, n, ids.data() + first);
    });
    SortPhrases(ids, pool, threads, collation_.get());
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
            MergeRuns(group, *out, busy_, collation_.get());
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
