#pragma once
// The hash index that the engine's text stores share.
#include <cstdint>

#include "large_memory.h"

namespace ostrel {

// Open addressing with linear probing. A slot holds (tag << 48) | (arena offset + 1): the top
// sixteen bits of the hash weed out most mismatches before the text is touched.
class SlotTable {
  public:
    static constexpr std::uint64_t kOffsetBits = (std::uint64_t{1} << 48) - 1;

    void Reset(std::uint64_t size) {
        slots_ = LargeArray<std::uint64_t>();
        slots_ = LargeArray<std::uint64_t>(size);
        mask_ = size - 1;
        used_ = 0;
    }
    void Release() {
        slots_ = LargeArray<std::uint64_t>();
        mask_ = 0;
        used_ = 0;
    }
    bool Empty() const { return slots_.empty(); }
    std::uint64_t Size() const { return slots_.size(); }
    bool NeedsGrowth() const { return used_ * 4 > slots_.size() * 3; }
    std::uint64_t Home(std::uint64_t hash) const { return hash & mask_; }
    std::uint64_t Next(std::uint64_t i) const { return (i + 1) & mask_; }
    std::uint64_t At(std::uint64_t i) const { return slots_[i]; }
    const std::uint64_t* Address(std::uint64_t hash) const { return &slots_[hash & mask_]; }
    void Put(std::uint64_t i, std::uint64_t hash, std::uint64_t offset) {
        slots_[i] = ((hash >> 48) << 48) | (offset + 1);
        ++used_;
    }
    void Insert(std::uint64_t hash, std::uint64_t offset) {
        std::uint64_t i = Home(hash);
        while (slots_[i] != 0) i = Next(i);
        Put(i, hash, offset);
    }
    static bool TagMatches(std::uint64_t slot, std::uint64_t hash) {
        return (slot >> 48) == (hash >> 48);
    }
    static std::uint64_t Offset(std::uint64_t slot) { return (slot & kOffsetBits) - 1; }

  private:
    LargeArray<std::uint64_t> slots_;
    std::uint64_t mask_ = 0;
    std::uint64_t used_ = 0;
};

// A table size that holds this many entries below the growth threshold.
inline std::uint64_t TableSizeFor(std::uint64_t entries) {
    std::uint64_t size = 1024;
    while (size * 3 < entries * 4 + 4) size *= 2;
    return size;
}

}  // namespace ostrel
