// gen_multilingual LINES OUTPUT [SEED]: writes a deterministic keyword list in five languages for
// the benchmark of the languages' order.
//
// A few thousand words are made from the syllables and letters of French, German, Spanish,
// Swedish and English (accents, ß, ñ, å, œ included). Each line is a phrase of 2 to 5 words of
// one language, or, four times in ten, a repeat of an earlier phrase in another letter case;
// 10,000,000 lines hold about 6,000,000 distinct phrases. Lines end with CR LF. The same
// arguments always give the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

class Rng {  // splitmix64, as in gen_keywords.cpp
  public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t Below(std::uint64_t n) {
        return static_cast<std::uint64_t>((static_cast<unsigned __int128>(Next()) * n) >> 64);
    }

  private:
    std::uint64_t state_;
};

struct Language {
    std::vector<std::string_view> onsets, vowels, codas;
};

const Language kLanguages[] = {
    {{"b",  "ch", "d", "f", "g", "j",  "l",  "m",  "n",  "p",
      "qu", "r",  "s", "t", "v", "pr", "tr", "cr", "fl", ""},
     {"a", "e", "i", "o", "u", "é", "è", "ê", "à", "â", "ou", "ai", "eu", "œu", "ô", "î"},
     {"", "", "r", "s", "n", "l", "t", "x", "ç", "mme", "tte"}},
    {{"b", "d", "f",   "g",  "h", "k", "l", "m",  "n",  "p",
      "r", "s", "sch", "st", "t", "w", "z", "kr", "pf", ""},
     {"a", "e", "i", "o", "u", "ä", "ö", "ü", "ei", "au", "ie", "äu", "eu"},
     {"", "n", "r", "ß", "ch", "ck", "lt", "nd", "st", "tz", "ng"}},
    {{"b", "c", "d", "g", "j", "l", "ll", "m", "n", "ñ", "p", "r", "s", "t", "v", "ch", "pl", ""},
     {"a", "e", "i", "o", "u", "á", "é", "í", "ó", "ú", "ue", "ie"},
     {"", "", "n", "s", "r", "l", "z", "d"}},
    {{"b", "d", "f", "g", "h", "j", "k", "l", "m", "n", "p", "r", "s", "sk", "sj", "st", "t", "v",
      ""},
     {"a", "e", "i", "o", "u", "y", "å", "ä", "ö"},
     {"", "n", "r", "k", "g", "ll", "tt", "nd", "ck"}},
    {{"b", "c", "d",  "f",  "g", "h",  "l", "m",  "n",  "p",
      "r", "s", "sh", "st", "t", "th", "w", "br", "gr", ""},
     {"a", "e", "i", "o", "u", "ea", "oo", "ou", "ai", "ee"},
     {"", "n", "r", "t", "ck", "ng", "st", "ght", "ll", "'s"}},
};
constexpr std::size_t kWordsPerLanguage = 800;

template <typename T>
const T& Pick(Rng& rng, const std::vector<T>& from) {
    return from[rng.Below(from.size())];
}

// Capitals of the letters the words use: ASCII, and two-byte Latin letters (U+00E0 to U+00FE
// less U+00F7, and œ); ß has none and stays.
void AppendUpper(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 'a' && c <= 'z') {
            out.push_back(static_cast<char>(c - 32));
        } else if (c == 0xC3 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0xA0 &&
                   static_cast<unsigned char>(text[i + 1]) != 0xB7 &&
                   static_cast<unsigned char>(text[i + 1]) != 0xBF) {
            out.push_back(text[i]);
            out.push_back(static_cast<char>(text[++i] - 0x20));
        } else if (c == 0xC5 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) == 0x93) {  // œ
            out.push_back(text[i]);
            out.push_back(static_cast<char>(text[++i] - 1));
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: gen_multilingual LINES OUTPUT [SEED]\n");
        return 2;
    }
    const std::uint64_t lines = std::strtoull(argv[1], nullptr, 10);
    const std::uint64_t seed = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 20261209;
    std::FILE* file = std::fopen(argv[2], "wb");
    if (!file) {
        std::perror(argv[2]);
        return 1;
    }
    Rng rng(seed);
    std::vector<std::vector<std::string>> words(std::size(kLanguages));
    for (std::size_t l = 0; l < std::size(kLanguages); ++l) {
        const Language& language = kLanguages[l];
        for (std::size_t w = 0; w < kWordsPerLanguage; ++w) {
            std::string word;
            const std::uint64_t syllables = 1 + rng.Below(3);
            for (std::uint64_t s = 0; s < syllables; ++s)
                word.append(Pick(rng, language.onsets)).append(Pick(rng, language.vowels));
            word.append(Pick(rng, language.codas));
            words[l].push_back(word);
        }
    }
    std::string store, phrase, line;
    std::vector<std::uint64_t> starts;  // of each phrase in store
    for (std::uint64_t n = 0; n < lines; ++n) {
        line.clear();
        if (!starts.empty() && rng.Below(10) < 4) {
            const std::uint64_t k = rng.Below(starts.size());
            const std::uint64_t end = k + 1 < starts.size() ? starts[k + 1] : store.size();
            const std::string_view earlier(store.data() + starts[k], end - starts[k]);
            if (rng.Below(2) == 0) {
                AppendUpper(line, earlier);
            } else {  // its first letter a capital
                AppendUpper(line, earlier.substr(0, 1));
                line.append(earlier.substr(1));
            }
        } else {
            const std::vector<std::string>& vocabulary = words[rng.Below(words.size())];
            const std::uint64_t count = 2 + rng.Below(4);
            phrase.clear();
            for (std::uint64_t w = 0; w < count; ++w) {
                if (w) phrase.push_back(' ');
                phrase.append(Pick(rng, vocabulary));
            }
            starts.push_back(store.size());
            store.append(phrase);
            line = phrase;
        }
        line.append("\r\n");
        std::fwrite(line.data(), 1, line.size(), file);
    }
    return std::fclose(file) == 0 ? 0 : 1;
}
