#include "engine/files/unfinished_file.h"

#include <atomic>
#include <cstdio>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace ostrel::unfinished_file {
namespace {

using Char = std::filesystem::path::value_type;
#ifdef _WIN32
constexpr std::size_t kLongestPath = 32768;  // the longest path Windows takes, in UTF-16 units
#else
constexpr std::size_t kLongestPath = 4096;  // PATH_MAX on Linux, terminator included
#endif

// The flag, a lock-free atomic, says when the buffer holds a whole path.
static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<bool> kept{false};
Char path[kLongestPath];

}  // namespace

void Set(const std::filesystem::path& file) noexcept {
    kept.store(false);
    const auto& native = file.native();
    if (native.size() >= kLongestPath) return;
    native.copy(path, native.size());
    path[native.size()] = Char{};
    kept.store(true);
}

void Clear() noexcept {
    kept.store(false);
}

void RemoveNow() noexcept {
    if (!kept.exchange(false)) return;
#ifdef _WIN32
    _wremove(path);
#else
    ::unlink(path);
#endif
}

}  // namespace ostrel::unfinished_file
