#include "engine/distinct_loader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/case_fold.h"
#include "engine/large_memory.h"
#include "engine/line_scanner.h"
#include "engine/runtime_error.h"
#include "engine/slot_table.h"
#include "engine/text_arena.h"
#include "engine/thread_group.h"

namespace ostrel {
namespace {

// A chunk is a sixteenth of the file, within these bounds: enough chunks for the workers to
// share the work, and no more memory than the work needs.
constexpr std::size_t kLeastChunkBytes = std::size_t{64} << 10;
constexpr std::size_t kMostChunkBytes = std::size_t{4} << 20;
constexpr std::size_t kChunkSlots = 4;  // chunks read ahead of the slowest worker, at most
constexpr unsigned kMostWorkers = 4;
// A look-up's memory is fetched ahead: its slot this many lines before, then the text that
// the slot leads to this many.
constexpr std::size_t kSlotAhead = 32;
constexpr std::size_t kTextAhead = 16;

// A non-blank line of a chunk, trimmed, on its way to the share its hash falls to.
struct Line {
    const char* text;
    std::size_t length;
    std::uint64_t hash;  // of the folded text
};

// A chunk of the file and what the workers found in it. One worker splits it into lines;
// then every worker looks up the lines that fall to its share.
struct Batch {
    std::string data;
    std::array<std::vector<Line>, kMostWorkers> lines;  // by share
    bool scanned = false;
    unsigned pending = 0;         // workers yet to look up their lines
    std::uint64_t lineCount = 0;  // lines in it, blank ones included
    std::uint64_t nonBlank = 0;
    std::uint64_t refused = 0;  // number of a line longer than the limit, or 0
    bool overLong = false;      // the chunk is the start of one line, found too long as read
};

// One worker's share of the distinct texts: those whose hash falls to it, each stored once as
// it is first met, in an arena of records that the pool can take over whole.
class DistinctShare {
  public:
    DistinctShare(std::uint64_t expected, std::size_t longestText)
        : scratch_(longestText + 8), otherScratch_(longestText + 8) {
        slots_.Reset(TableSizeFor(expected));
    }

    const std::uint64_t* SlotAddress(std::uint64_t hash) const { return slots_.Address(hash); }
    // Where the record starts that a look-up for hash most likely compares with: the first
    // whose tag matches, among the first slots (of the same cache line, mostly). Null if none.
    const char* LikelyRecord(std::uint64_t hash) const {
        constexpr std::uint64_t kMostProbes = 4;
        const SlotTable::Probe likely = slots_.Find(
            hash, [](std::uint64_t) { return true; }, kMostProbes);
        return likely.found ? texts_.Address(likely.offset) : nullptr;
    }

    // Stores the text unless an equal one, letter case aside, is stored already.
    void Insert(std::string_view text, std::uint64_t hash) {
        const SlotTable::Probe probe = slots_.Find(hash, [&](std::uint64_t offset) {
            return FoldEqual(texts_.Text(offset), text, scratch_.data(), otherScratch_.data());
        });
        if (probe.found) return;
        slots_.Put(probe.position, hash, texts_.Append(text));  // its class comes with Adopt
        if (slots_.NeedsGrowth()) Grow();
    }

    void ReleaseIndex() { slots_.Release(); }
    TextArena& Texts() { return texts_; }

  private:
    void Grow() {
        SlotTable larger;
        larger.Reset(slots_.Size() * 2);
        texts_.Walk([&](TextArena::Offset offset) {
            std::uint64_t hash;
            FoldAndHash(texts_.Text(offset), scratch_.data(), hash);
            larger.Insert(hash, offset);
        });
        slots_ = std::move(larger);
    }

    TextArena texts_;
    SlotTable slots_;  // by the hash of the folded text
    std::vector<char> scratch_, otherScratch_;
};

constexpr std::uint64_t kNone = ~std::uint64_t{0};

// What the calling thread and the workers share, under one lock.
struct Pipeline {
    std::mutex mutex;
    std::condition_variable changed;
    std::array<Batch, kChunkSlots> batches;
    std::uint64_t published = 0;  // batches handed to the workers
    std::uint64_t completed = 0;  // batches every worker has finished, always the first ones
    bool finished = false;        // no batch comes after the published ones
    bool stop = false;            // a failure, or the end: everyone stops
    std::uint64_t linesDone = 0;  // in the completed batches
    std::uint64_t nonBlank = 0;
    std::vector<std::uint64_t> linesPerBatch;  // of the batches split so far (kNone: not yet)
    std::uint64_t scannedPrefix = 0;           // the first batches, all split
    std::uint64_t refusedBatch = kNone;        // the first batch with a refused line
    std::uint64_t refusedLine = 0;             // and the line's number within it

