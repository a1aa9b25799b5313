// The working table, its letter-case folding, and the duplicate test built on it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/failure.h"
#include "engine/order/phrase_order.h"
#include "engine/table/text_pool.h"
#include "engine/table/working_table.h"
#include "engine/text/utf.h"
#include "tests/engine/test_support.h"

namespace ostrel {
namespace {

using test::Rows;
using V = std::vector<std::string>;

WorkingTablePtr NewTable(std::shared_ptr<TextPool> pool = nullptr) {
    WorkingTablePtr t = WorkingTable::Create(std::move(pool));
    t->Fields().Append("TextCol", adVarChar, 100, -1);
    t->Open();
    return t;
}

void Add(WorkingTable& t, std::string_view text) {
    t.AddNew();
    t.Fields(0).SetValue(text);
    t.Update();
}

std::string Filter(std::string_view text) {
    return "[TextCol] = '" + std::string(text) + "'";
}

long ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

std::string Repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(CaseFold, FoldsCapitalsOfTheFiveBlocksOnly) {
    EXPECT_EQ(FoldCodePoint(U'Q'), U'q');
    EXPECT_EQ(FoldCodePoint(U'\u00C9'), U'\u00E9');  // É
    EXPECT_EQ(FoldCodePoint(U'\u00DE'), U'\u00FE');  // Þ
    EXPECT_EQ(FoldCodePoint(U'\u0100'), U'\u0101');  // Ā
    EXPECT_EQ(FoldCodePoint(U'\u0178'), U'\u00FF');  // Ÿ
    EXPECT_EQ(FoldCodePoint(U'\u03A9'), U'\u03C9');  // Ω
    EXPECT_EQ(FoldCodePoint(U'\u0386'), U'\u03AC');  // Ά
    EXPECT_EQ(FoldCodePoint(U'\u0416'), U'\u0436');  // Ж
    EXPECT_EQ(FoldCodePoint(U'\u0401'), U'\u0451');  // Ё
    EXPECT_EQ(FoldCodePoint(U'\u0460'), U'\u0461');  // Ѡ
    // Left exactly as they are.
    for (char32_t c : {U'q', U'1', U'[', U'\u00D7', U'\u00DF', U'\u00E9', U'\u03C2', U'\u01C4',
                       U'\u1E00', U'\u212A', U'\uFF21', U'\U0001F600'})
        EXPECT_EQ(FoldCodePoint(c), c) << static_cast<unsigned>(c);
}

TEST(CaseFold, FoldsUtf8TextAndCountsCharacters) {
    std::string out;
    PhraseForm("Straße ÉTÉ ΑΘΗΝΑ МОСКВА Ｘ", out);
    EXPECT_EQ(out, "straße été αθηνα москва Ｘ");
    std::string bad =
        "A\xFF"
        "B";
    out.clear();
    PhraseForm(bad, out);
    EXPECT_EQ(out,
              "a\xFF"
              "b");
    EXPECT_EQ(CountCharacters("aé€😀"), 4u);
    EXPECT_EQ(CountCharacters("a\xFF"), 2u);
    EXPECT_EQ(CountCharacters(""), 0u);
}

TEST(IdVector, KeepsEveryIdWhenAnIdNeedsEightBytes) {
    IdVector ids;
    for (std::uint64_t i = 0; i < 70000; ++i) ids.push_back(i * 3);
    ids.push_back(std::uint64_t{1} << 40);
    ids.set(5, (std::uint64_t{1} << 33) + 7);
    EXPECT_EQ(ids.size(), 70001u);
    EXPECT_EQ(ids[69999], 69999u * 3);
    EXPECT_EQ(ids[70000], std::uint64_t{1} << 40);
    EXPECT_EQ(ids[5], (std::uint64_t{1} << 33) + 7);
    ids.pop_back();
    EXPECT_EQ(ids.size(), 70000u);
}

TEST(WorkingTable, AddedRowGoesLastAndBecomesCurrent) {
    auto t = NewTable();
    EXPECT_TRUE(t->IsOpen());
    EXPECT_EQ(t->Fields().Count(), 1u);
    EXPECT_EQ(t->Fields(0).Name(), "TextCol");
    Add(*t, "b");
    Add(*t, "a");
    EXPECT_EQ(t->Fields(0).Value(), "a");
    EXPECT_EQ(t->RecordCount(), 2u);
    t->MoveFirst();
    EXPECT_EQ(t->Fields(0).Value(), "b");
    t->MoveLast();
    EXPECT_EQ(t->Fields(0).Value(), "a");
    EXPECT_EQ(Rows(*t), (V{"b", "a"}));
}

TEST(WorkingTable, MoveFirstOnEmptyTableIsAllowed) {
    auto t = NewTable();
    EXPECT_NO_THROW(t->MoveFirst());
    EXPECT_TRUE(t->Eof());
    t->SetSort("TextCol");
    EXPECT_NO_THROW(t->MoveFirst());
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(t->RecordCount(), 0u);
    EXPECT_EQ(ErrorOf([&] { (void)t->Fields(0).Value(); }), 3021);  // no current record
}

TEST(WorkingTable, TextLengthCountsCharactersAndIsNeverCut) {
    auto t = NewTable();
    for (const char* ch : {"x", "é", "€", "😀"}) {
        EXPECT_NO_THROW(Add(*t, Repeat(ch, 100))) << ch;
        EXPECT_EQ(t->Fields(0).Value(), Repeat(ch, 100));
    }
    EXPECT_EQ(t->RecordCount(), 4u);
    for (const char* ch : {"x", "é"}) {
        auto fresh = NewTable();
        std::string description;
        try {
            Add(*fresh, Repeat(ch, 101));
            ADD_FAILURE() << "101 characters accepted: " << ch;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), 3367);
            description = e.Description();
        }
        EXPECT_NE(description.find("100"), std::string::npos) << description;
        fresh->SetFilter(Filter(Repeat(ch, 100)));  // nothing was stored cut to the limit
        EXPECT_EQ(fresh->RecordCount(), 0u);
    }
}

