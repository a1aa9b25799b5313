#include <algorithm>

#include "engine/compact_vectors.h"

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

}  // namespace ostrel
