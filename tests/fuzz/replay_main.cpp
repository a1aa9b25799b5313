// Runs the fuzz target without libFuzzer: over every file of the seed corpus, then over a fixed,
// reproducible series of mutations of those seeds. Exits 0 when the engine and the model agree
// on all of them; a disagreement aborts inside the target with the input printed.
//
//   engine_fuzz_replay CORPUS_DIR [MUTATIONS [SEED]]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace engine_fuzz {
extern unsigned paddingEvery;
}

namespace {

void Run(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
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
        switch (rng() % 10) {
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
            default:  // insert spaces
                s.insert(at, 1 + pick(3), ' ');
                break;
        }
    }
    if (s.size() > 4096) s.resize(4096);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [MUTATIONS [SEED]]\n", argv[0]);
        return 2;
    }
    const long mutations = argc > 2 ? std::atol(argv[2]) : 3000;
    const unsigned seed =
        argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 20240611u;

    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no seed files in %s\n", argv[1]);
        return 2;
    }
    std::vector<std::string> seeds;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        // Each seed as it is, and with its lines across the end of the reader's first block.
        engine_fuzz::paddingEvery = 0;
        Run(seeds.back());
        engine_fuzz::paddingEvery = 1;
        Run(seeds.back());
    }
    std::printf("%zu seed files agree, as they are and behind 1 MiB of blank lines\n",
                seeds.size());
    engine_fuzz::paddingEvery = 32;

    std::mt19937 rng(seed);
    std::string last = seeds.front();
    for (long i = 0; i < mutations; ++i) {
        // Mostly fresh mutations of a seed, sometimes a mutation of the previous input.
        const std::string& from = rng() % 4 == 0 ? last : seeds[rng() % seeds.size()];
        last = Mutate(from, seeds, rng);
        Run(last);
    }
    std::printf("%ld generated inputs agree (seed %u)\n", mutations, seed);
    return 0;
}
