// How phrases compare, and the sort and the merge that must agree on it: the fold's
// word-at-a-time forms against the plain one, the sort on every count of threads, and the merge
// of sorted runs against the sort on bytes where a signed or an unsigned reading differ.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/failure.h"
#include "engine/order/collation.h"
#include "engine/order/phrase_order.h"
#include "engine/order/phrase_sort.h"
#include "engine/order/text_hash.h"
#include "engine/runs/scratch_file.h"
#include "engine/runs/sorted_runs.h"
#include "engine/table/text_pool.h"
#include "engine/thread_group.h"
#include "tests/engine/test_support.h"

namespace ostrel {
namespace {

namespace hooks = thread_group_testing;

// Texts of ASCII, of capitals that fold to a shorter form (U+0130), of accents that compose with
// the letter before them and of stray bytes, in every length around the eight-byte words.
std::string RandomText(std::mt19937& rng) {
    static const char* const pieces[] = {
        "a",    "Z", " ", "'", "\xC3\x89", "\xC3\xA9", "\xC4\xB0", "\xD0\x96", "\xE2\x82\xAC",
        "\xFF", "Q", "q", "0", "e",        "\xCC\x81"};
    std::string s;
    const std::size_t n = rng() % 40;
    for (std::size_t i = 0; i < n; ++i) s += pieces[rng() % std::size(pieces)];
    return s;
}

std::string Folded(std::string_view text) {
    std::string out;
    PhraseForm(text, out);
    return out;
}

TEST(PhraseForm, TheWordAtATimeFormsAgreeWithThePlainOne) {
    std::mt19937 rng(11);
    for (int i = 0; i < 20000; ++i) {
        const std::string a = RandomText(rng);
        const std::string b = rng() % 2 ? RandomText(rng) : Folded(a);
        const std::string fa = Folded(a);
        ASSERT_LE(fa.size(), a.size());

        std::vector<char> out(FormRoom(a.size()));
        std::uint64_t hash = 0;
        const std::size_t n = FoldAndHash(a, out.data(), hash);
        ASSERT_EQ(std::string(out.data(), n), fa) << a;
        ASSERT_EQ(hash, HashText(fa.data(), fa.size())) << a;

        std::vector<char> bigA(FormRoom(std::max(a.size(), b.size()))),
            bigB(FormRoom(std::max(a.size(), b.size())));
        ASSERT_EQ(FoldEqual(a, b, bigA.data(), bigB.data()), fa == Folded(b)) << a << " / " << b;

        std::string scratch;
        for (std::size_t depth : {0, 8, 16}) {
            std::uint64_t words[3];
            ASSERT_EQ(FoldedWords(a, depth, words, 3, scratch), fa.size());
            for (std::size_t w = 0; w < 3; ++w) {
                std::uint64_t expected = 0;
                for (std::size_t k = 0; k < 8; ++k) {
                    const std::size_t at = depth + 8 * w + k;
                    const unsigned char byte = at < fa.size() ? fa[at] : 0;
                    expected = (expected << 8) | byte;
                }
                ASSERT_EQ(words[w], expected) << a << " at " << depth + 8 * w;
            }
        }
    }
}

// The sort shares large inputs among helper threads. The texts start in many ways, in both
// letter cases and beyond ASCII, so that they fall into many buckets, and spellings of one
// folded text lie far apart.
class SortThreads : public ::testing::Test {
  protected:
    void TearDown() override {
        hooks::FailThreadStart(0);
        hooks::FailThreadJob(0);
    }
    void SetUp() override {
        const char* const starts[] = {"phrase ",       "Apple ",        "apple ", "Zebra ",
                                      "\xC3\x84rger ", "\xC3\xA4rger ", "1 ",     "z"};
        for (int i = 0; i < 150000; ++i)
            ids.push_back(pool.Intern(starts[i % 8] + std::to_string((i * 7919) % 150000)));
    }
    // In order of the folded texts, and of the ids where those are equal.
    bool Sorted() const {
        std::vector<std::pair<std::string, TextPool::Id>> texts;
        for (TextPool::Id id : ids) {
            texts.emplace_back(std::string(), id);
            PhraseForm(pool.Text(id), texts.back().first);
        }
        return std::is_sorted(texts.begin(), texts.end());
    }
    // Sorts the ids on one thread, and on each count of threads up to most.
    void ExpectSortedOnUpTo(unsigned most) {
        const std::vector<TextPool::Id> original = ids;
        for (unsigned threads = 1; threads <= most; ++threads) {
            ids = original;
            SortPhrases(ids, pool, threads);
            EXPECT_TRUE(Sorted()) << threads;
        }
    }

