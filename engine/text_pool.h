#pragma once
// Storage for the texts of working tables. Each distinct text is stored once; texts that differ
// only in letter case share a fold class, the unit of the tables' equality and order.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "large_memory.h"

namespace ostrel {

// A growable array kept in fixed-size chunks, so that growing never copies what is there and
// never needs twice the memory.
template <typename T, unsigned ChunkBits = 16>
class ChunkedVector {
  public:
    static constexpr std::size_t kChunk = std::size_t{1} << ChunkBits;

    std::uint64_t size() const { return size_; }
    T& operator[](std::uint64_t i) { return chunks_[i >> ChunkBits][i & (kChunk - 1)]; }
    const T& operator[](std::uint64_t i) const { return chunks_[i >> ChunkBits][i & (kChunk - 1)]; }
    void push_back(const T& v) {
        if ((size_ & (kChunk - 1)) == 0 && (size_ >> ChunkBits) == chunks_.size())
            chunks_.push_back(std::make_unique<T[]>(kChunk));
        (*this)[size_++] = v;
    }
    void pop_back() { --size_; }
    void clear() {
        chunks_.clear();
        size_ = 0;
    }

  private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::uint64_t size_ = 0;
};

// Row ids: four bytes each while every id fits, eight once one does not.
class IdVector {
  public:
    std::uint64_t size() const { return wide_ ? wideIds_.size() : narrow_.size(); }
    std::uint64_t operator[](std::uint64_t i) const { return wide_ ? wideIds_[i] : narrow_[i]; }
    void set(std::uint64_t i, std::uint64_t v);
    void push_back(std::uint64_t v);
    void pop_back();
    void clear();

  private:
    void Widen();
    bool wide_ = false;
    ChunkedVector<std::uint32_t> narrow_;
    ChunkedVector<std::uint64_t> wideIds_;
};

// Counts per fold class: four bytes each, with the rare larger count kept aside.
class CountVector {
  public:
    std::uint64_t Get(std::uint64_t cls) const;
    void Increment(std::uint64_t cls);
    void Decrement(std::uint64_t cls);
    void clear();

  private:
    static constexpr std::uint32_t kSpill = 0xFFFFFFFFu;
    static constexpr unsigned kChunkBits = 19;  // 2 MB chunks
    std::uint32_t* Slot(std::uint64_t cls) const;
    std::vector<LargeArray<std::uint32_t>> chunks_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> large_;  // class, count (rare)
};

// Texts laid out as a pool keeps them, gathered apart from any pool (on another thread, say)
// and handed over whole with TextPool::Adopt.
class TextBlocks {
  public:
    using Offset = std::uint64_t;
    static constexpr Offset kEnd = ~Offset{0};

    Offset Append(std::string_view text);  // at most 0xFFFF bytes
    std::string_view Text(Offset offset) const;
    const char* Address(Offset offset) const;  // where the text's record starts, to prefetch
    // The texts in the order appended: the first, and the one after another; kEnd after the
    // last.
    Offset First() const { return Settle(0, 0); }
    Offset After(Offset offset) const;

  private:
    friend class TextPool;
    Offset Settle(std::size_t block, std::uint64_t pos) const;
    std::vector<LargeArray<char>> blocks_;
    std::vector<std::uint64_t> used_;
};

class TextPool {
  public:
    using Id = std::uint64_t;

    TextPool();
    ~TextPool();
    TextPool(const TextPool&) = delete;
    TextPool& operator=(const TextPool&) = delete;

    // The id of a text, storing it on first sight. Equal texts give equal ids. Ids are not
    // dense: a text's id is where it lies in the pool's storage.
    Id Intern(std::string_view text);
    std::string_view Text(Id id) const;
    bool Empty() const;              // no text stored yet
    void PrefetchText(Id id) const;  // a hint: the text is read soon
    // Takes over the texts of blocks, leaving it empty, and gives each one's id to adopted in
    // the order appended. Each becomes a fold class of its own: the caller knows that no two of
    // them, and none of them and a stored text, are equal, letter case aside. The indexes are
    // built again when next needed.
    void Adopt(TextBlocks& blocks, const std::function<void(Id)>& adopted);
    // The fold class of a stored text: texts equal but for letter case share it. Classes are
    // numbered densely from 0.
    std::uint64_t FoldClass(Id id) const;
    // The fold class of any text, if some stored text has it.
    bool FindFoldClass(std::string_view text, std::uint64_t& cls);

    // Bytes of the folded text from offset depth, as count big-endian words, zero-padded;
    // returns the folded text's length.
    std::size_t FoldedWords(Id id, std::size_t depth, std::uint64_t* words,
                            std::size_t count) const;

  private:
    void RebuildIndexes(std::uint64_t texts, std::uint64_t classes);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ostrel
