#include "engine/table/large_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace ostrel {
namespace {
std::atomic<std::size_t> limit{0};
std::atomic<std::size_t> held{0};

void* Allocate(std::size_t bytes) {
#if defined(__linux__)
    if (bytes >= kLargePage) {
        // Anonymous mappings come zero-filled; asking for large pages is a hint the kernel
        // may ignore.
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        madvise(p, bytes, MADV_HUGEPAGE);
        return p;
    }
#endif
    void* p = std::calloc(1, bytes);
    if (!p) throw std::bad_alloc();
    return p;
}
}  // namespace

void SetLargeMemoryLimit(std::size_t bytes) {
    limit = bytes;
}

void* AllocateLarge(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    const std::size_t cap = limit;
    if (held.fetch_add(bytes) + bytes > cap && cap != 0) {
        held -= bytes;
        throw std::bad_alloc();
    }
    try {
        return Allocate(bytes);
    } catch (...) {
        held -= bytes;
        throw;
    }
}

void FreeLarge(void* p, [[maybe_unused]] std::size_t bytes) noexcept {
    if (!p) return;
    held -= bytes;
#if defined(__linux__)
    if (bytes >= kLargePage) {
        munmap(p, bytes);
        return;
    }
#endif
    std::free(p);
}

}  // namespace ostrel