    TextPool pool;
    std::vector<TextPool::Id> ids;
};

TEST_F(SortThreads, ALargeInputIsSortedOnEveryThreadCount) {
    ExpectSortedOnUpTo(4);
}

// Phrases that share more than a sort key's bytes, spelt many ways: many keys are equal, and
// the order is settled further on in the texts.
TEST_F(SortThreads, TextsSharingLongBeginningsAreSortedWithTheirSpellingsInOrder) {
    const char* const starts[] = {"women's running shoes for trail ", "Women's Running Shoes ",
                                  "WOMEN'S RUNNING SHOES FOR TRAIL "};
    ids.clear();
    for (int i = 0; i < 120000; ++i) {
        std::string text = starts[i % 3] + std::to_string((i * 7919) % 700);
        if (i % 5 == 0) text += " \xC3\x84";
        ids.push_back(pool.Intern(text));
    }
    ExpectSortedOnUpTo(2);
}

TEST_F(SortThreads, AHelperThatRunsOutOfMemoryReachesTheCaller) {
    for (unsigned helper = 1; helper <= 9; ++helper) {  // of the three rounds of three helpers
        std::vector<TextPool::Id> copy = ids;
        hooks::FailThreadJob(helper);
        EXPECT_THROW(SortPhrases(copy, pool, 4), std::bad_alloc) << helper;
        hooks::FailThreadJob(0);
    }
}

TEST_F(SortThreads, AHelperThatCannotStartReachesTheCaller) {
    for (unsigned start = 1; start <= 9; ++start) {
        std::vector<TextPool::Id> copy = ids;
        hooks::FailThreadStart(start);
        EXPECT_THROW(SortPhrases(copy, pool, 4), std::system_error) << start;
        hooks::FailThreadStart(0);
    }
    SortPhrases(ids, pool, 4);
    EXPECT_TRUE(Sorted());
}

// Ids in phrase order, as the sort gives them.
std::vector<std::string> SortedTexts(const std::vector<std::string>& texts, unsigned threads) {
    TextPool pool;
    std::vector<TextPool::Id> ids;
    for (const std::string& t : texts) ids.push_back(pool.Intern(t));
    SortPhrases(ids, pool, threads);
    std::vector<std::string> sorted;
    for (TextPool::Id id : ids) sorted.emplace_back(pool.Text(id));
    return sorted;
}

bool InPhraseOrder(const std::vector<std::string>& texts) {
    return std::is_sorted(texts.begin(), texts.end(),
                          [](const std::string& a, const std::string& b) {
                              return ComparePhraseForms(Folded(a), Folded(b)) < 0;
                          });
}

// Every bucket of the parallel path's first two bytes holds two phrases, handed over in
// descending order: a bucket of two must be sorted as any other.
TEST(PhraseSort, BucketsOfTwoAreSortedOnTheParallelPath) {
    std::vector<std::string> texts;
    for (int first = 1; first < 256; ++first) {
        for (int second = 1; second < 256; ++second) {
            if (FoldAscii(char(first)) != char(first) || FoldAscii(char(second)) != char(second))
                continue;
            const std::string start{char(first), char(second)};
            texts.insert(texts.end(), {start + "2", start + "1"});
        }
    }
    ASSERT_GE(texts.size(), 100000u);  // the parallel path's least input
    EXPECT_TRUE(InPhraseOrder(SortedTexts(texts, 2)));
}

// Runs merged give the sort's order where a signed reading of bytes would not: NUL bytes, bytes
// from 0x80 up, and bytes that are no UTF-8.
TEST(PhraseSort, TheMergeOfRunsOrdersAsTheSortDoes) {
    const std::string texts[] = {"a",
                                 std::string("a\0", 2),
                                 std::string("a\0b", 3),
                                 "a\x7F",
                                 "a\x80",
                                 "a\xFF",
                                 "a\xC3\xA9",
                                 "a\xC3",
                                 "\x01",
                                 "\x7F",
                                 "\x80",
                                 "\xFF\xFE",
                                 "B",
                                 "b\xE2\x82\xAC",
                                 "ab",
                                 "a b",
                                 "\xC3\x89"};
    const std::string folder = TemporaryFolder();
    std::vector<std::unique_ptr<SortedRun>> runs;
    std::vector<SortedRun*> heads;
    for (std::size_t r = 0; r < 3; ++r) {
        std::vector<std::string> share;
        for (std::size_t i = r; i < std::size(texts); i += 3) share.push_back(texts[i]);
        runs.push_back(std::make_unique<SortedRun>(folder, 4096));
        for (const std::string& t : SortedTexts(share, 1)) runs.back()->Add(t);
        heads.push_back(runs.back().get());
    }
    SortedRun merged(folder, 4096);
    MergeRuns(heads, merged, nullptr);
    std::vector<std::string> got;
    merged.Rewind();
    for (std::string_view t; merged.Next(t);) got.emplace_back(t);
    EXPECT_EQ(got, SortedTexts({std::begin(texts), std::end(texts)}, 1));
}

// In a language's order the sort is a stable sort of the phrases' places, on every path: keys
// that tie past a level, keys longer than 64 bytes, and distinct phrases the language finds
// equal ("a1", "A2"), in shuffled input large enough to be shared among threads.
TEST(PhraseSort, ALanguagesOrderIsAStableSortOfThePlaces) {
    const test::FakeCollation language;
    TextPool pool;
    std::vector<TextPool::Id> ids;
    std::mt19937 rng(5);
    const char* const words[] = {
        "alpha", "Beta", "b", "zeta", "Zeta", "\xC3\x89t\xC3\xA9", "e\xCC\x81t\xC3\xA9"};
    for (int i = 0; i < 120000; ++i) {
        std::string text = words[rng() % 7];
        text +=
            std::to_string(rng() % 20000) + " " + words[rng() % 7] + std::string(rng() % 3, 'x');
        ids.push_back(pool.Intern(text));
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::vector<TextPool::Id> expected = ids;
    const std::unique_ptr<CollationKeys> keys = language.NewKeys();
    std::vector<PhrasePlace> places(expected.size());
    std::vector<std::size_t> order(expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        PlacePhrase(pool.Text(expected[i]), keys.get(), places[i]);
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return ComparePlaces(places[a], places[b]) < 0;
    });
    for (std::size_t i = 0; i < order.size(); ++i) expected[i] = ids[order[i]];
    std::shuffle(ids.begin(), ids.end(), rng);
    ASSERT_GE(ids.size(), 100000u);  // the parallel path's least input
    for (unsigned threads : {1u, 2u, 4u}) {
        std::vector<TextPool::Id> sorted = ids;
        SortPhrases(sorted, pool, threads, &language);
        EXPECT_EQ(sorted, expected) << threads;
    }
}

// Each language's own order, through the platform's collation.
TEST(PhraseSort, LanguagesSortAsTheirSpeakersDo) {
    const std::vector<std::string> everywhere[] = {
        {"coop", "co-op", "cork"}, {"were", "we're", "zebra"}, {"car seat", "cars", "carseat"}};
    const std::vector<std::string> accents = {
        "\xC3\xA1"
        "baco",
        "abacus", "Apfel",
        "\xC3\x84"
        "pfel",
        "apfelsaft"};
    const struct {
        const char* locale;
        std::vector<std::string> chain;
    } languages[] = {
        {"de-DE", accents},
        {"fr-FR", accents},
        {"en-US", accents},
        {"es-ES", accents},
        {"es-ES",
         {"nube",
          "\xC3\xB1"
          "and\xC3\xBA",
          "oz"}},
        {"sv-SE",
         {"zebra",
          "\xC3\xA5"
          "l",
          "\xC3\xA4gg", "\xC3\xB6l"}},
        {"tr-TR", {"ol", "oz", "\xC3\xB6ga"}},
    };
    for (const auto& language : languages) {
        const std::unique_ptr<Collation> collation = CollationFor(language.locale);
        ASSERT_TRUE(collation) << language.locale;
        std::vector<std::vector<std::string>> chains(std::begin(everywhere), std::end(everywhere));
        chains.push_back(language.chain);
        for (const std::vector<std::string>& chain : chains) {
            TextPool pool;
            std::vector<TextPool::Id> ids;
            for (auto t = chain.rbegin(); t != chain.rend(); ++t) ids.push_back(pool.Intern(*t));
            SortPhrases(ids, pool, 1, collation.get());
            std::vector<std::string> got;
            for (TextPool::Id id : ids) got.emplace_back(pool.Text(id));
            EXPECT_EQ(got, chain) << language.locale;
        }
    }
    EXPECT_EQ(CollationFor("C"), nullptr);
    EXPECT_EQ(CollationFor("C.UTF-8"), nullptr);
    EXPECT_EQ(CollationFor("POSIX"), nullptr);
    EXPECT_THROW(CollationFor("qq-ZZ"), RuntimeError);
}

// Spellings that differ only in their composition are one phrase, whatever their letter case.
TEST(PhraseForm, CanonicallyEquivalentSpellingsAreOnePhrase) {
    const std::vector<std::string> spellings[] = {
        {"caf\xC3\xA9", "cafe\xCC\x81", "CAFE\xCC\x81", "CAF\xC3\x89"},
        {"\xC3\x85", "\xE2\x84\xAB", "\xC3\xA5"},
        {"\xE2\x84\xA6", "\xCE\xA9", "\xCF\x89"},
        {"\xED\x95\x9C", "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB"},
    };
    for (const std::vector<std::string>& phrase : spellings) {
        for (const std::string& spelling : phrase) {
            std::vector<char> a(FormRoom(12)), b(FormRoom(12));
            EXPECT_TRUE(FoldEqual(phrase.front(), spelling, a.data(), b.data())) << spelling;
            std::uint64_t first = 0, other = 0;
            FoldAndHash(phrase.front(), a.data(), first);
            FoldAndHash(spelling, b.data(), other);
            EXPECT_EQ(first, other) << spelling;
        }
    }
    // A stray byte and a surrogate read from UTF-16 stay as they are, and part what they stand
    // between: the accent after them composes with nothing.
    EXPECT_EQ(Folded("e\xFF\xCC\x81"), "e\xFF\xCC\x81");
    EXPECT_EQ(Folded("E\xED\xA0\x80\xCC\x81"), "e\xED\xA0\x80\xCC\x81");
}

}  // namespace
}  // namespace ostrel