TEST(WorkingTable, FilterIgnoresLetterCaseOfTheFiveBlocksOnly) {
    auto t = NewTable();
    for (const char* s : {"Running Shoes", "running shoes", "RUNNING SHOES ", "ÉTÉ", "été", "ΑΘΗΝΑ",
                          "αθηνα", "МОСКВА", "москва", "Straße", "STRASSE", "Ｘ", "ｘ"})
        Add(*t, s);
    const auto count = [&](std::string_view s) {
        t->SetFilter(Filter(s));
        const auto n = t->RecordCount();
        t->SetFilter(adFilterNone);
        return n;
    };
    EXPECT_EQ(count("rUNNING sHOES"), 2u);  // trailing space makes the third one differ
    EXPECT_EQ(count("Été"), 2u);
    EXPECT_EQ(count("Αθηνα"), 2u);
    EXPECT_EQ(count("Москва"), 2u);
    EXPECT_EQ(count("strasse"), 1u);
    EXPECT_EQ(count("ｘ"), 1u);
    EXPECT_EQ(count("walking"), 0u);
    EXPECT_EQ(count(""), 0u);
    EXPECT_EQ(t->RecordCount(), 13u);
}

TEST(WorkingTable, FilterTextIsLiteralBetweenFirstAndLastApostrophe) {
    auto t = NewTable();
    for (const char* s :
         {"men's shoes", "Men's Shoes", "mens shoes", "'", "''", "'quoted'", "a'b'c"})
        Add(*t, s);
    t->SetFilter(Filter("men's shoes"));
    EXPECT_EQ(t->RecordCount(), 2u);
    t->SetFilter(Filter("'"));
    EXPECT_EQ(t->RecordCount(), 1u);
    EXPECT_EQ(t->Fields(0).Value(), "'");
    t->SetFilter(Filter("''"));
    EXPECT_EQ(t->RecordCount(), 1u);
    t->SetFilter(Filter("'QUOTED'"));
    EXPECT_EQ(t->RecordCount(), 1u);
    t->SetFilter(Filter("a'b'c"));
    EXPECT_EQ(t->RecordCount(), 1u);
    t->SetFilter(adFilterNone);
    EXPECT_FALSE(t->Filtered());
    EXPECT_EQ(t->RecordCount(), 7u);
}

