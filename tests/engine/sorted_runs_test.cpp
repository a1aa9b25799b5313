// Lists larger than their memory budget: sorted runs on disk, merged into the same result as a
// load held in memory, the earliest spelling kept across runs, and no scratch file left.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/distinct_loader.h"
#include "engine/duplicate_engine.h"
#include "engine/failure.h"
#include "engine/memory_budget.h"
#include "engine/order/collation.h"
#include "engine/runs/scratch_file.h"
#include "engine/table/working_table.h"
#include "engine/text/code_page.h"
#include "engine/text/text_file.h"
#include "tests/engine/test_support.h"

namespace ostrel {
namespace {

namespace fs = std::filesystem;
using V = std::vector<std::string>;

// Phrases repeated throughout, each time in another letter case, so that a phrase's first
// spelling and its repeats fall into different runs; a few spaces and blank lines besides.
std::string MixedList(std::size_t lines) {
    std::string list;
    for (std::size_t i = 0; i < lines; ++i) {
        std::string phrase = "phrase " + std::to_string(i * 7919 % 997) + " \xC3\xA9t\xC3\xA9";
        for (std::size_t c = 0; c < phrase.size(); ++c)
            if (((i >> (c % 5)) & 1) && phrase[c] >= 'a' && phrase[c] <= 'z') phrase[c] -= 32;
        list += (i % 11 == 0 ? "  " : "") + phrase + (i % 13 == 0 ? "\r\n\r\n" : "\n");
    }
    return list;
}

struct Result {
    V rows;
    std::uint64_t nonBlank = 0;
    bool onDisk = false;
};

class SortedRuns : public test::ScratchDir, public ::testing::WithParamInterface<unsigned> {
  protected:
    void SetUp() override {
        test::ScratchDir::SetUp();
        scratch = PathOf("scratch");
        fs::create_directories(test::PathFromUtf8(scratch));
    }
    // Loads the list, with no budget (0) or with one.
    Result Load(const std::string& path, std::uint64_t budget) {
        TextFileReader reader(path, Windows1252());
        WorkingTablePtr table = WorkingTable::Create();
        table->Fields().Append("TextCol", adVarChar, 100, adFldUnspecified);
        table->Open();
        LoadOptions options;
        options.workers = GetParam();
        options.memoryBudget = budget;
        options.scratchFolder = scratch;
        options.busy = [&] { ++busyCalls; };
        options.collation = collation;
        table->SetSortCollation(collation);
        Result r;
        r.nonBlank = LoadDistinctLines(
            reader, *table, 100, [](std::uint64_t) {}, options);
        table->SetSort("TextCol");
        r.rows = test::Rows(*table);
        r.onDisk = table->RowsOnDisk();
        EXPECT_EQ(table->RecordCount(), r.rows.size());
        if (r.onDisk) {
            EXPECT_EQ(test::Rows(*table), r.rows);  // walked again from the start
            EXPECT_THROW(table->AddNew(), RuntimeError);
        }
        return r;
    }
    std::size_t ScratchFiles() const {
        return std::distance(fs::directory_iterator(test::PathFromUtf8(scratch)),
                             fs::directory_iterator());
    }

