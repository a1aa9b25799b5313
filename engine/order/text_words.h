#pragma once
// Text eight bytes at a time: the words that the hash, the fold (phrase_order.h) and the sort
// read.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(_MSC_VER)
#include <stdlib.h>
#endif

namespace ostrel {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x80 * kOnes;  // a byte from 0x80 up is not ASCII

inline std::uint64_t LoadWord(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// Bytes [i, n) of s, fewer than eight, as a little-endian word padded with zero bytes.
inline std::uint64_t TailWord(const char* s, std::size_t i, std::size_t n) {
    const std::size_t k = n - i;
    std::uint64_t w = 0;
    if constexpr (std::endian::native == std::endian::little) {
        if (n >= 8) return LoadWord(s + n - 8) >> (8 * (8 - k));  // one load, not k copies
    }
    for (std::size_t j = k; j-- > 0;) w = (w << 8) | static_cast<unsigned char>(s[i + j]);
    return w;
}

// Bytes [i, i + 8) of s, as far as they lie before n, padded with zero bytes.
inline std::uint64_t WordAt(const char* s, std::size_t i, std::size_t n) {
    if (i >= n) return 0;
    if (i + 8 <= n) {
        if constexpr (std::endian::native == std::endian::little) return LoadWord(s + i);
    }
    return TailWord(s, i, i + 8 <= n ? i + 8 : n);
}

// Bytes of w that are zero get their high bit set; the lowest flagged byte is always a true one.
constexpr std::uint64_t ZeroBytes(std::uint64_t w) {
    return (w - kOnes) & ~w & kHighBits;
}

// A little-endian word's bytes as a number whose order is the bytes' order.
inline std::uint64_t OrderedWord(std::uint64_t w) {
#if defined(_MSC_VER)
    return _byteswap_uint64(w);
#else
    return __builtin_bswap64(w);
#endif
}

inline bool IsAscii(const char* s, std::size_t n) {
    std::uint64_t high = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) high |= LoadWord(s + i);
    if (i < n) high |= TailWord(s, i, n);
    return !(high & kHighBits);
}

}  // namespace ostrel
