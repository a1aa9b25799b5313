#pragma once
// An unstable comparison sort for arrays of small trivially copyable records, such as the sort's
// keys. It is a quicksort whose partition first compares a block of records with the pivot,
// noting the misplaced ones, and only then moves them: no branch hangs on a comparison's result,
// which on keys in no particular order is wrong half the time.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace ostrel {
namespace block_sort {

constexpr std::ptrdiff_t kBlock = 64;  // records compared before any is moved
constexpr std::ptrdiff_t kSmall = 24;  // ranges this small are sorted by insertion
constexpr std::ptrdiff_t kNintherFrom = 128;

template <typename T, typename Less>
void InsertionSort(T* begin, T* end, const Less& less) {
    for (T* i = begin + 1; i < end; ++i) {
        if (!less(*i, i[-1])) continue;
        const T moved = *i;
        T* j = i;
        do {
            *j = j[-1];
            --j;
        } while (j > begin && less(moved, j[-1]));
        *j = moved;
    }
}

template <typename T, typename Less>
void Sort3(T* a, T* b, T* c, const Less& less) {
    if (less(*b, *a)) std::swap(*a, *b);
    if (less(*c, *b)) std::swap(*b, *c);
    if (less(*b, *a)) std::swap(*a, *b);
}

// Moves a median of some records of [begin, end) to begin, to be the pivot.
template <typename T, typename Less>
void ChoosePivot(T* begin, T* end, const Less& less) {
    const std::ptrdiff_t n = end - begin, half = n / 2;
    if (n >= kNintherFrom) {
        Sort3(begin, begin + half, end - 1, less);
        Sort3(begin + 1, begin + half - 1, end - 2, less);
        Sort3(begin + 2, begin + half + 1, end - 3, less);
        Sort3(begin + half - 1, begin + half, begin + half + 1, less);
    } else {
        Sort3(begin, begin + half, end - 1, less);
    }
    std::swap(*begin, begin[half]);
}

// Partitions [begin, end) around the pivot at begin: returns the pivot's place, with the records
// before it less than it and those after it not less.
template <typename T, typename Less>
T* Partition(T* begin, T* end, const Less& less) {
    const T pivot = *begin;
    T* first = begin + 1;
    T* last = end;
    // [begin + 1, first) is less than the pivot and [last, end) is not; between them, blocks at
    // either end are compared whole, and their misplaced records swapped pairwise.
    std::uint8_t left[kBlock], right[kBlock];
    std::ptrdiff_t leftCount = 0, rightCount = 0, leftNext = 0, rightNext = 0;
    while (last - first >= 2 * kBlock) {
        if (leftCount == 0) {
            leftNext = 0;
            for (std::ptrdiff_t i = 0; i < kBlock; ++i) {
                left[leftCount] = static_cast<std::uint8_t>(i);
                leftCount += !less(first[i], pivot);
            }
        }
        if (rightCount == 0) {
            rightNext = 0;
            for (std::ptrdiff_t i = 0; i < kBlock; ++i) {
                right[rightCount] = static_cast<std::uint8_t>(i);
                rightCount += less(last[-1 - i], pivot);
            }
        }
        const std::ptrdiff_t pairs = std::min(leftCount, rightCount);
        for (std::ptrdiff_t k = 0; k < pairs; ++k)
            std::swap(first[left[leftNext + k]], last[-1 - right[rightNext + k]]);
        leftCount -= pairs, rightCount -= pairs;
        leftNext += pairs, rightNext += pairs;
        if (leftCount == 0) first += kBlock;
        if (rightCount == 0) last -= kBlock;
    }
    // Fewer than two blocks are left, some of them perhaps compared already: one at a time.
    for (;;) {
        while (first < last && less(*first, pivot)) ++first;
        while (first < last && !less(last[-1], pivot)) --last;
        if (first == last) break;
        std::swap(*first, last[-1]);
        ++first, --last;
    }
    T* const place = first - 1;
    *begin = *place;
    *place = pivot;
    return place;
}

// [begin, end) follows a record equal to its pivot at begin, and so holds none less than it:
// the records equal to it go first, and the place of the last is returned.
template <typename T, typename Less>
T* PartitionEqual(T* begin, T* end, const Less& less) {
    const T pivot = *begin;
    T* first = begin + 1;
    T* last = end;
    for (;;) {
        while (first < last && !less(pivot, *first)) ++first;
        while (first < last && less(pivot, last[-1])) --last;
        if (first == last) break;
        std::swap(*first, last[-1]);
        ++first, --last;
    }
    return first - 1;
}

// leftmost: no record lies before begin; otherwise the one before is not greater than any in
// [begin, end). depth: the splits left before heap sort takes over.
template <typename T, typename Less>
void SortRange(T* begin, T* end, const Less& less, int depth, bool leftmost) {
    for (;;) {
        if (end - begin <= kSmall) {
            InsertionSort(begin, end, less);
            return;
        }
        if (depth-- == 0) {
            std::make_heap(begin, end, less);
            std::sort_heap(begin, end, less);
            return;
        }
        ChoosePivot(begin, end, less);
        if (!leftmost && !less(begin[-1], *begin)) {
            // Many equal records: those equal to the pivot are in place once gathered.
            begin = PartitionEqual(begin, end, less) + 1;
            continue;
        }
        T* const place = Partition(begin, end, less);
        // The smaller side by recursion, the larger by the loop: the stack stays shallow.
        if (place - begin < end - (place + 1)) {
            SortRange(begin, place, less, depth, leftmost);
            begin = place + 1;
            leftmost = false;
        } else {
            SortRange(place + 1, end, less, depth, false);
            end = place;
        }
    }
}

}  // namespace block_sort

// Sorts [begin, end) by less, a strict weak order; equal records end up in no particular order.
template <typename T, typename Less>
void BlockSort(T* begin, T* end, const Less& less) {
    int depth = 0;
    for (std::ptrdiff_t n = end - begin; n > 1; n >>= 1) depth += 2;
    block_sort::SortRange(begin, end, less, depth, true);
}

}  // namespace ostrel
