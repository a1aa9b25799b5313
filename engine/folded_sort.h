#pragma once
// Sorting text ids by code point of their folded texts.
#include <cstdint>
#include <vector>

#include "text_pool.h"

namespace ostrel {

// Sorts ids in ascending order of their folded texts; ids of texts with equal folded forms
// end up in ascending id order. Large inputs are sorted on several threads.
void SortByFoldedText(std::vector<TextPool::Id>& ids, const TextPool& pool);

}  // namespace ostrel
