#include "engine/distinct_loader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string_view>
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
struct Chunk {
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
    std::array<Chunk, kChunkSlots> chunks;
    std::uint64_t published = 0;  // chunks handed to the workers
    std::uint64_t completed = 0;  // chunks every worker has finished, always the first ones
    bool finished = false;        // no chunk comes after the published ones
    bool stop = false;            // a failure, or the end: everyone stops
    std::uint64_t linesDone = 0;  // in the completed chunks
    std::uint64_t nonBlank = 0;
    std::vector<std::uint64_t> linesPerChunk;  // of the chunks split so far (kNone: not yet)
    std::uint64_t scannedPrefix = 0;           // the first chunks, all split
    std::uint64_t refusedChunk = kNone;        // the first chunk with a refused line
    std::uint64_t refusedLine = 0;             // and the line's number within it

    void Scanned(std::uint64_t k, const Chunk& chunk) {
        RecordLines(k, chunk.lineCount);
        if (chunk.refused != 0 && (refusedChunk == kNone || k < refusedChunk)) {
            refusedChunk = k;
            refusedLine = chunk.refused;
        }
    }

  private:
    void RecordLines(std::uint64_t k, std::uint64_t lines) {
        if (linesPerChunk.size() <= k) linesPerChunk.resize(k + 1, kNone);
        linesPerChunk[k] = lines;
        while (scannedPrefix < linesPerChunk.size() && linesPerChunk[scannedPrefix] != kNone)
            ++scannedPrefix;
    }
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
          folded_(LineScanner::MostBytes(maxCharacters) + 8) {}

    // What it throws goes to the thread group, which stops the others.
    void Run() {
        std::uint64_t nextScan = index_, nextLookUp = 0;
        for (;;) {
            bool scan = false;
            std::uint64_t k = 0;
            {
                std::unique_lock lock(pipeline_.mutex);
                if (!NextJob(lock, nextScan, nextLookUp, scan, k)) return;
            }
            Chunk& chunk = pipeline_.chunks[k % kChunkSlots];
            if (scan) {
                Scan(chunk);
                std::lock_guard lock(pipeline_.mutex);
                chunk.scanned = true;
                pipeline_.Scanned(k, chunk);
            } else {
                LookUp(chunk);
                std::lock_guard lock(pipeline_.mutex);
                if (--chunk.pending == 0) {
                    ++pipeline_.completed;
                    pipeline_.linesDone += chunk.lineCount;
                    pipeline_.nonBlank += chunk.nonBlank;
                }
            }
            pipeline_.changed.notify_all();
        }
    }

  private:
    // Waits for the next job: splitting one of this worker's chunks (every count-th, from
    // its index), or looking up its share of the next chunk in order. False when none is
    // left. Splitting runs a little ahead, so that the other workers need not wait for it.
    bool NextJob(std::unique_lock<std::mutex>& lock, std::uint64_t& nextScan,
                 std::uint64_t& nextLookUp, bool& scan, std::uint64_t& k) {
        Pipeline& p = pipeline_;
        for (;;) {
            if (p.stop) return false;
            const bool refused = p.refusedChunk != kNone;
            // After a refused line only the chunks before it are split, for its line number.
            const bool canScan = nextScan < std::min(p.published, p.refusedChunk);
            const bool canLookUp =
                !refused && nextLookUp < p.published && p.chunks[nextLookUp % kChunkSlots].scanned;
            if (canScan && (!canLookUp || nextScan <= nextLookUp + count_)) {
                scan = true;
                k = nextScan;
                nextScan += count_;
                return true;
            }
            if (canLookUp) {
                scan = false;
                k = nextLookUp++;
                return true;
            }
            if (!canScan && (refused || (p.finished && nextLookUp >= p.published))) return false;
            p.changed.wait(lock);
        }
    }

    // Splits the chunk into lines, trims and counts them, and sorts the non-blank ones out to
    // the shares their hashes fall to.
    void Scan(Chunk& chunk) {
        for (auto& lines : chunk.lines) lines.clear();
        const char* p = chunk.data.data();
        const char* const end = p + chunk.data.size();
        std::uint64_t line = 0, nonBlank = 0;
        chunk.refused = 0;
        if (chunk.overLong) {
            chunk.lineCount = chunk.nonBlank = chunk.refused = 1;
            return;
        }
        LineScanner scanner(maxCharacters_);
        std::string_view text;
        while (p < end) {
            ++line;
            if (scanner.Next(p, end, true, text) == LineScanner::Step::TooLong) {
                chunk.refused = line;
                break;
            }
            if (text.empty()) continue;
            ++nonBlank;
            std::uint64_t hash;
            FoldAndHash(text, folded_.data(), hash);
            const unsigned share = count_ > 1 ? ((hash >> 32) & 0xFFFF) * count_ >> 16 : 0;
            chunk.lines[share].push_back({text.data(), text.size(), hash});
        }
        chunk.lineCount = line;
        chunk.nonBlank = nonBlank;
    }

