// Reading a list into its distinct lines on worker threads: lists of many chunks, line numbers
// across chunk ends, and which failure wins when several lie ahead.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/distinct_loader.h"
#include "engine/failure.h"
#include "engine/table/working_table.h"
#include "engine/text/code_page.h"
#include "engine/text/text_file.h"
#include "engine/thread_group.h"
#include "tests/engine/test_support.h"

namespace ostrel {
namespace {

using V = std::vector<std::string>;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

// Every test runs with one, two, three and four workers, whatever the machine's cores.
class DistinctLoader : public test::ScratchDir, public ::testing::WithParamInterface<unsigned> {
  protected:
    void TearDown() override {
        thread_group_testing::FailThreadStart(0);
        thread_group_testing::FailThreadJob(0);
        test::ScratchDir::TearDown();
    }
    static WorkingTablePtr NewTable() {
        WorkingTablePtr table = WorkingTable::Create();
        table->Fields().Append("TextCol", adVarChar, 100, adFldUnspecified);
        table->Open();
        return table;
    }
    // Loads the bytes as a list; the rows come back sorted.
    V Load(std::string_view bytes) {
        TextFileReader reader(File("list.txt", bytes), Windows1252());
        WorkingTablePtr table = NewTable();
        nonBlank = LoadDistinctLines(
            reader, *table, 100, [&](std::uint64_t lines) { progress.push_back(lines); },
            GetParam());
        table->SetSort("TextCol");
        return test::Rows(*table);
    }
    // The description of the failure that loading the bytes ends in.
    std::string Failure(std::string_view bytes) {
        try {
            Load(bytes);
        } catch (const RuntimeError& e) {
            return e.Description();
        }
        return "no failure";
    }

    std::uint64_t nonBlank = 0;
    std::vector<std::uint64_t> progress;
};

TEST_P(DistinctLoader, AListOfManyChunksKeepsEachFirstSpellingAndCountsEveryLine) {
    // Two megabytes in three line-end styles, with blank lines, padding and case variants; a
    // phrase comes back in other spellings far later in the file, in other chunks.
    const char* ends[] = {"\r\n", "\n", "\r"};
    const char* spellings[] = {"Shoe Phrase ", "shoe phrase ", "SHOE PHRASE "};
    std::string bytes;
    std::map<std::string, std::string> first;  // folded text -> first spelling
    std::uint64_t lines = 0, expectedNonBlank = 0;
    for (int i = 0; bytes.size() < (std::size_t{2} << 20); ++i) {
        const int n = (i * 7919) % 30011;
        const std::string text = spellings[(i / 30011 + n) % 3] + std::to_string(n);
        bytes += (i % 5 == 0 ? "  " : "") + text + ends[i % 3];
        ++lines, ++expectedNonBlank;
        first.emplace(Lower(text), text);
        if (i % 11 == 0) bytes += std::string(i % 3, ' ') + ends[(i + 1) % 3], ++lines;
    }
    V expected;
    for (const auto& [folded, text] : first) expected.push_back(text);
    std::sort(expected.begin(), expected.end(),
              [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });

    EXPECT_EQ(Load(bytes), expected);
    EXPECT_EQ(nonBlank, expectedNonBlank);
    // The reading waits for the workers once it is a few chunks ahead, and reports the lines
    // done whenever it waits: so there is a report before the last one, however the threads
    // are scheduled.
    ASSERT_GE(progress.size(), 2u) << "the lines are reported as they are read";
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), lines);
}

TEST_P(DistinctLoader, ARefusedLineFarIntoTheFileGivesItsOwnNumber) {
    // Lines of varied length put chunk ends at every kind of place, CR LF pairs included.
    std::string bytes;
    int line = 0;
    while (bytes.size() < (std::size_t{1} << 20)) {
        bytes += std::string(1 + (line * 37) % 23, 'a' + line % 26) + "\r\n";
        ++line;
    }
    const std::string tooLong(101, 'x');
    EXPECT_NE(
        Failure(bytes + tooLong + "\r\nmore\r\n").find("Line " + std::to_string(line + 1) + " of "),
        std::string::npos);
    // A line longer than a whole chunk too.
    EXPECT_NE(Failure(bytes + std::string(300000, 'y') + "\nmore")
                  .find("Line " + std::to_string(line + 1) + " of "),
              std::string::npos);
}

TEST_P(DistinctLoader, FailuresComeInTheOrderOfTheLines) {
    std::u16string units;
    for (int i = 0; i < 40000; ++i)
        units += u"keyword " + std::u16string(1, u'a' + i % 26) + u"\r\n";
    const std::string odd = "\x41";  // half a UTF-16 unit at the very end
    const std::string head = "\xFF\xFE";
    EXPECT_NE(Failure(head + test::Utf16Bytes(units, false) + odd)
                  .find("ends in the middle of a UTF-16 character"),
              std::string::npos);
    // A refused line before the broken end is met first, as line by line.
    const std::u16string refused = std::u16string(101, u'z') + u"\r\n";
    EXPECT_NE(Failure(head + test::Utf16Bytes(units + refused + units, false) + odd)
                  .find("Line 40001 of "),
              std::string::npos);
}

