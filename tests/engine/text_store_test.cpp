// The parts that the text pool and the loader's workers share: the arena of text records, the
// slot table's one search.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/order/phrase_order.h"
#include "engine/order/text_hash.h"
#include "engine/table/slot_table.h"
#include "engine/table/text_arena.h"

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

}  // namespace
}  // namespace ostrel
