// bench/wine_probe.cpp: the costs that ostrel-cli meets under Wine, one at a time, built both
// natively and for Windows by bench/windows.sh, which compares the two.
//
//   wine_probe start                 nothing: the cost of starting a program
//   wine_probe read FILE MIB         reads FILE in blocks of MIB MiB with fread, as the reader
//   wine_probe write FILE MIB        writes 128 MiB to FILE in blocks of MIB MiB with fwrite,
//                                    as the writer does
//   wine_probe memory MIB            takes MIB MiB in 2 MiB blocks with calloc and writes to
//                                    every page, as the loader's arenas do
//   wine_probe handoff COUNT         hands a token between two threads COUNT times through a
//                                    std::mutex and std::condition_variable, as the loader's
//                                    threads hand chunks on
//
// Prints the seconds the work took, measured inside the program (its start-up excluded).
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Read(const char* path, std::size_t mib) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return 1;
    std::vector<char> block(mib << 20);
    const auto start = std::chrono::steady_clock::now();
    std::size_t total = 0, lineFeeds = 0, n;
    while ((n = std::fread(block.data(), 1, block.size(), f)) > 0) {
        total += n;
        for (std::size_t i = 0; i < n; ++i) lineFeeds += block[i] == '\n';
    }
    std::printf("%.3f\n", Seconds(start));
    std::fprintf(stderr, "%zu bytes, %zu line feeds\n", total, lineFeeds);
    std::fclose(f);
    return 0;
}

int Write(const char* path, std::size_t mib) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return 1;
    std::vector<char> block(mib << 20, 'x');
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t done = 0; done < (std::size_t{128} << 20); done += block.size())
        if (std::fwrite(block.data(), 1, block.size(), f) != block.size()) return 1;
    if (std::fclose(f) != 0) return 1;
    std::printf("%.3f\n", Seconds(start));
    return std::remove(path) != 0;
}

int Memory(std::size_t mib) {
    constexpr std::size_t kBlock = std::size_t{2} << 20;
    const auto start = std::chrono::steady_clock::now();
    std::vector<char*> blocks;
    for (std::size_t got = 0; got < (mib << 20); got += kBlock) {
        char* p = static_cast<char*>(std::calloc(1, kBlock));
        if (!p) return 1;
        for (std::size_t i = 0; i < kBlock; i += 4096) p[i] = 1;
        blocks.push_back(p);
    }
    for (char* p : blocks) std::free(p);
    std::printf("%.3f\n", Seconds(start));
    return 0;
}

int Handoff(long count) {
    std::mutex mutex;
    std::condition_variable changed;
    long turn = 0;  // even: the first thread's, odd: the second's
    const auto start = std::chrono::steady_clock::now();
    auto play = [&](long parity) {
        for (;;) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return turn >= 2 * count || turn % 2 == parity; });
            if (turn >= 2 * count) return;
            ++turn;
            changed.notify_all();
        }
    };
    std::thread other(play, 1);
    play(0);
    other.join();
    std::printf("%.3f\n", Seconds(start));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "start") return std::printf("0\n") < 0;
    if (mode == "read" && argc == 4) return Read(argv[2], std::strtoul(argv[3], nullptr, 10));
    if (mode == "write" && argc == 4) return Write(argv[2], std::strtoul(argv[3], nullptr, 10));
    if (mode == "memory" && argc == 3) return Memory(std::strtoul(argv[2], nullptr, 10));
    if (mode == "handoff" && argc == 3) return Handoff(std::strtol(argv[2], nullptr, 10));
    std::fprintf(
        stderr,
        "usage: wine_probe start | read FILE MIB | write FILE MIB | memory MIB | handoff N\n");
    return 2;
}
