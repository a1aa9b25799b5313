#pragma once
// Storage for the texts of working tables. Each distinct text is stored once; texts that differ
// only in letter case share a fold class, the unit of the tables' equality and order.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/table/text_arena.h"

namespace ostrel {

class TextPool {
  public:
    using Id = std::uint64_t;

    TextPool();
    ~TextPool();
    TextPool(const TextPool&) = delete;
    TextPool& operator=(const TextPool&) = delete;

    // The id of a text, storing it on first sight. Equal texts give equal ids. Ids are not
    // dense: a text's id is its record's offset in the pool's arena. (Intern, FindFoldClass and
    // the indexes they use serve the general contract of the working table, which no program
    // calls.)
    Id Intern(std::string_view text);
    std::string_view Text(Id id) const;
    bool Empty() const;              // no text stored yet
    void PrefetchText(Id id) const;  // a hint: the text is read soon
    // Takes over the records of each of the arenas in turn, leaving them empty. Each text
    // becomes a fold class of its own: the caller knows that no two of them, and none of them
    // and a stored text, are equal, letter case aside. Their ids go to adopted in blocks:
    // adopted(first, ids, count) gives texts [first, first + count) of all those taken over, in
    // the order appended. The arenas are gone through on up to threads threads, the calling one
    // included, and adopted may be called on several at once. The indexes are built again when
    // next needed.
    void Adopt(
        const std::vector<TextArena*>& arenas, unsigned threads,
        const std::function<void(std::uint64_t first, const Id* ids, std::size_t count)>& adopted);
    // A bound on the ids of the texts stored and of those Adopt would take over from arenas:
    // every id is below it.
    Id IdLimit(const std::vector<TextArena*>& arenas) const;
    // The fold class of a stored text: texts equal but for letter case share it. Classes are
    // numbered densely from 0.
    std::uint64_t FoldClass(Id id) const;
    // The fold class of any text, if some stored text has it.
    bool FindFoldClass(std::string_view text, std::uint64_t& cls);

    // Bytes of the folded text from offset depth, as count big-endian words, zero-padded;
    // returns the folded text's length. A text that is not plain ASCII is folded into scratch.
    std::size_t FoldedWords(Id id, std::size_t depth, std::uint64_t* words, std::size_t count,
                            std::string& scratch) const;

  private:
    void RebuildIndexes(std::uint64_t texts, std::uint64_t classes);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ostrel