    // Looks up this worker's share of the chunk's lines in order, storing each text not met
    // before. The memory of a look-up is fetched a few lines ahead: first the slot, then the
    // text that it leads to.
    void LookUp(const Chunk& chunk) {
        const std::vector<Line>& lines = chunk.lines[index_];
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
};

void Stop(Pipeline& pipeline) {
    std::lock_guard lock(pipeline.mutex);
    pipeline.stop = true;
    pipeline.changed.notify_all();
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
    const unsigned count = ThreadCount(workers);
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
    std::uint64_t reported = 0;
    std::exception_ptr readFailure;
    bool restarted = false;
    {
        // Whatever way the reading ends, the workers are stopped and waited for.
        ThreadGroup threads([&pipeline] { Stop(pipeline); });
        for (auto& w : team) threads.Start([&worker = *w] { worker.Run(); });
        // Reports the lines done. The lock is let go meanwhile, and more lines may be done
        // then: they are reported in turn, so that the waits below, which see everything done
        // and end the reading, never leave lines unreported.
        auto report = [&](std::unique_lock<std::mutex>& lock) {
            while (pipeline.linesDone != reported) {
                reported = pipeline.linesDone;
                lock.unlock();
                progress(reported);
                lock.lock();
            }
        };
        for (std::uint64_t k = 0;; ++k) {
            std::unique_lock lock(pipeline.mutex);
            for (;;) {
                report(lock);
                if (pipeline.stop || pipeline.refusedChunk != kNone ||
                    pipeline.completed + kChunkSlots > k)
                    break;
                pipeline.changed.wait(lock);
            }
            if (pipeline.stop || pipeline.refusedChunk != kNone) break;
            lock.unlock();
            // The slot's last chunk is finished with, and no worker reads it until published.
            Chunk& chunk = pipeline.chunks[k % kChunkSlots];
            TextFileReader::Chunk got = TextFileReader::Chunk::End;
            try {
                got = file.ReadChunk(chunk.data, chunkBytes, maxCharacters);
            } catch (...) {
                // Raised after the lines already read have had their turn: a line refused
                // among them comes first, as it would line by line.
                readFailure = std::current_exception();
            }
            lock.lock();
            if (got == TextFileReader::Chunk::Restart) {
                restarted = true;
                pipeline.stop = true;
                pipeline.changed.notify_all();
                break;
            }
            if (got == TextFileReader::Chunk::End) {
                pipeline.finished = true;
                pipeline.changed.notify_all();
                break;
            }
            chunk.scanned = false;
            chunk.overLong = got == TextFileReader::Chunk::TooLong;
            chunk.pending = count;
            pipeline.published = k + 1;
            pipeline.changed.notify_all();
        }
        std::unique_lock lock(pipeline.mutex);
        for (;;) {
            report(lock);
            if (pipeline.stop || pipeline.completed == pipeline.published) break;
            if (pipeline.refusedChunk != kNone && pipeline.scannedPrefix >= pipeline.refusedChunk)
                break;
            pipeline.changed.wait(lock);
        }
        // After a refused line some workers may still wait for chunks that never come.
        pipeline.stop = true;
        pipeline.changed.notify_all();
        lock.unlock();
        threads.Join();  // raises what a worker threw, before any failure met later
    }
    if (restarted) {
        // The file is read again from its start, in the code page: what was found so far is
        // dropped, and the count of lines read goes on from where it stood.
        return LoadDistinctLines(
            file, table, maxCharacters, [&](std::uint64_t lines) { progress(reported + lines); },
            workers);
    }
    if (pipeline.refusedChunk == kNone && readFailure) std::rethrow_exception(readFailure);
    if (pipeline.refusedChunk != kNone) {
        std::uint64_t number = pipeline.refusedLine;
        for (std::uint64_t k = 0; k < pipeline.refusedChunk; ++k)
            number += pipeline.linesPerChunk[k];
        throw RuntimeError(err::kTextTooLong, "Line " + std::to_string(number) + " of " +
                                                  file.Path() + " is longer than the limit of " +
                                                  std::to_string(maxCharacters) +
                                                  " characters for a keyword phrase.");
    }

    // The shares hold disjoint texts: the pool takes them over whole, and each becomes a row.
    TextPool& pool = *table.Pool();
    for (auto& share : shares) {
        share->ReleaseIndex();
        pool.Adopt(share->Texts(), [&](TextPool::Id id) { table.AppendStored(id); });
    }
    return pipeline.nonBlank;
}

}  // namespace ostrel