    std::string scratch;
    std::uint64_t busyCalls = 0;
    std::shared_ptr<const Collation> collation;  // none: the "C" order
};

TEST_P(SortedRuns, ManyRunsMergeToTheResultInMemory) {
    // A budget of a byte writes a run for each small chunk: dozens of runs, merged in groups.
    const std::string path = File("list.txt", MixedList(6000));
    const Result memory = Load(path, 0);
    const Result runs = Load(path, 1);
    EXPECT_FALSE(memory.onDisk);
    EXPECT_TRUE(runs.onDisk);
    EXPECT_EQ(runs.rows, memory.rows);
    EXPECT_EQ(runs.nonBlank, memory.nonBlank);
    EXPECT_EQ(memory.rows.size(), 997u);
    EXPECT_GT(busyCalls, 0u);
    EXPECT_EQ(ScratchFiles(), 0u);
}

#ifndef _WIN32
TEST_P(SortedRuns, HundredsOfRunsNeedAFewOpenFiles) {
    // A budget of a byte writes hundreds of runs; 16 descriptors, a few of them the test's own,
    // are enough for all of them and their merge.
    const std::string path = File("list.txt", MixedList(6000));
    const Result memory = Load(path, 0);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit low = saved;
    low.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    Result runs;
    try {
        runs = Load(path, 1);
    } catch (const RuntimeError& e) {
        ADD_FAILURE() << e.Description();
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(runs.rows, memory.rows);
    EXPECT_EQ(ScratchFiles(), 0u);
}
#endif

TEST_P(SortedRuns, TheFirstSpellingWinsAcrossRuns) {
    std::string list = "Zebra Crossing\nalpha\n";
    for (int i = 0; i < 400; ++i) list += "filler number " + std::to_string(i) + "\n";
    list += "ZEBRA CROSSING\nALPHA\nzebra crossing\nnew at the end\n";
    const Result r = Load(File("list.txt", list), 1);
    ASSERT_TRUE(r.onDisk);
    EXPECT_EQ(r.rows.front(), "alpha");
    EXPECT_EQ(r.rows.back(), "Zebra Crossing");
    EXPECT_EQ(r.rows.size(), 403u);
    EXPECT_EQ(r.nonBlank, 406u);
}

// In a language's order too: the tests' own, whose keys tie past many levels and which finds
// distinct phrases equal, and a real one.
TEST_P(SortedRuns, RunsMergeToTheResultInMemoryInALanguagesOrder) {
    const std::string path =
        File("list.txt", MixedList(3000) + "a1\nA2\na3\n\xC3\xB6l\nzebra\n\xC3\xA5l\n\xC3\xA4gg\n");
    for (std::shared_ptr<const Collation> language :
         {std::shared_ptr<const Collation>(std::make_shared<test::FakeCollation>()),
          std::shared_ptr<const Collation>(CollationFor("sv-SE"))}) {
        collation = language;
        const Result memory = Load(path, 0);
        const Result runs = Load(path, 1);
        EXPECT_TRUE(runs.onDisk);
        EXPECT_EQ(runs.rows, memory.rows) << language->LocaleName();
        EXPECT_EQ(memory.rows.size(), 1004u);
    }
}

// Spellings that look the same are one phrase, in memory and across runs: the first is kept as
// it was written.
TEST_P(SortedRuns, CanonicallyEquivalentSpellingsAreOnePhrase) {
    std::string list = "cafe\xCC\x81\n\xE2\x84\xAB\n\xE2\x84\xA6\n\xED\x95\x9C\n";
    for (int i = 0; i < 400; ++i) list += "filler number " + std::to_string(i) + "\n";
    list +=
        "caf\xC3\xA9\nCAF\xC3\x89\n\xC3\x85\n\xCE\xA9\n\xCF\x89\n"
        "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB\n";
    const std::string path = File("list.txt", list);
    for (const std::uint64_t budget : {std::uint64_t{0}, std::uint64_t{1}}) {
        const Result r = Load(path, budget);
        EXPECT_EQ(r.nonBlank, 410u);
        ASSERT_EQ(r.rows.size(), 404u);
        EXPECT_EQ(r.rows.front(), "cafe\xCC\x81");
        EXPECT_EQ(V(r.rows.end() - 3, r.rows.end()),
                  (V{"\xE2\x84\xAB", "\xE2\x84\xA6", "\xED\x95\x9C"}));
    }
}

TEST_P(SortedRuns, ACodePageListReadAgainDropsItsRuns) {
    // The byte that is not UTF-8 comes after many runs: the list is read again in the code
    // page, and the runs of the first reading count for nothing.
    const std::string path = File("list.txt", MixedList(3000) + "caf\xE9\nCAF\xC9\n");
    const Result memory = Load(path, 0);
    const Result runs = Load(path, 1);
    EXPECT_EQ(runs.rows, memory.rows);
    EXPECT_EQ(runs.nonBlank, memory.nonBlank);
    EXPECT_EQ(ScratchFiles(), 0u);
}

TEST_P(SortedRuns, AFailureAfterRunsLeavesNoScratchFile) {
    const std::string path = File("list.txt", MixedList(3000) + std::string(101, 'x') + "\n");
    try {
        Load(path, 1);
        ADD_FAILURE() << "an over-long line was taken";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), err::kTextTooLong);
        EXPECT_NE(e.Description().find("Line 3232 of"), std::string::npos) << e.Description();
    }
    EXPECT_EQ(ScratchFiles(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Workers, SortedRuns, ::testing::Values(1u, 3u),
                         [](const auto& info) { return std::to_string(info.param) + "workers"; });

class RunsSaved : public test::ScratchDir {};

TEST_F(RunsSaved, SavingTwiceGivesTheSameBytesInTheListsEncoding) {
    std::u16string units = u"\xFEFF";
    for (char c : MixedList(2000)) units += char16_t(static_cast<unsigned char>(c));
    const std::string list = File("in.txt", test::Utf16Bytes(units, false));
    std::vector<std::string> saved;
    for (std::uint64_t budget : {0u, 1u}) {
        test::FakeUi ui;
        DuplicateEngine engine(ui);
        engine.SetMemoryBudget(budget);
        ui.Answer(list);
        engine.cmdOpen_Click();
        ASSERT_EQ(engine.rsUnique()->RowsOnDisk(), budget != 0);
        for (int save = 0; save < 2; ++save) {
            const std::string name = "out" + std::to_string(saved.size()) + ".txt";
            ui.Answer(PathOf(name));
            engine.cmdSave_Click();
            saved.push_back(test::ReadBytes(Dir() / name));
        }
        EXPECT_EQ(ui.messages.size(), 2u);
    }
    for (const std::string& bytes : saved) EXPECT_EQ(bytes, saved.front());
    EXPECT_EQ(saved.front().substr(0, 2), "\xFF\xFE");
}

TEST_F(RunsSaved, AScratchFolderThatTakesNoFileIsNamed) {
    // A missing folder stands for any that takes no file: the load fails by its name.
    const std::string missing = PathOf("no such folder");
    TextFileReader reader(File("list.txt", MixedList(500)), Windows1252());
    WorkingTablePtr table = WorkingTable::Create();
    table->Fields().Append("TextCol", adVarChar, 100, adFldUnspecified);
    table->Open();
    LoadOptions options;
    options.memoryBudget = 1;
    options.scratchFolder = missing;
    try {
        LoadDistinctLines(
            reader, *table, 100, [](std::uint64_t) {}, options);
        ADD_FAILURE() << "a missing scratch folder was taken";
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.Description().find(missing), std::string::npos) << e.Description();
    }
    EXPECT_EQ(table->RecordCount(), 0u);
}

TEST(MemoryBudget, HalfOfWhatIsFreeAndOfAnyLimit) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    EXPECT_EQ(MemoryBudgetFor({8192 * kMiB, 0}), 4096 * kMiB);
    EXPECT_EQ(MemoryBudgetFor({8192 * kMiB, 1024 * kMiB}), 512 * kMiB);
    EXPECT_EQ(MemoryBudgetFor({0, 1024 * kMiB}), 512 * kMiB);
    EXPECT_EQ(MemoryBudgetFor({10 * kMiB, 0}), 16 * kMiB);
    EXPECT_EQ(MemoryBudgetFor({0, 0}), 1024 * kMiB);
    EXPECT_GE(AutomaticMemoryBudget(), 16 * kMiB);
}

TEST(ScratchFileName, OnlyThisProgramsRuns) {
    EXPECT_TRUE(IsScratchFileName("ostrel-123-4.run"));
    for (const char* other : {"ostrel-123-4.run.txt", "ostrel--4.run", "ostrel-12a-4.run",
                              "Ostrel-1-2.run", "ostrel-1-.run", "x-ostrel-1-2.run", "ostrel-1-2"})
        EXPECT_FALSE(IsScratchFileName(other)) << other;
}

}  // namespace
}  // namespace ostrel