    Batch& Slot(std::uint64_t k) { return batches[k % kChunkSlots]; }

    void Scanned(std::uint64_t k, const Batch& batch) {
        RecordLines(k, batch.lineCount);
        if (batch.refused != 0 && (refusedBatch == kNone || k < refusedBatch)) {
            refusedBatch = k;
            refusedLine = batch.refused;
        }
    }

    // The refused line's number in the file: those of the batches before it and its own.
    std::uint64_t RefusedLineNumber() const {
        std::uint64_t number = refusedLine;
        for (std::uint64_t k = 0; k < refusedBatch; ++k) number += linesPerBatch[k];
        return number;
    }

  private:
    void RecordLines(std::uint64_t k, std::uint64_t lines) {
        if (linesPerBatch.size() <= k) linesPerBatch.resize(k + 1, kNone);
        linesPerBatch[k] = lines;
        while (scannedPrefix < linesPerBatch.size() && linesPerBatch[scannedPrefix] != kNone)
            ++scannedPrefix;
    }
};

// A worker's next piece of work: splitting a batch into lines, or looking up its share of them.
struct Job {
    enum class Kind { Scan, LookUp };
    Kind kind;
    std::uint64_t batch;  // its number in the file
};

class Worker {
  public:
    Worker(Pipeline& pipeline, DistinctShare& share, unsigned index, unsigned count,
           std::size_t maxCharacters)
        : pipeline_(pipeline),
          share_(share),
          index_(index),
          count_(count),
          maxCharacters_(maxCharacters),
          folded_(LineScanner::MostBytes(maxCharacters) + 8),
          nextScan_(index) {}

    // What it throws goes to the thread group, which stops the others.
    void Run() {
        for (;;) {
            std::optional<Job> job;
            {
                std::unique_lock lock(pipeline_.mutex);
                job = NextJob(lock);
            }
            if (!job) return;
            Batch& batch = pipeline_.Slot(job->batch);
            if (job->kind == Job::Kind::Scan) {
                Scan(batch);
                std::lock_guard lock(pipeline_.mutex);
                batch.scanned = true;
                pipeline_.Scanned(job->batch, batch);
            } else {
                LookUp(batch);
                std::lock_guard lock(pipeline_.mutex);
                if (--batch.pending == 0) {
                    ++pipeline_.completed;
                    pipeline_.linesDone += batch.lineCount;
                    pipeline_.nonBlank += batch.nonBlank;
                }
            }
            pipeline_.changed.notify_all();
        }
    }

  private:
    // Waits for the next job: splitting one of this worker's batches (every count-th, from
    // its index), or looking up its share of the next batch in order. None when none is left.
    // Splitting runs a little ahead, so that the other workers need not wait for it.
    std::optional<Job> NextJob(std::unique_lock<std::mutex>& lock) {
        Pipeline& p = pipeline_;
        for (;;) {
            if (p.stop) return std::nullopt;
            const bool refused = p.refusedBatch != kNone;
            // After a refused line only the batches before it are split, for its line number.
            const bool canScan = nextScan_ < std::min(p.published, p.refusedBatch);
            const bool canLookUp =
                !refused && nextLookUp_ < p.published && p.Slot(nextLookUp_).scanned;
            if (canScan && (!canLookUp || nextScan_ <= nextLookUp_ + count_)) {
                const Job job{Job::Kind::Scan, nextScan_};
                nextScan_ += count_;
                return job;
            }
            if (canLookUp) return Job{Job::Kind::LookUp, nextLookUp_++};
            if (!canScan && (refused || (p.finished && nextLookUp_ >= p.published)))
                return std::nullopt;
            p.changed.wait(lock);
        }
    }

    // Splits the batch's chunk into lines, trims and counts them, and sorts the non-blank ones
    // out to the shares their hashes fall to.
    void Scan(Batch& batch) {
        for (auto& lines : batch.lines) lines.clear();
        const char* p = batch.data.data();
        const char* const end = p + batch.data.size();
        std::uint64_t line = 0, nonBlank = 0;
        batch.refused = 0;
        if (batch.overLong) {
            batch.lineCount = batch.nonBlank = batch.refused = 1;
            return;
        }
        LineScanner scanner(maxCharacters_);
        std::string_view text;
        while (p < end) {
            ++line;
            if (scanner.Next(p, end, true, text) == LineScanner::Step::TooLong) {
                batch.refused = line;
                break;
            }
            if (text.empty()) continue;
            ++nonBlank;
            std::uint64_t hash;
            FoldAndHash(text, folded_.data(), hash);
            const unsigned share = count_ > 1 ? ((hash >> 32) & 0xFFFF) * count_ >> 16 : 0;
            batch.lines[share].push_back({text.data(), text.size(), hash});
        }
        batch.lineCount = line;
        batch.nonBlank = nonBlank;
    }

