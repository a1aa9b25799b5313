#include "engine/order/phrase_sort.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <boost/sort/pdqsort/pdqsort.hpp>

#include "engine/order/phrase_order.h"
#include "engine/thread_group.h"

namespace ostrel {
namespace {

// Texts are compared a few folded words at a time: a level sorts by these integers, and only
// the runs that tie go on to the next words, so the texts are read once a level rather than
// once a comparison. Three words a level, as keyword phrases often share their first sixteen
// bytes.
constexpr std::size_t kWords = 3;
constexpr std::size_t kLevel = 8 * kWords;
constexpr std::uint64_t kIdMask = (std::uint64_t{1} << 48) - 1;
constexpr std::size_t kParallelFrom = 100000;  // keys; fewer are sorted on the calling thread
constexpr std::size_t kIdBlock = 4096;         // ids read or written at a time
// A parallel sort puts keys in buckets by their first two bytes.
constexpr std::size_t kBuckets = std::size_t{1} << 16;

struct Key {
    std::uint64_t words[kWords];  // folded bytes [depth, depth + kLevel), big-endian, zero-padded
    std::uint64_t idAndLength;    // id in the low 48 bits, folded length above
    TextPool::Id Id() const { return idAndLength & kIdMask; }
    std::uint64_t Length() const { return idAndLength >> 48; }
};

static_assert(sizeof(Key) == kSortBytesPerId);

// Word by word, and with no branch on the words: the sort's partitions compare blocks of keys
// without branching on the results.
struct ByBytes {
    bool operator()(const Key& a, const Key& b) const {
        bool less = a.words[kWords - 1] < b.words[kWords - 1];
        for (std::size_t i = kWords - 1; i-- > 0;)
            less = (a.words[i] < b.words[i]) | ((a.words[i] == b.words[i]) & less);
        return less;
    }
};

bool SameBytes(const Key& a, const Key& b) {
    for (std::size_t i = 0; i < kWords; ++i)
        if (a.words[i] != b.words[i]) return false;
    return true;
}

// What a keys' words are of: the collation key of a text's form, or the form itself. In a
// language's order, keys that tie whole go on to their forms.
enum class Stage { CollationKey, Form };

// What a thread sorting keys works with: the pool, its own collation keys, and its own scratch
// for the form of a text (a thread_local one would cost a call a key where TLS is emulated).
struct Sorter {
    Sorter(const TextPool& p, const Collation* collation)
        : pool(p), keys(collation ? collation->NewKeys() : nullptr) {}

    Stage First() const { return keys ? Stage::CollationKey : Stage::Form; }
    // The words of text id's key or form from depth; returns its length, or more when it goes
    // on past them.
    std::size_t Words(TextPool::Id id, std::size_t depth, std::uint64_t* words, std::size_t count,
                      Stage stage) {
        if (stage == Stage::Form) return pool.FoldedWords(id, depth, words, count, scratch);
        form.clear();
        PhraseForm(pool.Text(id), form);
        return keys->KeyWords(form, depth, words, count);
    }