TEST(WorkingTable, FilterKeepsAVisibleCurrentRow) {
    auto t = NewTable();
    Add(*t, "A");
    Add(*t, "b");
    Add(*t, "a");  // current
    t->SetFilter(Filter("a"));
    EXPECT_EQ(t->Fields(0).Value(), "a");
    t->SetFilter(adFilterNone);
    EXPECT_EQ(t->Fields(0).Value(), "a");
    t->MoveFirst();
    EXPECT_EQ(t->Fields(0).Value(), "A");
}

TEST(WorkingTable, DeletedRowStaysReadableUntilTheNextMove) {
    auto t = NewTable();
    for (const char* s : {"a", "b", "c"}) Add(*t, s);
    t->MoveFirst();
    t->MoveNext();
    t->Delete(adAffectCurrent);
    EXPECT_EQ(t->Fields(0).Value(), "b");
    EXPECT_EQ(t->RecordCount(), 2u);
    t->MoveNext();
    EXPECT_EQ(t->Fields(0).Value(), "c");
    EXPECT_EQ(Rows(*t), (V{"a", "c"}));
    t->MoveLast();
    t->Delete();
    t->MoveLast();
    EXPECT_EQ(t->Fields(0).Value(), "a");
    t->SetFilter(Filter("c"));
    EXPECT_EQ(t->RecordCount(), 0u);
    t->SetFilter(Filter("b"));
    EXPECT_EQ(t->RecordCount(), 0u);
    t->SetFilter(adFilterNone);
    Add(*t, "C");
    t->SetFilter(Filter("c"));
    EXPECT_EQ(t->RecordCount(), 1u);
}

TEST(WorkingTable, SortsByCodePointOfTheFoldedText) {
    auto t = NewTable();
    for (const char* s :
         {"zoo", "Éclair", "keyword Two", "_x", "Apple", "ábc", "apple pie", "KEYWORD three",
          "keyword one", "Zebra", "€uro", "Ωmega", "ж", "Я", "10", "9"})
        Add(*t, s);
    t->Delete();  // "9" leaves
    t->SetSort("TextCol");
    EXPECT_EQ(t->Sort(), "TextCol");
    // "_x" (0x5F) comes before "Apple" only because capitals fold to small letters (0x61).
    EXPECT_EQ(Rows(*t),
              (V{"10", "_x", "Apple", "apple pie", "keyword one", "KEYWORD three", "keyword Two",
                 "Zebra", "zoo", "ábc", "Éclair", "Ωmega", "ж", "Я", "€uro"}));
    EXPECT_EQ(t->RecordCount(), 15u);
}

TEST(WorkingTable, ChangingTheCurrentRowsTextMovesItsCount) {
    auto t = NewTable();
    for (const char* s : {"a", "b", "A"}) Add(*t, s);
    t->SetFilter(Filter("a"));
    EXPECT_EQ(t->RecordCount(), 2u);
    t->SetFilter(adFilterNone);
    t->MoveFirst();
    t->Fields(0).SetValue("B");
    EXPECT_EQ(t->Fields(0).Value(), "B");
    EXPECT_EQ(Rows(*t), (V{"B", "b", "A"}));
    t->SetFilter(Filter("b"));
    EXPECT_EQ(t->RecordCount(), 2u);
    t->SetFilter(Filter("a"));
    EXPECT_EQ(t->RecordCount(), 1u);
    t->SetFilter(adFilterNone);
    // A text over the limit leaves the row as it was.
    t->MoveFirst();
    EXPECT_EQ(ErrorOf([&] { t->Fields(0).SetValue(Repeat("x", 101)); }), 3367);
    EXPECT_EQ(t->Fields(0).Value(), "B");
    // No row to change: past the last one, or removed.
    t->MoveLast();
    t->MoveNext();
    EXPECT_EQ(ErrorOf([&] { t->Fields(0).SetValue("c"); }), 3021);
    t->MoveFirst();
    t->Delete();
    EXPECT_EQ(ErrorOf([&] { t->Fields(0).SetValue("c"); }), 3021);
    EXPECT_EQ(Rows(*t), (V{"b", "A"}));
}

