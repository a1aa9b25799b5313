#pragma once
// Compact arrays for the working table: its rows' text ids and its counts per fold class, in
// chunks, so that growing never copies what is there and never needs twice the memory.
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/table/large_memory.h"

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
    // New elements are zero.
    void resize(std::uint64_t n) {
        for (std::uint64_t i = size_; i < n && (i >> ChunkBits) < chunks_.size(); ++i)
            (*this)[i] = T{};
        while ((chunks_.size() << ChunkBits) < n) chunks_.push_back(std::make_unique<T[]>(kChunk));
        size_ = n;
    }
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
    // To n ids, new ones zero, with room for ids below limit: set may then be called on
    // several threads at once, each on ids of its own, with ids below it.
    void resize(std::uint64_t n, std::uint64_t limit);
    void pop_back();
    void clear();

  private:
    void Widen();
    bool wide_ = false;
    ChunkedVector<std::uint32_t> narrow_;
    ChunkedVector<std::uint64_t> wideIds_;
};

// Counts per fold class: four bytes each, with the rare larger count kept aside. The filter's,
// of the table's general contract (working_table_contract.cpp).
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

}  // namespace ostrel
