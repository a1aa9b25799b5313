#include "folded_sort.h"

#include <algorithm>
#include <thread>

namespace ostrel {
namespace {

// Texts are compared sixteen folded bytes at a time: a level sorts by two integers, and only
// the runs that tie go on to the next sixteen bytes, so the texts are read once a level rather
// than once a comparison.
constexpr std::size_t kLevel = 16;
constexpr std::uint64_t kIdMask = (std::uint64_t{1} << 48) - 1;

struct Key {
    std::uint64_t high, low;    // folded bytes [depth, depth + 16), big-endian, zero-padded
    std::uint64_t idAndLength;  // id in the low 48 bits, folded length above
    TextPool::Id Id() const { return idAndLength & kIdMask; }
    std::uint64_t Length() const { return idAndLength >> 48; }
};

bool ByBytes(const Key& a, const Key& b) {
    return a.high != b.high ? a.high < b.high : a.low < b.low;
}

void Fill(Key& key, const TextPool& pool, std::size_t depth) {
    const std::size_t length = pool.FoldedSlice(key.Id(), depth, key.high, key.low);
    key.idAndLength = key.Id() | (std::uint64_t(std::min<std::size_t>(length, 0xFFFF)) << 48);
}

void SortLevel(Key* begin, Key* end, const TextPool& pool, std::size_t depth);

// All keys in [begin, end) share their first depth + 16 folded bytes.
void Refine(Key* begin, Key* end, const TextPool& pool, std::size_t depth) {
    // Texts that end within these bytes come first, shorter first (they can differ only by
    // trailing zero bytes); the rest go on to the next level.
    Key* longer =
        std::partition(begin, end, [&](const Key& k) { return k.Length() <= depth + kLevel; });
    std::sort(begin, longer, [](const Key& a, const Key& b) {
        return a.Length() != b.Length() ? a.Length() < b.Length() : a.Id() < b.Id();
    });
    if (end - longer > 1) {
        for (Key* k = longer; k != end; ++k) Fill(*k, pool, depth + kLevel);
        SortLevel(longer, end, pool, depth + kLevel);
    }
}

void SortLevel(Key* begin, Key* end, const TextPool& pool, std::size_t depth) {
    std::sort(begin, end, ByBytes);
    for (Key* run = begin; run != end;) {
        Key* next = run + 1;
        while (next != end && next->high == run->high && next->low == run->low) ++next;
        if (next - run > 1) Refine(run, next, pool, depth);
        run = next;
    }
}

}  // namespace

void SortByFoldedText(std::vector<TextPool::Id>& ids, const TextPool& pool) {
    std::vector<Key> keys(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        keys[i].idAndLength = ids[i];
        Fill(keys[i], pool, 0);
    }
    Key* begin = keys.data();
    Key* end = begin + keys.size();
    if (keys.size() >= 100000 && std::thread::hardware_concurrency() > 1) {
        // Split at the median so that every key of the first part sorts before every key of
        // the second, keys equal to the median included, then sort the parts side by side.
        Key* middle = begin + keys.size() / 2;
        std::nth_element(begin, middle, end, ByBytes);
        const Key pivot = *middle;
        Key* split = std::partition(middle, end, [&](const Key& k) { return !ByBytes(pivot, k); });
        std::thread helper([&] { SortLevel(begin, split, pool, 0); });
        SortLevel(split, end, pool, 0);
        helper.join();
    } else {
        SortLevel(begin, end, pool, 0);
    }
    for (std::size_t i = 0; i < keys.size(); ++i) ids[i] = keys[i].Id();
}

}  // namespace ostrel