TEST(WorkingTable, ColumnNamesAndTheSortOrderIgnoreAsciiLetterCase) {
    auto t = NewTable();
    for (const char* s : {"b", "C", "a"}) Add(*t, s);
    t->SetFilter("[textCOL] = 'A'");
    EXPECT_EQ(t->RecordCount(), 1u);
    t->SetFilter("TEXTCOL = 'c'");
    EXPECT_EQ(t->RecordCount(), 1u);
    t->SetFilter(adFilterNone);
    t->SetSort("[textcol] desc");
    EXPECT_EQ(Rows(*t), (V{"C", "b", "a"}));
    t->SetSort("TEXTCOL Asc");
    EXPECT_EQ(Rows(*t), (V{"a", "b", "C"}));
    // Another name, another order or another kind of argument is refused.
    EXPECT_EQ(ErrorOf([&] { t->SetFilter("[TextCo] = 'a'"); }), 3001);
    EXPECT_EQ(ErrorOf([&] { t->SetFilter("[TextCol] = a"); }), 3001);
    EXPECT_EQ(ErrorOf([&] { t->SetSort("TextColumn"); }), 3001);
    EXPECT_EQ(ErrorOf([&] { t->SetSort("TextCol DOWN"); }), 3001);
    EXPECT_EQ(ErrorOf([&] { t->SetFilter(1); }), 3001);
    EXPECT_EQ(ErrorOf([&] { t->Delete(2); }), 3001);
    EXPECT_EQ(Rows(*t), (V{"a", "b", "C"}));
}

TEST(WorkingTable, TablesSharingAPoolKeepTheirOwnRows) {
    auto pool = std::make_shared<TextPool>();
    auto a = NewTable(pool);
    auto b = NewTable(pool);
    Add(*a, "x");
    Add(*b, "x");
    Add(*b, "y");
    a->Delete();
    EXPECT_EQ(a->RecordCount(), 0u);
    EXPECT_EQ(Rows(*b), (V{"x", "y"}));
    b->SetFilter(Filter("X"));
    EXPECT_EQ(b->RecordCount(), 1u);
}

TEST(IsLastDuplicate, EmptyAndSingleRowTablesHoldNoDuplicate) {
    auto t = NewTable();
    EXPECT_FALSE(IsLastDuplicate(*t));
    EXPECT_FALSE(t->Filtered());
    Add(*t, "a");
    EXPECT_FALSE(IsLastDuplicate(*t));
    EXPECT_FALSE(t->Filtered());
}

TEST(IsLastDuplicate, ReportsACaseInsensitiveRepeatOfTheCurrentRowAndClearsTheFilter) {
    auto t = NewTable();
    Add(*t, "Running Shoes");
    Add(*t, "men's shoes");
    EXPECT_FALSE(IsLastDuplicate(*t));
    EXPECT_FALSE(t->Filtered());
    EXPECT_EQ(t->RecordCount(), 2u);
    Add(*t, "running shoes");
    EXPECT_TRUE(IsLastDuplicate(*t));
    EXPECT_FALSE(t->Filtered());
    EXPECT_EQ(t->RecordCount(), 3u);
    Add(*t, "Men's Shoes");
    EXPECT_TRUE(IsLastDuplicate(*t));
}

TEST(IsLastDuplicate, NoDuplicateAfterTheRepeatWasDeleted) {
    auto t = NewTable();
    Add(*t, "a");
    Add(*t, "b");
    Add(*t, "A");
    ASSERT_TRUE(IsLastDuplicate(*t));
    t->MoveLast();
    t->Delete(adAffectCurrent);
    // A blank line follows: nothing is added, and the test runs again on the removed row.
    EXPECT_FALSE(IsLastDuplicate(*t));
    EXPECT_FALSE(IsLastDuplicate(*t));
    EXPECT_EQ(Rows(*t), (V{"a", "b"}));
}

}  // namespace
}  // namespace ostrel