    // Looks up this worker's share of the batch's lines in order, storing each text not met
    // before. The memory of a look-up is fetched a few lines ahead: first the slot, then the
    // text that it leads to.
    void LookUp(const Batch& batch) {
        const std::vector<Line>& lines = batch.lines[index_];
        const std::size_t n = lines.size();
        for (std::size_t i = 0; i < n; ++i) {
            if (i + kSlotAhead < n) PrefetchMemory(share_.SlotAddress(lines[i + kSlotAhead].hash));
            // The prefetch stays here, in the loop: a compiler may drop a call whose only
            // effect is a prefetch.
            if (i + kTextAhead < n) {
                if (const char* record = share_.LikelyRecord(lines[i + kTextAhead].hash))
                    PrefetchRecord(record);
            }
            const Line& l = lines[i];
            share_.Insert({l.text, l.length}, l.hash);
        }
    }

    Pipeline& pipeline_;
    DistinctShare& share_;
    const unsigned index_, count_;
    const std::size_t maxCharacters_;
    std::vector<char> folded_;
    std::uint64_t nextScan_;        // the next batch this worker splits
    std::uint64_t nextLookUp_ = 0;  // the next batch it looks up its share of
};

void Stop(Pipeline& pipeline) {
    std::lock_guard lock(pipeline.mutex);
    pipeline.stop = true;
    pipeline.changed.notify_all();
}

unsigned WorkerCount(unsigned requested) {
    if (requested != 0) return std::min(requested, kMostWorkers);
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMostWorkers);
}

// The calling thread's part of one reading of the file: it reads chunks into the batches the
// workers are done with, hands them out, and reports the lines done, until the file ends, a
// line is refused, the file turns out not to be UTF-8, or the reading fails.
class Producer {
  public:
    Producer(Pipeline& pipeline, TextFileReader& file, std::size_t chunkBytes,
             std::size_t maxCharacters, unsigned workers,
             const std::function<void(std::uint64_t)>& progress)
        : pipeline_(pipeline),
          file_(file),
          chunkBytes_(chunkBytes),
          maxCharacters_(maxCharacters),
          workers_(workers),
          progress_(progress) {}

    // Reads the file into the pipeline while the workers take the batches.
    void Run() {
        for (std::uint64_t k = 0;; ++k) {
            std::unique_lock lock(pipeline_.mutex);
            for (;;) {
                Report(lock);
                if (Ended() || pipeline_.completed + kChunkSlots > k) break;
                pipeline_.changed.wait(lock);
            }
            if (Ended()) return;
            lock.unlock();
            // The slot's last batch is finished with, and no worker reads it until published.
            Batch& batch = pipeline_.Slot(k);
            TextFileReader::Chunk got = TextFileReader::Chunk::End;
            try {
                got = file_.ReadChunk(batch.data, chunkBytes_, maxCharacters_);
            } catch (...) {
                // Raised after the lines already read have had their turn: a line refused
                // among them comes first, as it would line by line.
                readFailure_ = std::current_exception();
            }
            lock.lock();
            // Like a failure, a file found not to be UTF-8 waits for the lines before it: a line
            // refused among them stops the reading first, however the workers are scheduled.
            if (got == TextFileReader::Chunk::Restart) restarted_ = true;
            if (got == TextFileReader::Chunk::End || restarted_) {
                pipeline_.finished = true;
                pipeline_.changed.notify_all();
                return;
            }
            batch.scanned = false;
            batch.overLong = got == TextFileReader::Chunk::TooLong;
            batch.pending = workers_;
            pipeline_.published = k + 1;
            pipeline_.changed.notify_all();
        }
    }

    // Waits until the workers have done every batch, or split every one before a refused line,
    // and then stops them: after a refused line some may still wait for batches that never
    // come.
    void AwaitWorkers() {
        std::unique_lock lock(pipeline_.mutex);
        for (;;) {
            Report(lock);
            if (pipeline_.stop || pipeline_.completed == pipeline_.published) break;
            if (pipeline_.refusedBatch != kNone &&
                pipeline_.scannedPrefix >= pipeline_.refusedBatch)
                break;
            pipeline_.changed.wait(lock);
        }
        pipeline_.stop = true;
        pipeline_.changed.notify_all();
    }

