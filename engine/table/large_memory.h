#pragma once
// Memory for the engine's large, randomly accessed arrays. Where the system offers it, such
// memory is backed by large pages: a look-up in a table of hundreds of megabytes then costs a
// cache miss, not a cache miss and a page-table walk.
#include <cstddef>
#include <memory>
#include <new>

#if defined(_MSC_VER)
#include <xmmintrin.h>
#endif

namespace ostrel {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

void* AllocateLarge(std::size_t bytes);  // zero-filled; throws std::bad_alloc
void FreeLarge(void* p, std::size_t bytes) noexcept;

// Caps the bytes that large allocations may hold at once (0, the default, for no cap), so that
// running out of memory can be tried without exhausting the machine.
void SetLargeMemoryLimit(std::size_t bytes);

// Asks for the cache line holding p ahead of its use; a hint with no effect on results.
inline void PrefetchMemory(const void* p) {
#if defined(_MSC_VER)
    _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0);
#else
    __builtin_prefetch(p);
#endif
}

// Asks for a record of up to 64 bytes from p: it may straddle two cache lines.
inline void PrefetchRecord(const void* p) {
    PrefetchMemory(p);
    PrefetchMemory(static_cast<const char*>(p) + 63);
}

// An owned, zero-filled array of trivial elements in such memory.
template <typename T>
class LargeArray {
  public:
    LargeArray() = default;
    explicit LargeArray(std::size_t count)
        : data_(static_cast<T*>(AllocateLarge(count * sizeof(T)))), count_(count) {}
    ~LargeArray() { FreeLarge(data_, count_ * sizeof(T)); }
    LargeArray(LargeArray&& other) noexcept : data_(other.data_), count_(other.count_) {
        other.data_ = nullptr, other.count_ = 0;
    }
    LargeArray& operator=(LargeArray&& other) noexcept {
        if (this != &other) {
            FreeLarge(data_, count_ * sizeof(T));
            data_ = other.data_, count_ = other.count_;
            other.data_ = nullptr, other.count_ = 0;
        }
        return *this;
    }
    LargeArray(const LargeArray&) = delete;
    LargeArray& operator=(const LargeArray&) = delete;

    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    T* data() const { return data_; }
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

  private:
    T* data_ = nullptr;
    std::size_t count_ = 0;
};

}  // namespace ostrel
