// Runs the fuzz target without libFuzzer: over every file of the seed corpus, each in every
// encoding and reshaped (spaces stretched, lines across chunk and block ends), then over a
// fixed, reproducible series of mutations of those seeds. The work is fixed: MUTATIONS inputs,
// or fewer when their reshaped bytes reach MEBIBYTES MiB first; the same seed runs the same
// inputs on any machine, however busy. Exits 0 when the engine and the model agree on all of
// them; a disagreement aborts inside the target with the input printed, or with --keep-going
// is noted and the run goes on, ending with a summary of what disagreed and exit status 1.
//
//   engine_fuzz_replay [--keep-going] CORPUS_DIR [MUTATIONS [SEED [MEBIBYTES]]]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/fuzz/engine_fuzz.h"

namespace {

void Run(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

// A run of spaces: mostly hundreds, sometimes tens of thousands.
std::size_t SpaceRun(std::mt19937& rng) {
    static const std::size_t kLengths[] = {2, 30, 99, 101, 150, 300, 700, 2000, 9000, 30000};
    return kLengths[rng() % std::size(kLengths)] + rng() % 8;
}

// Bytes that matter to the engine: line ends, spaces, marks, lead and continuation bytes,
// surrogate halves, letters of both cases, the apostrophe, NUL.
constexpr unsigned char kInteresting[] = {'\r', '\n', ' ',  ' ',  0x00, 0xEF, 0xBB, 0xBF, 0xFF,
                                          0xFE, 0xC3, 0x89, 0xA9, 0xD8, 0xDC, 0xD0, 0xE2, 0x82,
                                          0xAC, 0xF0, 0x9F, 0x98, 0x80, 0xED, 0xA0, 0x8A, 0x9A,
                                          'A',  'a',  'Z',  'z',  '\'', '\t', 0x80, 0xC0};

std::string Mutate(std::string s, const std::vector<std::string>& seeds, std::mt19937& rng) {
    auto pick = [&](std::size_t n) { return n == 0 ? std::size_t{0} : std::size_t(rng() % n); };
    const int steps = 1 + int(rng() % 4);
    for (int step = 0; step < steps; ++step) {
        const std::size_t at = pick(s.size() + 1);
        switch (rng() % 13) {
            case 0:  // flip a byte
                if (!s.empty()) s[pick(s.size())] = static_cast<char>(rng());
                break;
            case 1:  // insert an interesting byte
                s.insert(at, 1, static_cast<char>(kInteresting[pick(sizeof kInteresting)]));
                break;
            case 2: {  // delete a run
                const std::size_t n = 1 + pick(8);
                if (at < s.size()) s.erase(at, n);
                break;
            }
            case 3: {  // repeat a run, making repeats and long lines
                if (s.empty()) break;
                const std::size_t from = pick(s.size());
                const std::string run = s.substr(from, 1 + pick(16));
                const std::size_t times = 1 + pick(rng() % 4 == 0 ? 120 : 4);
                for (std::size_t k = 0; k < times; ++k) s.insert(std::min(at, s.size()), run);
                break;
            }
            case 4: {  // splice in part of another seed
                const std::string& other = seeds[pick(seeds.size())];
                const std::size_t from = pick(other.size());
                s.insert(at, other.substr(from, 1 + pick(64)));
                break;
            }
            case 5:  // change the letter case of an ASCII letter
                for (int k = 0; k < 8 && !s.empty(); ++k) {
                    char& c = s[pick(s.size())];
                    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
                        c ^= 0x20;
                        break;
                    }
                }
                break;
            case 6: {  // put a byte-order mark in front, or take one away
                static const char* const marks[] = {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
                if (rng() % 2)
                    s.insert(0, marks[pick(3)]);
                else
                    s.erase(0, std::min<std::size_t>(s.size(), 2 + pick(2)));
                break;
            }
            case 7:  // drop or add a last byte (odd UTF-16 lengths)
                if (rng() % 2 && !s.empty())
                    s.pop_back();
                else
                    s.push_back(static_cast<char>(kInteresting[pick(sizeof kInteresting)]));
                break;
            case 8: {  // insert a whole line of an earlier part again (a repeat)
                const std::size_t start = s.rfind('\n', at == 0 ? 0 : at - 1);
                const std::size_t b = start == std::string::npos ? 0 : start + 1;
                const std::size_t e = s.find('\n', b);
                const std::string line =
                    s.substr(b, e == std::string::npos ? std::string::npos : e - b + 1);
                s.insert(s.size() - pick(std::min<std::size_t>(s.size(), 4) + 1), line);
                break;
            }
            case 10:  // a long run of spaces, inside a line or around it
                s.insert(at, SpaceRun(rng), ' ');
                break;
            case 11: {  // a line whose length comes from the spaces inside it, near the limit
                static const char* const words[] = {"red shoes",         "size 9", "A",
                                                    "\xC3\xA9t\xC3\xA9", "x'y",    "Z"};
                const std::string first = words[pick(std::size(words))];
                const std::string second = words[pick(std::size(words))];
                // Trimmed length of 99, 100, 101 or far more; spaces around it sometimes.
                const std::size_t target = rng() % 2 ? 99 + pick(3) : 101 + SpaceRun(rng);
                const std::size_t inner = target > first.size() + second.size()
                                              ? target - first.size() - second.size()
                                              : 1;
                std::string line = std::string(rng() % 3 ? 0 : SpaceRun(rng), ' ') + first +
                                   std::string(inner, ' ') + second +
                                   std::string(rng() % 3 ? 0 : SpaceRun(rng), ' ');
                static const char* const ends[] = {"\r\n", "\n", "\r"};
                line += ends[pick(3)];
                const std::size_t lineStart = s.rfind('\n', at == 0 ? 0 : at - 1);
                s.insert(lineStart == std::string::npos ? 0 : lineStart + 1, line);
                break;
            }
            default:  // insert spaces
                s.insert(at, 1 + pick(3), ' ');
                break;
        }
    }
    constexpr std::size_t kLongest = std::size_t{256} << 10;
    if (s.size() > kLongest) s.resize(kLongest);
    return s;
}

// The reshapings every seed runs with: as it is, in each encoding, across the ends of the
// reader's blocks and of the loader's chunks, and with its runs of spaces stretched.
std::vector<engine_fuzz::Plan> SeedPlans() {
    std::vector<engine_fuzz::Plan> plans(1);
    for (int encoding = 0; encoding < 7; ++encoding) {
        plans.emplace_back();
        plans.back().encoding = encoding;
    }
    plans.emplace_back();
    plans.back().padBytes = (std::size_t{1} << 20) - 2;
    for (std::size_t pad : {(std::size_t{1} << 16) - 3, (std::size_t{2} << 16) - 117}) {
        plans.emplace_back();
        plans.back().padUnits = pad;
    }
    const std::pair<std::size_t, std::size_t> stretches[] = {{1, 150}, {2, 20000}, {1, 70000}};
    int encoding = 0;
    for (auto [from, to] : stretches) {
        plans.emplace_back();
        plans.back().stretchFrom = from;
        plans.back().stretchTo = to;
        plans.back().encoding = encoding;
        encoding += 2;
    }
    plans.emplace_back();  // all at once, in UTF-16
    plans.back().encoding = 3;
    plans.back().stretchFrom = 1;
    plans.back().stretchTo = 300;
    plans.back().padUnits = (std::size_t{1} << 16) - 41;
    return plans;
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    if (argc > 1 && std::string(argv[1]) == "--keep-going") {
        engine_fuzz::keepGoing = true;
        ++first;
    }
    if (argc - first < 1) {
        std::fprintf(stderr, "usage: %s [--keep-going] CORPUS_DIR [MUTATIONS [SEED [MEBIBYTES]]]\n",
                     argv[0]);
        return 2;
    }
    const char* const corpus = argv[first];
    const long mutations = argc > first + 1 ? std::atol(argv[first + 1]) : 3000;
    const unsigned seed = argc > first + 2
                              ? static_cast<unsigned>(std::strtoul(argv[first + 2], nullptr, 10))
                              : 20240611u;
    const std::uint64_t mostBytes =
        (argc > first + 3 ? std::strtoull(argv[first + 3], nullptr, 10) : 256) << 20;

    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(corpus))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no seed files in %s\n", corpus);
        return 2;
    }
    std::vector<std::string> seeds;
    const std::vector<engine_fuzz::Plan> plans = SeedPlans();
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        for (const engine_fuzz::Plan& plan : plans) {
            engine_fuzz::forcedPlan = &plan;
            Run(seeds.back());
        }
    }
    engine_fuzz::forcedPlan = nullptr;
    std::printf("%zu seed files, each reshaped %zu ways: %llu inputs, %llu MiB\n", seeds.size(),
                plans.size(), static_cast<unsigned long long>(engine_fuzz::inputsRun),
                static_cast<unsigned long long>(engine_fuzz::bytesRun >> 20));

    std::mt19937 rng(seed);
    std::string last = seeds.front();
    const std::uint64_t bytesBefore = engine_fuzz::bytesRun;
    long generated = 0;
    for (; generated < mutations && engine_fuzz::bytesRun - bytesBefore < mostBytes; ++generated) {
        // Mostly fresh mutations of a seed, sometimes a mutation of the previous input.
        const std::string& from = rng() % 4 == 0 ? last : seeds[rng() % seeds.size()];
        last = Mutate(from, seeds, rng);
        Run(last);
    }
    std::printf("%ld generated inputs (seed %u), %llu MiB once reshaped\n", generated, seed,
                static_cast<unsigned long long>((engine_fuzz::bytesRun - bytesBefore) >> 20));
    if (engine_fuzz::findings.empty()) {
        std::printf("the engine and the model agree on all of them\n");
        return 0;
    }
    std::map<std::string, int> kinds;
    for (const std::string& finding : engine_fuzz::findings) ++kinds[finding];
    std::printf("%zu disagreements:\n", engine_fuzz::findings.size());
    for (const auto& [kind, count] : kinds) std::printf("%6d  %s\n", count, kind.c_str());
    return 1;
}
