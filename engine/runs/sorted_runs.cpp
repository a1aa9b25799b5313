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

// ---- The file of runs ----

RunFile::RunFile(const std::string& folder) : file_(CreateScratchFile(folder)), folder_(folder) {
    // The runs keep their own buffers; the stream's would copy every byte once more.
    std::setvbuf(file_, nullptr, _IONBF, 0);
}

RunFile::~RunFile() {
    std::fclose(file_);
}

void RunFile::Seek(std::uint64_t offset, bool writing) {
    if (!SeekScratchFile(file_, offset)) throw FileError(errno ? errno : EIO, folder_, writing);
}

void RunFile::Append(const char* bytes, std::size_t size) {
    Seek(end_, true);
    errno = 0;
    if (std::fwrite(bytes, 1, size, file_) != size)
        throw FileError(errno ? errno : EIO, folder_, true);
    end_ += size;
}

void RunFile::Flush() {
    errno = 0;
    if (std::fflush(file_) != 0) throw FileError(errno ? errno : EIO, folder_, true);
}

std::size_t RunFile::ReadAt(std::uint64_t offset, char* bytes, std::size_t size) {
    Seek(offset, false);
    errno = 0;
    const std::size_t got = std::fread(bytes, 1, size, file_);
    if (std::ferror(file_)) throw FileError(errno ? errno : EIO, folder_, false);
    return got;
}

// ---- A run ----

SortedRun::SortedRun(const std::string& folder, std::size_t bufferBytes)
    : SortedRun(std::make_shared<RunFile>(folder), bufferBytes) {}

SortedRun::SortedRun(std::shared_ptr<RunFile> file, std::size_t bufferBytes)
    : file_(std::move(file)),
      start_(file_->End()),
      bufferBytes_(std::max(bufferBytes, TextArena::RecordBytes(RecordHeader::kMostLength))) {}

// The buffer is held only while the run is written or read: a list's many runs in between
// take no memory.
void SortedRun::TakeBuffer() {
    if (buffer_.empty()) buffer_.resize(bufferBytes_);
}

void SortedRun::Add(std::string_view text) {
    if (!writing_) throw std::logic_error("a finished run takes no more texts");
    TakeBuffer();
    const std::size_t need = TextArena::RecordBytes(text.size());
    if (end_ + need > buffer_.size()) Flush();
    TextArena::PutRecord(buffer_.data() + end_, text);
    end_ += need;
    bytes_ += need;
    ++count_;
}

void SortedRun::Flush() {
    // A file takes one run at a time, each written whole before the next begins.
    if (file_->End() != start_ + bytes_ - end_)
        throw std::logic_error("a run file's runs are written one after another");
    if (end_ != 0) file_->Append(buffer_.data(), end_);
    end_ = 0;
}

void SortedRun::Finish() {
    if (!writing_) return;
    Flush();
    file_->Flush();
    writing_ = false;
    std::vector<char>().swap(buffer_);
}

void SortedRun::Rewind() {
    Finish();
    TakeBuffer();
    begin_ = end_ = 0;
    read_ = 0;
}

// Makes need unread bytes lie together in the buffer; false at the end of the run.
bool SortedRun::Refill(std::size_t need) {
    if (end_ - begin_ >= need) return true;
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size() - end_, bytes_ - read_));
    const std::size_t got = file_->ReadAt(start_ + read_, buffer_.data() + end_, want);
    end_ += got;
    read_ += got;
    return end_ >= need;
}

bool SortedRun::Next(std::string_view& text) {
    if (writing_) throw std::logic_error("a run is read once it is finished");
    if (!Refill(TextArena::kHeaderBytes)) {
        // A run ends on a whole record; anything else is a scratch file gone wrong.
        if (end_ != begin_) throw FileError(EIO, file_->Folder(), false);
        return false;
    }
    const std::size_t length = TextArena::HeaderAt(buffer_.data() + begin_).Length();
    if (!Refill(TextArena::RecordBytes(length))) throw FileError(EIO, file_->Folder(), false);
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
    if (!file_) file_ = std::make_shared<RunFile>(folder_);
    auto run = std::make_unique<SortedRun>(file_, bufferBytes_);
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
    // A pass writes its runs to a file of its own; the runs before go with their files.
    file_.reset();
    while (runs_.size() > 1) {
        const auto passFile = std::make_shared<RunFile>(folder_);
        std::vector<std::unique_ptr<SortedRun>> merged;
        for (std::size_t first = 0; first < runs_.size(); first += kMostMerged) {
            const std::size_t last = std::min(runs_.size(), first + kMostMerged);
            if (last - first == 1) {
                merged.push_back(std::move(runs_[first]));
                continue;
            }
            std::vector<SortedRun*> group;
            for (std::size_t i = first; i < last; ++i) group.push_back(runs_[i].get());
            auto out = std::make_unique<SortedRun>(passFile, bufferBytes_);
            MergeRuns(group, *out, busy_, collation_.get());
            bytesWritten_ += out->Bytes();
            for (std::size_t i = first; i < last; ++i) runs_[i].reset();
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
