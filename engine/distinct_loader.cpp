#include "engine/distinct_loader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "engine/failure.h"
#include "engine/memory_budget.h"
#include "engine/order/phrase_order.h"
#include "engine/order/phrase_sort.h"
#include "engine/runs/sorted_runs.h"
#include "engine/table/large_memory.h"
#include "engine/table/slot_table.h"
#include "engine/table/text_arena.h"
#include "engine/text/line_scanner.h"
#include "engine/thread_group.h"

namespace ostrel {
namespace {

constexpr std::size_t kChunkSlots = LoadPlan::kChunksInHand;
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
    std::array<std::vector<Line>, kMostThreads> lines;  // by share
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
    DistinctShare(const LoadPlan& plan, std::size_t longestText)
        : scratch_(FormRoom(longestText)),
          otherScratch_(FormRoom(longestText)),
          tableSize_(TableSizeFor(plan.expectedPerShare)),
          plan_(plan) {
        slots_.Reset(tableSize_);
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
        batchBytes_ += TextArena::RecordBytes(text.size());
        ++batchCount_;
        if (slots_.NeedsGrowth()) MaybeGrow();
    }

    void ReleaseIndex() { slots_.Release(); }
    TextArena& Texts() { return texts_; }

    // Ends a batch's look-up: whether the share's texts would take more than its budget once
    // sorted, the batches in hand reckoned to add what this one did. They are then to be
    // written out.
    bool EndBatch() {
        const bool over = full_ || plan_.ShareOverBudget(texts_.Bytes(), texts_.Size(),
                                                         slots_.Bytes(), batchBytes_, batchCount_);
        batchBytes_ = batchCount_ = 0;
        return over;
    }
    // Starts afresh once the texts are written out (and so taken from the arena).
    void Restart() {
        slots_.Reset(tableSize_);
        full_ = false;
    }

