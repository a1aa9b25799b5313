#pragma once
// Sorting text ids in phrase order (phrase_order.h).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/order/collation.h"
#include "engine/table/text_pool.h"

namespace ostrel {

// The memory a sort takes for each id, beside the ids themselves, and what it takes whatever
// their number on threads threads.
constexpr std::size_t kSortBytesPerId = 32;
std::size_t SortHeldBytes(unsigned threads);

// Sorts ids in phrase order, in a language's (collation) or, with none, in the "C" order; ids of
// one phrase end up in ascending id order. Large inputs are sorted on up to threads threads, the
// calling one included (0: one a core, up to four). What a helper thread throws reaches the
// caller; a helper that cannot be started raises std::system_error.
void SortPhrases(std::vector<TextPool::Id>& ids, const TextPool& pool, unsigned threads = 0,
                 const Collation* collation = nullptr);

// The same sort of ids kept elsewhere, which it reads and writes back a block at a time:
// read(first, n, out) gives ids [first, first + n), and may be called on several threads at
// once; write(first, n, in) takes the sorted ones, on the calling thread.
struct IdBlocks {
    std::size_t count;
    std::function<void(std::size_t first, std::size_t n, TextPool::Id* out)> read;
    std::function<void(std::size_t first, std::size_t n, const TextPool::Id* in)> write;
};
void SortPhrases(const IdBlocks& ids, const TextPool& pool, unsigned threads = 0,
                 const Collation* collation = nullptr);

}  // namespace ostrel
