// The parts that the text pool and the loader's workers share: the arena of text records, the
// slot table's one search, and the word-at-a-time forms of letter-case folding.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/case_fold.h"
#include "engine/slot_table.h"
#include "engine/text_arena.h"
#include "engine/text_hash.h"

namespace ostrel {
namespace {

using Offset = TextArena::Offset;

std::vector<Offset> WalkAll(const TextArena& arena, Offset from) {
    std::vector<Offset> seen;
    arena.Walk(from, [&](Offset o) { seen.push_back(o); });
    return seen;
}

TEST(RecordHeader, KeepsItsFieldsApartAtTheirLimits) {
    const RecordHeader h(65535, (std::uint64_t{1} << 47) - 1, true);
    EXPECT_EQ(h.Length(), 65535u);
    EXPECT_EQ(h.FoldClass(), (std::uint64_t{1} << 47) - 1);
    EXPECT_TRUE(h.Variant());
    const RecordHeader first(3, 12345, false);
    EXPECT_EQ(first.Length(), 3u);
    EXPECT_EQ(first.FoldClass(), 12345u);
    EXPECT_FALSE(first.Variant());
}

TEST(TextArena, WalksEveryRecordInOrderAcrossChunks) {
    TextArena arena;
    std::vector<std::string> texts;
    std::vector<Offset> offsets;
    // Records of up to 65535 bytes: a few hundred fill several 2 MB chunks.
    for (int i = 0; i < 300; ++i) {
        texts.push_back(std::string(static_cast<std::size_t>(i * 217 % 65536), char('a' + i % 26)));
        offsets.push_back(arena.Append(texts.back(), std::uint64_t(i), i % 3 == 0));
    }
    texts.push_back("");
    offsets.push_back(arena.Append(""));
    EXPECT_EQ(arena.Size(), 301u);
    EXPECT_GT(offsets.back(), std::uint64_t{2} << 20);  // more than one chunk
    std::vector<Offset> all;
    arena.Walk([&](Offset o) { all.push_back(o); });
    EXPECT_EQ(all, offsets);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(arena.Text(offsets[i]), texts[i]) << i;
        EXPECT_EQ(arena.Header(offsets[i]).Length(), texts[i].size()) << i;
        EXPECT_EQ(arena.Header(offsets[i]).FoldClass(), i < 300 ? i : 0u) << i;
        EXPECT_EQ(arena.Header(offsets[i]).Variant(), i < 300 && i % 3 == 0) << i;
    }
    // From a record in the middle on.
    EXPECT_EQ(WalkAll(arena, offsets[150]),
              std::vector<Offset>(offsets.begin() + 150, offsets.end()));
    EXPECT_EQ(WalkAll(arena, TextArena::kEnd), std::vector<Offset>{});
}

TEST(TextArena, RefusesATextOverTheLongestRecord) {
    TextArena arena;
    EXPECT_THROW(arena.Append(std::string(65536, 'x')), std::length_error);
    EXPECT_EQ(arena.Size(), 0u);
    EXPECT_EQ(WalkAll(arena, TextArena::kEnd), std::vector<Offset>{});
}

TEST(TextArena, TakeOverKeepsBothSetsOfRecordsAndNamesTheFirstTakenOver) {
    TextArena pool, worker, none;
    const Offset a = pool.Append("alpha", 0, false);
    const Offset b = worker.Append("Beta");
    worker.Append("gamma");
    const Offset first = pool.TakeOver(worker);
    EXPECT_EQ(worker.Size(), 0u);
    EXPECT_EQ(pool.Size(), 3u);
    EXPECT_EQ(pool.Text(a), "alpha");
    const std::vector<Offset> taken = WalkAll(pool, first);
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(pool.Text(taken[0]), "Beta");
    EXPECT_EQ(pool.Text(taken[1]), "gamma");
    EXPECT_EQ(taken[0] % (std::uint64_t{2} << 20), b);  // the same place in its chunk
    EXPECT_EQ(pool.TakeOver(none), TextArena::kEnd);
    // The walk may give each record its class, as the pool does on taking records over.
    std::uint64_t next = 7;
    pool.Walk(first, [&](Offset o) { pool.SetClass(o, next++, false); });
    EXPECT_EQ(pool.Header(taken[1]).FoldClass(), 8u);
    EXPECT_EQ(pool.Text(taken[1]), "gamma");
}

// Two hashes with the same home slot and the same tag, so only equal tells them apart.
constexpr std::uint64_t kTag = std::uint64_t{0xABCD} << 48;

TEST(SlotTable, FindStopsAtTheFirstFreeSlotAndAsksEqualOnlyOnMatchingTags) {
    SlotTable table;
    table.Reset(1024);
    const std::uint64_t h = kTag | 5;
    EXPECT_FALSE(table.Find(h, [](std::uint64_t) { return true; }).found);
    table.Insert(h, 100);
    table.Insert(h, 200);                                  // same home and tag: the next slot
    table.Insert((std::uint64_t{0x1234} << 48) | 5, 300);  // same home, another tag
    std::vector<std::uint64_t> asked;
    const SlotTable::Probe miss = table.Find(h, [&](std::uint64_t offset) {
        asked.push_back(offset);
        return false;
    });
    EXPECT_FALSE(miss.found);
    EXPECT_EQ(asked, (std::vector<std::uint64_t>{100, 200}));
    EXPECT_EQ(miss.position, 5u + 3);
    const SlotTable::Probe hit = table.Find(h, [](std::uint64_t offset) { return offset == 200; });
    EXPECT_TRUE(hit.found);
    EXPECT_EQ(hit.offset, 200u);
    // A free slot found by a search takes the new entry.
    table.Put(miss.position, h, 400);
    EXPECT_EQ(table.Find(h, [](std::uint64_t offset) { return offset == 400; }).offset, 400u);
}

TEST(SlotTable, FindGivesUpAfterTheProbesAllowed) {
    SlotTable table;
    table.Reset(1024);
    const std::uint64_t h = kTag | 1023;  // the last slot: the search wraps to the first
    for (std::uint64_t k = 0; k < 6; ++k) table.Insert(h, k);
    std::vector<std::uint64_t> asked;
    const SlotTable::Probe gaveUp = table.Find(
        h,
        [&](std::uint64_t offset) {
            asked.push_back(offset);
            return offset == 5;
        },
        4);
    EXPECT_FALSE(gaveUp.found);
    EXPECT_EQ(gaveUp.position, SlotTable::kNoSlot);
    EXPECT_EQ(asked, (std::vector<std::uint64_t>{0, 1, 2, 3}));
    EXPECT_EQ(table.Find(h, [](std::uint64_t offset) { return offset == 5; }).offset, 5u);
}

// Texts of ASCII, of capitals that fold to a shorter form (U+0130) and of stray bytes, in
// every length around the eight-byte words.
std::string RandomText(std::mt19937& rng) {
    static const char* const pieces[] = {
        "a",    "Z", " ", "'", "\xC3\x89", "\xC3\xA9", "\xC4\xB0", "\xD0\x96", "\xE2\x82\xAC",
        "\xFF", "Q", "q", "0"};
    std::string s;
    const std::size_t n = rng() % 40;
    for (std::size_t i = 0; i < n; ++i) s += pieces[rng() % std::size(pieces)];
    return s;
}

std::string Folded(std::string_view text) {
    std::string out;
    FoldUtf8(text, out);
    return out;
}

TEST(CaseFold, TheWordAtATimeFormsAgreeWithFoldUtf8) {
    std::mt19937 rng(11);
    for (int i = 0; i < 20000; ++i) {
        const std::string a = RandomText(rng);
        const std::string b = rng() % 2 ? RandomText(rng) : Folded(a);
        const std::string fa = Folded(a);
        ASSERT_LE(fa.size(), a.size());

        std::vector<char> out(a.size() + 8);
        std::uint64_t hash = 0;
        const std::size_t n = FoldAndHash(a, out.data(), hash);
        ASSERT_EQ(std::string(out.data(), n), fa) << a;
        ASSERT_EQ(hash, HashText(fa.data(), fa.size())) << a;

        std::vector<char> bigA(std::max(a.size(), b.size()) + 8),
            bigB(std::max(a.size(), b.size()) + 8);
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

}  // namespace
}  // namespace ostrel
