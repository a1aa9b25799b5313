// The memory figures on POSIX systems: the memory available from /proc/meminfo, and the limits
// of the address space and of the control groups the process runs in. Where there is no /proc
// or /sys/fs/cgroup (other systems than Linux), those figures stay unknown.
#include <pthread.h>
#include <sys/resource.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/memory_budget.h"

namespace ostrel {
namespace {

// A cgroup v1 limit at or above this is the "no limit" value the kernel reports (2^63 less a
// page, or so), not a limit anyone set.
constexpr std::uint64_t kNoCgroupLimit = std::uint64_t{1} << 60;

// A thread's stack under an address-space limit, and what a run's threads (its workers, the
// save's writer and the sort's) reserve at most, stacks and all.
constexpr std::size_t kConfinedStackBytes = std::size_t{1} << 20;
constexpr std::uint64_t kRunThreadsBytes = std::uint64_t{12} << 20;
// Blocks from this size up (a sort's keys, a large index) are mapped on their own, and so
// given back to the system when freed; smaller ones, which every run takes again, are reused
// from the heap.
constexpr int kMostHeapBlockBytes = 4 << 20;

// The first line of a file; empty when it cannot be read.
std::string FirstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    if (file) std::getline(file, line);
    return line;
}

// A whole number at the start of text (spaces first skipped); 0 when there is none.
std::uint64_t NumberIn(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() ? value : 0;
}

// The smaller of two limits, 0 being none.
std::uint64_t Tighter(std::uint64_t a, std::uint64_t b) {
    if (a == 0) return b;
    if (b == 0) return a;
    return std::min(a, b);
}

std::uint64_t MemoryAvailable() {
    std::ifstream file("/proc/meminfo");
    constexpr std::string_view kField = "MemAvailable:";
    for (std::string line; std::getline(file, line);) {
        if (!line.starts_with(kField)) continue;
        const std::string_view rest = std::string_view(line).substr(kField.size());
        const std::uint64_t kibibytes = NumberIn(rest);
        return rest.find("kB") != std::string_view::npos ? kibibytes * 1024 : kibibytes;
    }
    return 0;
}

std::uint64_t AddressSpaceLimitSet() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
    return static_cast<std::uint64_t>(limit.rlim_cur);
}

// The address space the process has reserved, from /proc/self/status; 0 when unknown.
std::uint64_t AddressSpaceReserved() {
    std::ifstream file("/proc/self/status");
    constexpr std::string_view kField = "VmSize:";
    for (std::string line; std::getline(file, line);)
        if (line.starts_with(kField))
            return NumberIn(std::string_view(line).substr(kField.size())) * 1024;
    return 0;
}

// What an address-space limit leaves a run: the limit less what is reserved already and
// what the run's threads will reserve (at least a byte, so that a limit stays a limit).
std::uint64_t AddressSpaceLimit() {
    const std::uint64_t limit = AddressSpaceLimitSet();
    if (limit == 0) return 0;
    const std::uint64_t taken = AddressSpaceReserved() + kRunThreadsBytes;
    return limit > taken ? limit - taken : 1;
}

// The tightest limit that file (memory.max, memory.limit_in_bytes) sets in a control group
// of the hierarchy mounted at root, or in a group above it: a group's limit holds for every
// group in it. Walking up also finds the limit when the group's own path is not visible from
// here, as in a container that shows its own group as the root.
std::uint64_t HierarchyLimit(const std::string& root, std::string group, const char* file) {
    while (!group.empty() && group.back() == '/') group.pop_back();
    std::uint64_t tightest = 0;
    for (;;) {
        const std::string value = FirstLine(root + group + "/" + file);
        // cgroup v2 says "max" for no limit; v1 a number near 2^63.
        const std::uint64_t limit = value == "max" ? 0 : NumberIn(value);
        if (limit < kNoCgroupLimit) tightest = Tighter(tightest, limit);
        if (group.empty()) return tightest;
        group.resize(group.rfind('/'));
    }
}

bool NamesMemoryController(std::string_view controllers) {
    for (;;) {
        const std::size_t comma = controllers.find(',');
        if (controllers.substr(0, comma) == "memory") return true;
        if (comma == std::string_view::npos) return false;
        controllers.remove_prefix(comma + 1);
    }
}

// The limits of the control groups in /proc/self/cgroup, lines of "id:controllers:path":
// "0::/path" names the cgroup v2 group, and a line whose controllers include "memory" the
// cgroup v1 memory group.
std::uint64_t CgroupLimit() {
    std::ifstream file("/proc/self/cgroup");
    std::uint64_t tightest = 0;
    for (std::string line; std::getline(file, line);) {
        const std::size_t first = line.find(':');
        const std::size_t second =
            first == std::string::npos ? std::string::npos : line.find(':', first + 1);
        if (second == std::string::npos || line[second + 1] != '/') continue;
        const std::string group = line.substr(second + 1);
        if (line.starts_with("0::")) {
            tightest = Tighter(tightest, HierarchyLimit("/sys/fs/cgroup", group, "memory.max"));
        } else if (NamesMemoryController(
                       std::string_view(line).substr(first + 1, second - first - 1))) {
            tightest = Tighter(
                tightest, HierarchyLimit("/sys/fs/cgroup/memory", group, "memory.limit_in_bytes"));
        }
    }
    return tightest;
}

}  // namespace

void ConfineMemory() {
    static std::once_flag once;
    std::call_once(once, [] {
#if defined(__GLIBC__)
        // A fixed threshold: glibc otherwise raises it to the largest block freed (32 MiB at
        // most), and blocks below it, once freed, stay in its heap.
        ::mallopt(M_MMAP_THRESHOLD, kMostHeapBlockBytes);
        if (AddressSpaceLimitSet() == 0) return;
        ::mallopt(M_ARENA_MAX, 1);
        pthread_attr_t attributes;
        if (::pthread_attr_init(&attributes) != 0) return;
        if (::pthread_attr_setstacksize(&attributes, kConfinedStackBytes) == 0)
            ::pthread_setattr_default_np(&attributes);
        ::pthread_attr_destroy(&attributes);
#endif
    });
}

MemoryFigures ReadMemoryFigures() {
    MemoryFigures figures;
    try {
        figures.available = MemoryAvailable();
        figures.processLimit = Tighter(AddressSpaceLimit(), CgroupLimit());
    } catch (...) {
        // No memory to read them with: the figures stay unknown.
    }
    return figures;
}

}  // namespace ostrel
