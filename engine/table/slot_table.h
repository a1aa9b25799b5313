#pragma once
// The hash index that the engine's text stores share.
#include <cstdint>

#include "engine/table/large_memory.h"

namespace ostrel {

// Open addressing with linear probing. A slot holds (tag << kTagShift) | (arena offset + 1):
// the tag, the top sixteen bits of the hash, weeds out most mismatches before the text is
// touched. Every search goes through Find, the one probe loop.
class SlotTable {
  public:
    static constexpr unsigned kTagShift = 48;
    static constexpr std::uint64_t kOffsetBits = (std::uint64_t{1} << kTagShift) - 1;
    static constexpr std::uint64_t kNoSlot = ~std::uint64_t{0};

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
    // So full that probes grow long: it must grow, whatever the memory it takes.
    bool Crowded() const { return used_ * 10 > slots_.size() * 9; }
    std::uint64_t Bytes() const { return slots_.size() * sizeof(std::uint64_t); }
    // Where a search for hash starts, to prefetch.
    const std::uint64_t* Address(std::uint64_t hash) const { return &slots_[Home(hash)]; }

    // What a search found: an entry, or the free slot where an entry for the hash goes.
    struct Probe {
        bool found;
        std::uint64_t offset;    // the entry's, when found
        std::uint64_t position;  // when not found: the free slot for Put (kNoSlot: gave up)
    };

    // Looks at the entries of hash's probe sequence, up to the first free slot, for one whose
    // tag matches hash and whose offset satisfies equal(offset). After mostProbes slots it
    // gives up, finding nothing. The table must not be empty.
    template <typename Equal>
    Probe Find(std::uint64_t hash, Equal&& equal, std::uint64_t mostProbes = kNoSlot) const {
        std::uint64_t i = Home(hash);
        for (std::uint64_t probe = 0; probe < mostProbes; ++probe, i = Next(i)) {
            const std::uint64_t slot = slots_[i];
            if (slot == 0) return {false, 0, i};
            if (TagMatches(slot, hash) && equal(Offset(slot))) return {true, Offset(slot), i};
        }
        return {false, 0, kNoSlot};
    }

    // Fills the free slot that a search for hash ended at.
    void Put(std::uint64_t position, std::uint64_t hash, std::uint64_t offset) {
        slots_[position] = (Tag(hash) << kTagShift) | (offset + 1);
        ++used_;
    }
    // Adds an entry known to be new.
    void Insert(std::uint64_t hash, std::uint64_t offset) {
        Put(Find(hash, [](std::uint64_t) { return false; }).position, hash, offset);
    }

  private:
    std::uint64_t Home(std::uint64_t hash) const { return hash & mask_; }
    std::uint64_t Next(std::uint64_t i) const { return (i + 1) & mask_; }
    // The top bits of a hash, or of a slot, which keeps those of its entry's hash.
    static std::uint64_t Tag(std::uint64_t bits) { return bits >> kTagShift; }
    static bool TagMatches(std::uint64_t slot, std::uint64_t hash) {
        return Tag(slot) == Tag(hash);
    }
    static std::uint64_t Offset(std::uint64_t slot) { return (slot & kOffsetBits) - 1; }

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