    const TextPool& pool;
    std::unique_ptr<CollationKeys> keys;
    std::string scratch, form;
};

void Fill(Key& key, Sorter& s, std::size_t depth, Stage stage) {
    const std::size_t length = s.Words(key.Id(), depth, key.words, kWords, stage);
    key.idAndLength = key.Id() | (std::uint64_t(std::min<std::size_t>(length, 0xFFFF)) << 48);
}

void SortLevel(Key* begin, Key* end, Sorter& s, std::size_t depth, Stage stage);

// Fills the keys of [begin, end) from depth and sorts them.
void FillAndSort(Key* begin, Key* end, Sorter& s, std::size_t depth, Stage stage) {
    constexpr std::ptrdiff_t kAhead = 8;  // texts lie scattered: fetch a few ahead
    for (Key* k = begin; k != end; ++k) {
        if (end - k > kAhead) s.pool.PrefetchText(k[kAhead].Id());
        Fill(*k, s, depth, stage);
    }
    SortLevel(begin, end, s, depth, stage);
}

// All keys in [begin, end) share their first depth + kLevel bytes.
void Refine(Key* begin, Key* end, Sorter& s, std::size_t depth, Stage stage) {
    // Keys that end within these bytes come first, shorter first (they can differ only by
    // trailing zero bytes); the rest go on to the next level.
    Key* longer =
        std::partition(begin, end, [&](const Key& k) { return k.Length() <= depth + kLevel; });
    std::sort(begin, longer, [](const Key& a, const Key& b) {
        return a.Length() != b.Length() ? a.Length() < b.Length() : a.Id() < b.Id();
    });
    // Collation keys that are equal whole are ordered by their forms.
    if (stage == Stage::CollationKey) {
        for (Key* run = begin; run != longer;) {
            Key* next = run + 1;
            while (next != longer && next->Length() == run->Length()) ++next;
            if (next - run > 1) FillAndSort(run, next, s, 0, Stage::Form);
            run = next;
        }
    }
    if (end - longer > 1) FillAndSort(longer, end, s, depth + kLevel, stage);
}

void SortLevel(Key* begin, Key* end, Sorter& s, std::size_t depth, Stage stage) {
    boost::sort::pdqsort_branchless(begin, end, ByBytes{});
    for (Key* run = begin; run != end;) {
        Key* next = run + 1;
        while (next != end && SameBytes(*next, *run)) ++next;
        if (next - run > 1) Refine(run, next, s, depth, stage);
        run = next;
    }
}

// Calls visit(i, id) for each id of [first, last), read a block at a time.
template <typename Visit>
void EachId(const IdBlocks& ids, std::size_t first, std::size_t last, const Visit& visit) {
    TextPool::Id block[kIdBlock];
    for (std::size_t at = first; at < last; at += kIdBlock) {
        const std::size_t n = std::min(kIdBlock, last - at);
        ids.read(at, n, block);
        for (std::size_t k = 0; k < n; ++k) visit(at + k, block[k]);
    }
}

}  // namespace

std::size_t SortHeldBytes(unsigned threads) {
    // Each thread's counts of its range's keys by bucket, the buckets' starts, and the next
    // place in each while keys are moved in place.
    return (std::size_t{threads} + 2) * kBuckets * sizeof(std::size_t);
}

void SortPhrases(std::vector<TextPool::Id>& ids, const TextPool& pool, unsigned threads,
                 const Collation* collation) {
    SortPhrases(IdBlocks{ids.size(),
                         [&](std::size_t first, std::size_t n, TextPool::Id* out) {
                             std::copy_n(ids.data() + first, n, out);
                         },
                         [&](std::size_t first, std::size_t n, const TextPool::Id* in) {
                             std::copy_n(in, n, ids.data() + first);
                         }},
                pool, threads, collation);
}

void SortPhrases(const IdBlocks& ids, const TextPool& pool, unsigned requested,
                 const Collation* collation) {
    const std::size_t n = ids.count;
    const unsigned threads = n < kParallelFrom ? 1 : ThreadCount(requested);
    std::unique_ptr<Key[]> storage(new Key[n]);  // filled below; no need to clear it first
    Key* const keys = storage.get();
    if (threads == 1) {
        Sorter sorter(pool, collation);
        EachId(ids, 0, n, [&](std::size_t i, TextPool::Id id) {
            keys[i].idAndLength = id;
            Fill(keys[i], sorter, 0, sorter.First());
        });
        SortLevel(keys, keys + n, sorter, 0, sorter.First());
    } else {
        // Keys are put in buckets by their first two bytes, so that every key of a bucket sorts
        // before every key of the next; the buckets are then sorted side by side, largest
        // first. The ids are split into one range a thread, and each range's keys are counted
        // by bucket.
        const auto bucketOf = [](const Key& key) { return key.words[0] >> 48; };
        const auto rangeStart = [&](std::size_t r) { return n * r / threads; };
        std::vector<std::vector<std::size_t>> place(threads, std::vector<std::size_t>(kBuckets));
        // Calls visit(sorter, place of the range, index, key) for each key, its id alone set,
        // on one thread a range.
        const auto eachKey = [&](const auto& visit) {
            RunShared(threads, threads, [&](std::size_t r) {
                Sorter sorter(pool, collation);
                EachId(ids, rangeStart(r), rangeStart(r + 1), [&](std::size_t i, TextPool::Id id) {
                    Key key;
                    key.idAndLength = id;
                    visit(sorter, place[r], i, key);
                });
            });
        };
        // Where each range's keys of each bucket go.
        std::vector<std::size_t> start(kBuckets + 1, 0);
        const auto placeBuckets = [&] {
            for (std::size_t b = 0; b < kBuckets; ++b) {
                std::size_t next = start[b];
                for (std::vector<std::size_t>& range : place) next += std::exchange(range[b], next);
                start[b + 1] = next;
            }
        };
        if (collation) {
            // A collation key costs far more than a form's words: each is made once, where its
            // id is, and the keys are then moved into their buckets in place.
            eachKey([&](Sorter& sorter, std::vector<std::size_t>& count, std::size_t i, Key& key) {
                Fill(key, sorter, 0, sorter.First());
                keys[i] = key;
                ++count[bucketOf(key)];
            });
            placeBuckets();
            std::vector<std::size_t> next(start.begin(), start.end() - 1);
            for (std::size_t b = 0; b < kBuckets; ++b) {
                for (std::size_t& i = next[b]; i < start[b + 1];) {
                    const std::size_t home = bucketOf(keys[i]);
                    if (home == b)
                        ++i;
                    else
                        std::swap(keys[i], keys[next[home]++]);
                }
            }
        } else {
            // A form's words are cheap: counting needs the first word alone, and each key then
            // goes straight to its range's place in its bucket.
            eachKey([&](Sorter& sorter, std::vector<std::size_t>& count, std::size_t, Key& key) {
                sorter.Words(key.Id(), 0, key.words, 1, sorter.First());
                ++count[bucketOf(key)];
            });
            placeBuckets();
            eachKey([&](Sorter& sorter, std::vector<std::size_t>& next, std::size_t, Key& key) {
                Fill(key, sorter, 0, sorter.First());
                keys[next[bucketOf(key)]++] = key;
            });
        }
        std::vector<std::size_t> order;
        for (std::size_t b = 0; b < kBuckets; ++b)
            if (start[b + 1] - start[b] > 1) order.push_back(b);
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return start[a + 1] - start[a] > start[b + 1] - start[b];
        });
        RunShared(order.size(), threads, [&](std::size_t i) {
            Sorter sorter(pool, collation);
            SortLevel(keys + start[order[i]], keys + start[order[i] + 1], sorter, 0,
                      sorter.First());
        });
    }
    TextPool::Id block[kIdBlock];
    for (std::size_t at = 0; at < n; at += kIdBlock) {
        const std::size_t count = std::min(kIdBlock, n - at);
        for (std::size_t k = 0; k < count; ++k) block[k] = keys[at + k].Id();
        ids.write(at, count, block);
    }
}

}  // namespace ostrel
