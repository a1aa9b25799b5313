#pragma once
// The inside of a TextPool, shared by text_pool.cpp and the look-up of a single text in
// working_table_contract.cpp.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/case_fold.h"
#include "engine/slot_table.h"
#include "engine/text_arena.h"
#include "engine/text_pool.h"

namespace ostrel {

// Each text lies once in the arena; its record holds its fold class and whether it is the
// class's first spelling. Two indexes lead to the texts: one by the exact text, which a repeated
// line finds in one look-up, and one by the folded text, holding each class's first spelling,
// for a spelling met for the first time.
struct TextPool::Impl {
    TextArena arena;
    std::uint64_t classes = 0;

    SlotTable exact;   // every text, by its exact bytes
    SlotTable folded;  // each fold class's first text, by its folded form

    bool haveLast = false;
    Id lastId = 0;
    std::string_view lastText;

    std::string foldA, foldB;  // scratch for folding

    std::string_view Fold(std::string_view text, std::string& buffer) const {
        buffer.resize(text.size());
        return {buffer.data(), FoldUtf8(text, buffer.data())};
    }
    void Remember(Id id) { haveLast = true, lastId = id, lastText = arena.Text(id); }
};

}  // namespace ostrel
