#include <algorithm>

#include "engine/table/compact_vectors.h"

namespace ostrel {

// ---- IdVector ----

void IdVector::Widen() {
    for (std::uint64_t i = 0; i < narrow_.size(); ++i) wideIds_.push_back(narrow_[i]);
    narrow_.clear();
    wide_ = true;
}

void IdVector::push_back(std::uint64_t v) {
    if (!wide_ && v > 0xFFFFFFFFull) Widen();
    if (wide_)
        wideIds_.push_back(v);
    else
        narrow_.push_back(static_cast<std::uint32_t>(v));
}

void IdVector::set(std::uint64_t i, std::uint64_t v) {
    if (!wide_ && v > 0xFFFFFFFFull) Widen();
    if (wide_)
        wideIds_[i] = v;
    else
        narrow_[i] = static_cast<std::uint32_t>(v);
}

void IdVector::resize(std::uint64_t n, std::uint64_t limit) {
    if (!wide_ && limit > 0x100000000ull) Widen();
    if (wide_)
        wideIds_.resize(n);
    else
        narrow_.resize(n);
}

void IdVector::pop_back() {
    if (wide_)
        wideIds_.pop_back();
    else
        narrow_.pop_back();
}

void IdVector::clear() {
    narrow_.clear();
    wideIds_.clear();
    wide_ = false;
}

// ---- CountVector ----

std::uint32_t* CountVector::Slot(std::uint64_t cls) const {
    const std::uint64_t chunk = cls >> kChunkBits;
    if (chunk >= chunks_.size()) return nullptr;
    return chunks_[chunk].data() + (cls & ((std::uint64_t{1} << kChunkBits) - 1));
}

std::uint64_t CountVector::Get(std::uint64_t cls) const {
    const std::uint32_t* n = Slot(cls);
    if (!n) return 0;
    if (*n != kSpill) return *n;
    for (const auto& [c, count] : large_)
        if (c == cls) return count;
    return 0;
}

void CountVector::Increment(std::uint64_t cls) {
    while ((cls >> kChunkBits) >= chunks_.size())
        chunks_.emplace_back(std::size_t{1} << kChunkBits);
    std::uint32_t& n = *Slot(cls);
    if (n < kSpill - 1) {
        ++n;
        return;
    }
    if (n == kSpill - 1) {
        n = kSpill;
        large_.emplace_back(cls, std::uint64_t{kSpill});
        return;
    }
    for (auto& [c, count] : large_)
        if (c == cls) ++count;
}

void CountVector::Decrement(std::uint64_t cls) {
    std::uint32_t* slot = Slot(cls);
    if (!slot || *slot == 0) return;
    std::uint32_t& n = *slot;
    if (n != kSpill) {
        --n;
        return;
    }
    for (auto it = large_.begin(); it != large_.end(); ++it) {
        if (it->first != cls) continue;
        if (--it->second < kSpill) {
            n = static_cast<std::uint32_t>(it->second);
            large_.erase(it);
        }
        return;
    }
}

void CountVector::clear() {
    chunks_.clear();
    large_.clear();
}

}  // namespace ostrel