    bool Restarted() const { return restarted_; }
    const std::exception_ptr& ReadFailure() const { return readFailure_; }
    std::uint64_t Reported() const { return reported_; }

  private:
    bool Ended() const { return pipeline_.stop || pipeline_.refusedBatch != kNone; }

    // Reports the lines done. The lock is let go meanwhile, and more lines may be done then:
    // they are reported in turn, so that the waits, which see everything done and end the
    // reading, never leave lines unreported.
    void Report(std::unique_lock<std::mutex>& lock) {
        while (pipeline_.linesDone != reported_) {
            reported_ = pipeline_.linesDone;
            lock.unlock();
            progress_(reported_);
            lock.lock();
        }
    }

    Pipeline& pipeline_;
    TextFileReader& file_;
    const std::size_t chunkBytes_, maxCharacters_;
    const unsigned workers_;
    const std::function<void(std::uint64_t)>& progress_;
    std::uint64_t reported_ = 0;
    std::exception_ptr readFailure_;
    bool restarted_ = false;
};

RuntimeError TooLongError(std::uint64_t line, const std::string& path, std::size_t maxCharacters) {
    return RuntimeError(err::kTextTooLong, "Line " + std::to_string(line) + " of " + path +
                                               " is longer than the limit of " +
                                               std::to_string(maxCharacters) +
                                               " characters for a keyword phrase.");
}

// The shares hold disjoint texts: the pool takes them over whole, and each becomes a row.
void HandOver(std::vector<std::unique_ptr<DistinctShare>>& shares, WorkingTable& table) {
    TextPool& pool = *table.Pool();
    for (auto& share : shares) {
        share->ReleaseIndex();
        pool.Adopt(share->Texts(), [&](TextPool::Id id) { table.AppendStored(id); });
    }
}

}  // namespace

std::uint64_t LoadDistinctLines(TextFileReader& file, WorkingTable& table,
                                std::size_t maxCharacters,
                                const std::function<void(std::uint64_t linesRead)>& progress,
                                unsigned workers) {
    if (table.RecordCount() != 0 || !table.Pool()->Empty())
        throw std::logic_error("the table and its pool must be empty");
    if (maxCharacters == 0 || maxCharacters > 10000)
        throw std::invalid_argument("unsupported line length limit");
    const unsigned count = WorkerCount(workers);
    // A list of mostly distinct phrases has about one a 48 bytes; a larger one grows the index.
    const std::uint64_t expected = std::min<std::uint64_t>(file.Size() / 48, 16u << 20) / count;

    const std::size_t chunkBytes = static_cast<std::size_t>(
        std::clamp<std::uint64_t>(file.Size() / 16, kLeastChunkBytes, kMostChunkBytes));
    Pipeline pipeline;
    std::vector<std::unique_ptr<DistinctShare>> shares;
    std::vector<std::unique_ptr<Worker>> team;
    for (unsigned i = 0; i < count; ++i) {
        shares.push_back(
            std::make_unique<DistinctShare>(expected, LineScanner::MostBytes(maxCharacters)));
        team.push_back(std::make_unique<Worker>(pipeline, *shares.back(), i, count, maxCharacters));
    }
    Producer producer(pipeline, file, chunkBytes, maxCharacters, count, progress);
    {
        // Whatever way the reading ends, the workers are stopped and waited for.
        ThreadGroup threads([&pipeline] { Stop(pipeline); });
        for (auto& w : team) threads.Start([&worker = *w] { worker.Run(); });
        producer.Run();
        producer.AwaitWorkers();
        threads.Join();  // raises what a worker threw, before any failure met later
    }
    if (pipeline.refusedBatch != kNone)
        throw TooLongError(pipeline.RefusedLineNumber(), file.Path(), maxCharacters);
    if (producer.Restarted()) {
        // The file is read again from its start, in the code page: what was found so far is
        // dropped. The lines read again are the same lines: the count goes on only past the
        // ones reported.
        const std::uint64_t reported = producer.Reported();
        return LoadDistinctLines(
            file, table, maxCharacters,
            [&](std::uint64_t lines) { progress(std::max(reported, lines)); }, workers);
    }
    if (producer.ReadFailure()) std::rethrow_exception(producer.ReadFailure());
    HandOver(shares, table);
    return pipeline.nonBlank;
}

}  // namespace ostrel
