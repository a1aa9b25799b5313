#pragma once
// The hash that the engine's text indexes share: fast on short texts, well mixed in every bit.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/order/text_words.h"

namespace ostrel {

inline std::uint64_t MixBits(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

constexpr std::uint64_t kHashSeed = 0x9E3779B97F4A7C15ull;
constexpr std::uint64_t kHashPrime = 0x100000001B3ull;

// The hash of a text is built from its length, its whole eight-byte words in order, and its
// tail word (zero for none), so a caller that has the words at hand can build it the same way.
inline std::uint64_t HashWord(std::uint64_t h, std::uint64_t word) {
    h = (h ^ word) * kHashPrime;
    return h ^ (h >> 29);
}

inline std::uint64_t HashFinish(std::uint64_t h, std::uint64_t tail) {
    return MixBits((h ^ tail) * kHashPrime);
}

inline std::uint64_t HashText(const char* s, std::size_t n) {
    std::uint64_t h = kHashSeed ^ n;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s + i, 8);
        h = HashWord(h, w);
    }
    return HashFinish(h, n > i ? TailWord(s, i, n) : 0);
}

}  // namespace ostrel