  private:
    // A larger index takes its memory while the old one is still held: under a budget that
    // leaves no room for both, the share is full instead, until it is so crowded that it must
    // grow all the same.
    void MaybeGrow() {
        if (!slots_.Crowded() && !plan_.ShareIndexMayGrow(texts_.Bytes(), slots_.Bytes())) {
            full_ = true;
            return;
        }
        Grow();
    }

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
    const std::uint64_t tableSize_;
    const LoadPlan& plan_;
    bool full_ = false;
    std::uint64_t batchBytes_ = 0, batchCount_ = 0;  // records added by the batch looked up
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
    std::vector<std::uint64_t> linesPerBatch;     // of the batches split so far (kNone: not yet)
    std::uint64_t scannedPrefix = 0;              // the first batches, all split
    std::uint64_t refusedBatch = kNone;           // the first batch with a refused line
    std::uint64_t refusedLine = 0;                // and the line's number within it
    std::array<bool, kMostThreads> overBudget{};  // by share, as of its last look-up

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
          folded_(FormRoom(LineScanner::MostBytes(maxCharacters))),
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
                const bool over = share_.EndBatch();
                std::lock_guard lock(pipeline_.mutex);
                pipeline_.overBudget[index_] = over;
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

// The calling thread's part of one reading of the file: it reads chunks into the batches the
// workers are done with, hands them out, and reports the lines done, until the file ends, a
// line is refused, the file turns out not to be UTF-8, or the reading fails.
class Producer {
  public:
    // spill, if given, writes the shares' texts out when one of them is over its budget,
    // while the workers wait.
    Producer(Pipeline& pipeline, TextFileReader& file, std::size_t chunkBytes,
             std::size_t maxCharacters, unsigned workers,
             const std::function<void(std::uint64_t)>& progress, std::function<void()> spill)
        : pipeline_(pipeline),
          file_(file),
          chunkBytes_(chunkBytes),
          maxCharacters_(maxCharacters),
          workers_(workers),
          progress_(progress),
          spill_(std::move(spill)) {}

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
            if (OverBudget()) {
                if (!Drain(lock)) return;
                lock.unlock();
                spill_();
                lock.lock();
                pipeline_.overBudget.fill(false);
            }
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
    bool OverBudget() const {
        return spill_ && std::find(pipeline_.overBudget.begin(), pipeline_.overBudget.end(),
                                   true) != pipeline_.overBudget.end();
    }
    // Waits until the workers have looked up every batch handed out, and so are idle; false
    // when the reading ended meanwhile.
    bool Drain(std::unique_lock<std::mutex>& lock) {
        for (;;) {
            Report(lock);
            if (Ended()) return false;
            if (pipeline_.completed == pipeline_.published) return true;
            pipeline_.changed.wait(lock);
        }
    }

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
    const std::function<void()> spill_;
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

// The shares hold disjoint texts: the pool takes them over whole, side by side, and each
// becomes a row.
void HandOver(std::vector<std::unique_ptr<DistinctShare>>& shares, WorkingTable& table,
              unsigned threads) {
    std::vector<TextArena*> texts;
    for (auto& share : shares) {
        share->ReleaseIndex();
        texts.push_back(&share->Texts());
    }
    table.AppendAdopted(texts, threads);
}

// The error of a full disk: the folder, and about how much room the load needs there, its runs
// reckoned from those written so far for the part of the list read, and twice that for
// the merge, which writes them all once more.
RuntimeError DiskFullError(const SpilledRuns& runs, const TextFileReader& file) {
    const std::uint64_t read = std::max<std::uint64_t>(file.BytesRead(), 1);
    const double runBytes = runs.BytesWritten() == 0
                                ? double(file.Size())
                                : double(runs.BytesWritten()) * double(file.Size()) / double(read);
    const auto megabytes = static_cast<std::uint64_t>(std::ceil(2 * runBytes / 1e6));
    return RuntimeError(err::kDiskFull, "Not enough disk space in the temporary folder " +
                                            runs.Folder() + ": sorting " + file.Path() +
                                            " needs about " +
                                            std::to_string(std::max<std::uint64_t>(megabytes, 1)) +
                                            " MB free there.");
}

// Runs work, turning a full disk into the error that says so.
template <typename Work>
void OnScratchDisk(const SpilledRuns& runs, const TextFileReader& file, Work&& work) {
    try {
        work();
    } catch (const RuntimeError& e) {
        if (e.Number() == err::kDiskFull) throw DiskFullError(runs, file);
        throw;
    }
}

// The shares' texts written out as the next run, and the shares started afresh.
void Spill(std::vector<std::unique_ptr<DistinctShare>>& shares, SpilledRuns& runs,
           const TextFileReader& file, unsigned threads) {
    std::vector<TextArena*> texts;
    for (auto& share : shares) {
        share->ReleaseIndex();
        texts.push_back(&share->Texts());
    }
    OnScratchDisk(runs, file, [&] { runs.Write(texts, threads); });
    for (auto& share : shares) share->Restart();
}

// One reading of the list: what it filled and how it ended.
struct Reading {
    Pipeline pipeline;
    std::vector<std::unique_ptr<DistinctShare>> shares;
    std::optional<SpilledRuns> runs;  // under a budget
    bool restarted = false;           // the list is to be read again in the code page
    std::exception_ptr readFailure;
    std::uint64_t reported = 0;  // lines reported done
};

// The read step: the list read once into the plan's shares by the workers, which write them
// out as runs whenever one is over its budget.
void Read(Reading& reading, TextFileReader& file, const LoadPlan& plan, std::size_t maxCharacters,
          const std::function<void(std::uint64_t)>& progress, const LoadOptions& options) {
    if (plan.Bounded())
        reading.runs.emplace(options.scratchFolder, plan.runBufferBytes, options.busy,
                             options.collation);
    auto& shares = reading.shares;
    std::vector<std::unique_ptr<Worker>> team;
    for (unsigned i = 0; i < plan.workers; ++i) {
        shares.push_back(
            std::make_unique<DistinctShare>(plan, LineScanner::MostBytes(maxCharacters)));
        team.push_back(std::make_unique<Worker>(reading.pipeline, *shares.back(), i, plan.workers,
                                                maxCharacters));
    }
    std::function<void()> spill;
    if (reading.runs) spill = [&] { Spill(shares, *reading.runs, file, plan.workers); };
    Producer producer(reading.pipeline, file, plan.chunkBytes, maxCharacters, plan.workers,
                      progress, spill);
    {
        // Whatever way the reading ends, the workers are stopped and waited for.
        ThreadGroup threads([&reading] { Stop(reading.pipeline); });
        for (auto& w : team) threads.Start([&worker = *w] { worker.Run(); });
        producer.Run();
        producer.AwaitWorkers();
        threads.Join();  // raises what a worker threw, before any failure met later
    }
    reading.restarted = producer.Restarted();
    reading.readFailure = producer.ReadFailure();
    reading.reported = producer.Reported();
}

// The finish step: the shares' texts become the table's rows, taken over in memory, or, when
// runs were written, as the last run merged with the others.
void Finish(Reading& reading, TextFileReader& file, WorkingTable& table, unsigned workers) {
    if (reading.runs && !reading.runs->Empty()) {
        Spill(reading.shares, *reading.runs, file, workers);
        reading.shares.clear();
        std::unique_ptr<SortedRun> merged;
        OnScratchDisk(*reading.runs, file, [&] { merged = reading.runs->Merge(); });
        table.AttachRun(std::move(merged));
    } else {
        HandOver(reading.shares, table, workers);
    }
}

}  // namespace

std::uint64_t LoadDistinctLines(TextFileReader& file, WorkingTable& table,
                                std::size_t maxCharacters,
                                const std::function<void(std::uint64_t linesRead)>& progress,
                                unsigned workers) {
    LoadOptions options;
    options.workers = workers;
    return LoadDistinctLines(file, table, maxCharacters, progress, options);
}

std::uint64_t LoadDistinctLines(TextFileReader& file, WorkingTable& table,
                                std::size_t maxCharacters,
                                const std::function<void(std::uint64_t linesRead)>& progress,
                                const LoadOptions& options) {
    if (table.RecordCount() != 0 || !table.Pool()->Empty())
        throw std::logic_error("the table and its pool must be empty");
    if (maxCharacters == 0 || maxCharacters > 10000)
        throw std::invalid_argument("unsupported line length limit");
    const LoadPlan plan = PlanLoad(options.memoryBudget, file.Size(), ThreadCount(options.workers));
    Reading reading;
    Read(reading, file, plan, maxCharacters, progress, options);
    if (reading.pipeline.refusedBatch != kNone)
        throw TooLongError(reading.pipeline.RefusedLineNumber(), file.Path(), maxCharacters);
    if (reading.restarted) {
        // The file is read again from its start, in the code page: what was found so far is
        // dropped, runs too. The lines read again are the same lines: the count goes on only
        // past the ones reported.
        reading.runs.reset();
        reading.shares.clear();
        const std::uint64_t reported = reading.reported;
        return LoadDistinctLines(
            file, table, maxCharacters,
            [&](std::uint64_t lines) { progress(std::max(reported, lines)); }, options);
    }
    if (reading.readFailure) std::rethrow_exception(reading.readFailure);
    Finish(reading, file, table, plan.workers);
    return reading.pipeline.nonBlank;
}

}  // namespace ostrel