TEST_P(DistinctLoader, TheLoadedTableFiltersAndGrowsLikeAnyOther) {
    TextFileReader reader(File("list.txt", "Running Shoes\nrunning shoes\nmen's boots\n"),
                          Windows1252());
    WorkingTablePtr table = WorkingTable::Create();
    table->Fields().Append("TextCol", adVarChar, 100, adFldUnspecified);
    table->Open();
    EXPECT_EQ(LoadDistinctLines(
                  reader, *table, 100, [](std::uint64_t) {}, GetParam()),
              3u);
    table->SetFilter("[TextCol] = 'RUNNING SHOES'");
    EXPECT_EQ(table->RecordCount(), 1u);
    EXPECT_EQ(table->Fields(0).Value(), "Running Shoes");
    table->SetFilter(adFilterNone);
    // A later row finds the loaded texts through the pool's indexes, built again on demand.
    table->AddNew();
    table->Fields(0).SetValue("MEN'S BOOTS");
    table->Update();
    EXPECT_TRUE(IsLastDuplicate(*table));
    table->AddNew();
    table->Fields(0).SetValue("kids' shoes");
    table->Update();
    EXPECT_FALSE(IsLastDuplicate(*table));
    EXPECT_EQ(table->RecordCount(), 4u);
}

TEST_P(DistinctLoader, TheTableAndItsPoolMustStartEmpty) {
    TextFileReader reader(File("list.txt", "a\n"), Windows1252());
    WorkingTablePtr table = WorkingTable::Create();
    table->Fields().Append("TextCol", adVarChar, 100, adFldUnspecified);
    table->Open();
    table->AddNew();
    table->Fields(0).SetValue("there already");
    table->Update();
    EXPECT_THROW(LoadDistinctLines(
                     reader, *table, 100, [](std::uint64_t) {}, GetParam()),
                 std::logic_error);
}

// A list of several chunks, each line distinct.
std::string ManyChunks(std::size_t bytes, std::uint64_t& lines) {
    std::string list;
    for (lines = 0; list.size() < bytes; ++lines) list += "phrase " + std::to_string(lines) + "\n";
    return list;
}

TEST_P(DistinctLoader, JustTheWorkersAskedForAreStarted) {
    std::uint64_t lines = 0;
    const std::string list = ManyChunks(300000, lines);
    // The workers asked for read the list; then the hand-over of their texts runs on as many
    // threads, the calling one included. One start more than those would fail: none is made.
    thread_group_testing::FailThreadStart(2 * GetParam());
    EXPECT_EQ(Load(list).size(), lines);
    thread_group_testing::FailThreadStart(0);
    // The last of them failing to start fails the load.
    thread_group_testing::FailThreadStart(GetParam());
    EXPECT_THROW(Load(list), std::system_error);
}

TEST_P(DistinctLoader, AWorkerThatCannotStartFailsTheLoadAndLeavesTheTableEmpty) {
    std::uint64_t lines = 0;
    const std::string list = ManyChunks(300000, lines);
    for (unsigned start = 1; start <= GetParam(); ++start) {
        TextFileReader reader(File("list.txt", list), Windows1252());
        WorkingTablePtr table = NewTable();
        thread_group_testing::FailThreadStart(start);
        EXPECT_THROW(LoadDistinctLines(
                         reader, *table, 100, [](std::uint64_t) {}, GetParam()),
                     std::system_error)
            << start;
        EXPECT_EQ(table->RecordCount(), 0u);
        EXPECT_TRUE(table->Pool()->Empty());
    }
}

TEST_P(DistinctLoader, AWorkerRunningOutOfMemoryReachesTheCallerAndLeavesTheTableEmpty) {
    std::uint64_t lines = 0;
    const std::string list = ManyChunks(300000, lines);
    for (unsigned job = 1; job <= GetParam(); ++job) {
        TextFileReader reader(File("list.txt", list), Windows1252());
        WorkingTablePtr table = NewTable();
        thread_group_testing::FailThreadJob(job);
        EXPECT_THROW(LoadDistinctLines(
                         reader, *table, 100, [](std::uint64_t) {}, GetParam()),
                     std::bad_alloc)
            << job;
        EXPECT_EQ(table->RecordCount(), 0u);
        EXPECT_TRUE(table->Pool()->Empty());
    }
}

// The bar's last step must cover every line, however long the window takes over a report.
// The first report here is slow: the workers finish the rest of the list meanwhile (a list of
// three chunks is read whole before the first chunk is done with, so that report comes after
// the reading).
TEST_P(DistinctLoader, TheLastProgressReportCoversEveryLineRead) {
    std::uint64_t lines = 0;
    const std::string list = ManyChunks(180000, lines);
    for (int attempt = 0; attempt < 5; ++attempt) {
        TextFileReader reader(File("list.txt", list), Windows1252());
        WorkingTablePtr table = NewTable();
        std::vector<std::uint64_t> reports;
        LoadDistinctLines(
            reader, *table, 100,
            [&](std::uint64_t read) {
                reports.push_back(read);
                if (reports.size() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            },
            GetParam());
        ASSERT_FALSE(reports.empty());
        ASSERT_EQ(reports.back(), lines) << "attempt " << attempt << ", reports " << reports.size();
        EXPECT_EQ(table->RecordCount(), lines);
    }
}

INSTANTIATE_TEST_SUITE_P(Workers, DistinctLoader, ::testing::Values(1u, 2u, 3u, 4u),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                             return std::to_string(info.param) + "Workers";
                         });

}  // namespace
}  // namespace ostrel
