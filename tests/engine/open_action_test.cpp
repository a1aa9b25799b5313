// The "Open && Remove Duplicate" action: file check, reading, duplicate removal, counts, progress,
// messages, and a failed run leaving the previous result in force.
#include <gtest/gtest.h>

#include <exception>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "engine/duplicate_engine.h"
#include "engine/table/large_memory.h"
#include "engine/thread_group.h"
#include "tests/engine/test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace ostrel {
namespace {

using V = std::vector<std::string>;

// Every test runs with one, two, three and four workers, whatever the machine's cores.
class OpenAction : public test::ScratchDir, public ::testing::WithParamInterface<unsigned> {
  protected:
    void SetUp() override {
        test::ScratchDir::SetUp();
        engine.SetWorkerCount(GetParam());
    }
    void TearDown() override {
        thread_group_testing::FailThreadStart(0);
        thread_group_testing::FailThreadJob(0);
        test::ScratchDir::TearDown();
    }
    // Opens a file with the given bytes and returns the unique rows in their order.
    V Run(std::string_view bytes, std::string_view name = "list.txt") {
        ui.Answer(File(name, bytes));
        engine.cmdOpen_Click();
        return engine.rsUnique() ? test::Rows(*engine.rsUnique()) : V{"<no table>"};
    }
    V Completed(int actual, int final) {
        return {"Actual=Actual Keyword Phrases : " + std::to_string(actual),
                "Final=Final Keyword Phrases : " + std::to_string(final),
                "SaveEnabled=1",
                "SaveOpenEnabled=1",
                "DragWindow",
                "ProgressVisible=0"};
    }
    static V Tail(const V& calls, std::size_t n) {
        return V(calls.end() - static_cast<long>(n), calls.end());
    }

    test::FakeUi ui;
    DuplicateEngine engine{ui};
};

TEST_P(OpenAction, CaptionsAndCheck) {
    EXPECT_EQ(ActualRowCountCaption(12), "Actual Keyword Phrases : 12");
    EXPECT_EQ(FinalRowCountCaption(0), "Final Keyword Phrases : 0");
    EXPECT_TRUE(ContainsTxt("C:\\Data\\LIST.TXT"));
    EXPECT_TRUE(ContainsTxt("x.txt.old"));
    EXPECT_TRUE(ContainsTxt("my.TxT folder/list.csv"));
    EXPECT_FALSE(ContainsTxt("list.csv"));
    EXPECT_FALSE(ContainsTxt("txt"));
    EXPECT_FALSE(ContainsTxt(""));
}

TEST_P(OpenAction, CompleteRunInOrder) {
    EXPECT_EQ(Run("b\r\na\r\nb\r\n  a  "), (V{"a", "b"}));
    V expected{"ShowOpen",          "ProgressValue=0",     "ProgressMin=0",    "ProgressMax=10001",
               "ProgressVisible=1", "ProgressValue=10001", "ProgressVisible=0"};
    for (const auto& c : Completed(4, 2)) expected.push_back(c);
    EXPECT_EQ(ui.Calls(), expected);
    // The bar moves on by whole runs of lines: here one, the four lines of the file.
    EXPECT_EQ(ui.progressValues, (std::vector<float>{0, 4, 10001}));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(engine.strFileName(), PathOf("list.txt"));
    EXPECT_EQ(engine.ResultEncoding(), TextEncoding::Utf8);
}

TEST_P(OpenAction, FirstSpellingIsKeptAndCaseIgnoredInFiveScripts) {
    EXPECT_EQ(
        Run("Running Shoes\r\nrunning shoes\r\nRUNNING SHOES\r\nÉTÉ\r\nété\r\nΑΘΗΝΑ\r\nαθηνα\r\n"
            "Москва\r\nМОСКВА\r\nStraße\r\nSTRASSE\r\n\ta\r\na"),
        (V{"\ta", "a", "Running Shoes", "STRASSE", "Straße", "ÉTÉ", "ΑΘΗΝΑ", "Москва"}));
    EXPECT_EQ(ui.finalCaption, "Final Keyword Phrases : 8");
    EXPECT_EQ(ui.actualCaption, "Actual Keyword Phrases : 13");
}

TEST_P(OpenAction, ApostrophesCleanLikeAnyOtherText) {
    EXPECT_EQ(Run("men's shoes\r\nMen's Shoes\r\n'\r\n'\r\n''\r\nkids' shoes\r\n'a'\r\n'A'"),
              (V{"'", "''", "'a'", "kids' shoes", "men's shoes"}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_P(OpenAction, BlankAndSpaceOnlyLinesAreSkippedButAdvanceProgress) {
    EXPECT_EQ(Run("\r\n    \r\n\r\nx\r\n   \r\nX\r\n\r\n\r\ny\r\n"), (V{"x", "y"}));
    EXPECT_EQ(Tail(ui.Calls(), 6), Completed(3, 2));
    EXPECT_EQ(ui.progressValues, (std::vector<float>{0, 9, 10001}));
}

TEST_P(OpenAction, BlankLineAfterARemovedRepeatRemovesNothingMore) {
    EXPECT_EQ(Run("a\r\nb\r\nA\r\n\r\n\r\nB\r\n\r\n"), (V{"a", "b"}));
    EXPECT_EQ(Tail(ui.Calls(), 6), Completed(4, 2));
}

TEST_P(OpenAction, EmptyFileCompletes) {
    EXPECT_EQ(Run(""), V{});
    EXPECT_EQ(Tail(ui.Calls(), 6), Completed(0, 0));
    EXPECT_EQ(Run("\xEF\xBB\xBF"), V{});
    EXPECT_EQ(engine.ResultEncoding(), TextEncoding::Utf8Bom);
}

TEST_P(OpenAction, AHundredCharactersOfAnyWidthAreAccepted) {
    std::string e, euro;
    for (int i = 0; i < 100; ++i) e += "é", euro += "€";
    EXPECT_EQ(Run(e + "\r\n" + euro + "\r\n" + std::string(100, 'x')),
              (V{"x" + std::string(99, 'x'), e, euro}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_P(OpenAction, FileCheckIgnoresCaseAndPosition) {
    EXPECT_EQ(Run("k", "LIST.TXT"), V{"k"});
    EXPECT_EQ(Run("m", "x.txt.old"), V{"m"});
    EXPECT_TRUE(ui.messages.empty());
}

TEST_P(OpenAction, PathWithoutTxtReadsNothing) {
    Run("a", "first.txt");
    const WorkingTablePtr before = engine.rsUnique();
    ui.Clear();
    const std::string csv = File("list.csv", "z\r\n");
    ui.Answer(csv);
    engine.cmdOpen_Click();
    EXPECT_EQ(ui.log, (V{"ShowOpen", "DragWindow", "ProgressVisible=0"}));
    EXPECT_EQ(engine.strFileName(), csv);
    EXPECT_EQ(engine.rsUnique(), before);
    EXPECT_EQ(test::Rows(*engine.rsUnique()), V{"a"});
}

TEST_P(OpenAction, CancelShowsMessageAndChangesNothing) {
    Run("a", "first.txt");
    const WorkingTablePtr before = engine.rsUnique();
    ui.Clear();
    ui.Cancel();
    engine.cmdOpen_Click();
    EXPECT_EQ(ui.log, (V{"ShowOpen", "ProgressVisible=0", "Message"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "You have cancelled the process.");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(engine.strFileName(), PathOf("first.txt"));
    EXPECT_EQ(engine.rsUnique(), before);
}

TEST_P(OpenAction, MissingFileReportsError) {
    ui.Answer(PathOf("missing.txt"));
    engine.cmdOpen_Click();
    EXPECT_EQ(ui.log, (V{"ShowOpen", "ProgressValue=0", "ProgressMin=0", "ProgressMax=10001",
                         "ProgressVisible=1", "ProgressVisible=0", "Message"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Error);
    const std::string prefix = "Unable to open description file \r";
    EXPECT_EQ(ui.messages[0].text.substr(0, prefix.size()), prefix);
    EXPECT_GT(ui.messages[0].text.size(), prefix.size());
}

// A list is read, not written: a refusal says why a read may be refused.
const char* const kReadRefusal =
    "Permission denied (the file may be in use by another program, or you may not be allowed "
    "to read it): ";

TEST(ReadRefusal, SaysNothingOfReadOnly) {
    for (const int error : {EACCES, EPERM})
        EXPECT_EQ(FileError(error, "x.txt", false).Description(),
                  kReadRefusal + std::string("x.txt"));
}

#ifdef _WIN32
TEST_P(OpenAction, AListAnotherProgramHoldsIsRefusedAsInUse) {
    const std::string path = File("held.txt", "a\r\n");
    // Held as a program holds a file it shares with no one.
    const HANDLE held = ::CreateFileW(test::PathFromUtf8(path).c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ui.Answer(path);
    engine.cmdOpen_Click();
    ::CloseHandle(held);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Unable to open description file \r" + (kReadRefusal + path));
}
#endif

TEST_P(OpenAction, FailedRunLeavesThePreviousResultInForce) {
    EXPECT_EQ(Run("\xFF\xFE" + test::Utf16Bytes(u"b\r\na\r\nB", false), "first.txt"),
              (V{"a", "b"}));
    const WorkingTablePtr before = engine.rsUnique();
    ui.Clear();
    std::string bytes;
    for (int i = 1; i <= 11; ++i) bytes += "line " + std::to_string(i) + "\r\n";
    bytes += std::string(101, 'q') + "\r\nafter\r\n";
    Run(bytes, "second.txt");
    EXPECT_EQ(engine.rsUnique(), before);
    EXPECT_EQ(test::Rows(*engine.rsUnique()), (V{"a", "b"}));
    EXPECT_EQ(engine.ResultEncoding(), TextEncoding::Utf16LE);
    EXPECT_EQ(engine.strFileName(), PathOf("second.txt"));
    for (const auto& call : ui.log) {
        EXPECT_EQ(call.find("Actual="), std::string::npos) << call;
        EXPECT_EQ(call.find("Final="), std::string::npos) << call;
        EXPECT_EQ(call.find("Enabled"), std::string::npos) << call;
        EXPECT_NE(call, "DragWindow");
    }
    EXPECT_EQ(Tail(ui.log, 2), (V{"ProgressVisible=0", "Message"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(text.rfind("Unable to open description file \r", 0), 0u) << text;
    EXPECT_NE(text.find("12"), std::string::npos) << "line number: " << text;
    EXPECT_NE(text.find("100"), std::string::npos) << "limit: " << text;
}

TEST_P(OpenAction, RunningOutOfMemoryIsReportedAndKeepsThePreviousResult) {
    EXPECT_EQ(Run("b\na\n", "first.txt"), (V{"a", "b"}));
    const WorkingTablePtr before = engine.rsUnique();
    std::string bytes;
    for (int i = 0; i < 400000; ++i) bytes += "keyword phrase " + std::to_string(i) + "\n";
    ui.Clear();
    SetLargeMemoryLimit(std::size_t{8} << 20);
    Run(bytes, "large.txt");
    SetLargeMemoryLimit(0);
    EXPECT_EQ(engine.rsUnique(), before);
    EXPECT_EQ(test::Rows(*engine.rsUnique()), (V{"a", "b"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(ui.messages[0].text.rfind("Unable to open description file \rOut of memory", 0), 0u)
        << ui.messages[0].text;
    EXPECT_EQ(Tail(ui.log, 2), (V{"ProgressVisible=0", "Message"}));
    // With the memory back, the same list opens.
    ui.Clear();
    EXPECT_EQ(Run(bytes, "large.txt").size(), 400000u);
}

TEST_P(OpenAction, AnyFailureIsWordedByTheActionsOneHandler) {
    const std::exception_ptr failures[] = {std::make_exception_ptr(std::logic_error("broken")),
                                           std::make_exception_ptr(42)};
    for (const std::exception_ptr& failure : failures) {
        ui.dialogFailure = failure;
        engine.cmdOpen_Click();
        ui.dialogFailure = failure;
        engine.cmdSave_Click();
    }
    V texts;
    for (const auto& m : ui.messages) texts.push_back(m.text);
    EXPECT_EQ(texts, (V{"Unable to open description file \rbroken", "Unable to write file\rbroken",
                        "Unable to open description file \rInternal error",
                        "Unable to write file\rInternal error"}));
    EXPECT_FALSE(ui.progressVisible);
}

TEST_P(OpenAction, EachCompletedRunReplacesTheResult) {
    Run("a\r\nb", "one.txt");
    const WorkingTablePtr first = engine.rsUnique();
    EXPECT_EQ(Run("c\r\nC\r\nb", "two.txt"), (V{"b", "c"}));
    EXPECT_NE(engine.rsUnique(), first);
    EXPECT_EQ(ui.actualCaption, "Actual Keyword Phrases : 3");
}

// The bar moves one step a line; a value of 10000 or more goes back to 10 before the step: it
// runs from 1 to 10000, then from 11 to 10000 again and again.
TEST_P(OpenAction, ProgressWrapsFrom10000To11) {
    std::string bytes;
    for (int i = 0; i < 10003; ++i) bytes += "keyword " + std::to_string(i % 5000) + "\n";
    Run(bytes);
    const std::vector<float>& v = ui.progressValues;
    ASSERT_GE(v.size(), 3u);
    EXPECT_EQ(v[v.size() - 2], 13.0f);
    EXPECT_EQ(v.back(), 10001.0f);
    EXPECT_EQ(Tail(ui.Calls(), 6), Completed(10003, 5000));
    EXPECT_FALSE(ui.progressVisible);
}

TEST_P(OpenAction, ProgressOfALongListMovesOnAsItIsRead) {
    std::string bytes;
    constexpr int kLines = 600000;  // several megabytes: read and shown in several runs of lines
    for (int i = 0; i < kLines; ++i) bytes += "keyword phrase " + std::to_string(i % 250000) + "\n";
    Run(bytes);
    const std::vector<float>& v = ui.progressValues;
    ASSERT_GE(v.size(), 4u);
    EXPECT_EQ(v.front(), 0.0f);
    EXPECT_EQ(v.back(), 10001.0f);
    for (std::size_t i = 1; i + 1 < v.size(); ++i) EXPECT_TRUE(v[i] >= 1 && v[i] <= 10000) << v[i];
    // 10000 lines to the top; the other 590000 run from 11 round 59 cycles of 9990 steps, and
    // 590 steps into the next.
    EXPECT_EQ(v[v.size() - 2], 600.0f);
    EXPECT_EQ(Tail(ui.Calls(), 6), Completed(kLines, 250000));
}

// A failure of the worker threads, reading or sorting, is reported like any other; the
// previous result stays.
class ThreadFailure : public OpenAction {
  protected:
    // Opens a first list, then one large enough to be sorted on several threads, with the
    // given failure prepared; returns the message shown.
    std::string FailedRun(void (*prepare)(unsigned), unsigned nth) {
        EXPECT_EQ(Run("b\na\n", "first.txt"), (V{"a", "b"}));
        before = engine.rsUnique();
        std::string bytes;
        for (int i = 0; i < 120000; ++i) bytes += "keyword phrase " + std::to_string(i) + "\n";
        ui.Clear();
        prepare(nth);
        Run(bytes, "large.txt");
        prepare(0);
        EXPECT_EQ(engine.rsUnique(), before);
        EXPECT_EQ(test::Rows(*engine.rsUnique()), (V{"a", "b"}));
        EXPECT_EQ(engine.strFileName(), PathOf("large.txt"));
        for (const auto& call : ui.log) {
            EXPECT_EQ(call.find("Actual="), std::string::npos) << call;
            EXPECT_EQ(call.find("Final="), std::string::npos) << call;
            EXPECT_EQ(call.find("Enabled"), std::string::npos) << call;
        }
        EXPECT_EQ(Tail(ui.log, 2), (V{"ProgressVisible=0", "Message"}));
        EXPECT_FALSE(ui.progressVisible);
        if (ui.messages.size() != 1) return "<" + std::to_string(ui.messages.size()) + " messages>";
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Error);
        return ui.messages[0].text;
    }
    std::string OutOfMemory() const {
        return "Unable to open description file \rOut of memory while reading " +
               PathOf("large.txt") + ": the list is too large for the memory available.";
    }
    std::string NoResources() const {
        return "Unable to open description file \rNot enough system resources to read " +
               PathOf("large.txt") + ": " +
               std::make_error_code(std::errc::resource_unavailable_try_again).message();
    }
    WorkingTablePtr before;
};

TEST_P(ThreadFailure, AWorkerThatCannotStart) {
    const unsigned workers = GetParam();
    for (unsigned start = 1; start <= workers; ++start) {
        EXPECT_EQ(FailedRun(thread_group_testing::FailThreadStart, start), NoResources()) << start;
    }
}

TEST_P(ThreadFailure, AWorkerRunningOutOfMemory) {
    const unsigned workers = GetParam();
    for (unsigned job = 1; job <= workers; ++job)
        EXPECT_EQ(FailedRun(thread_group_testing::FailThreadJob, job), OutOfMemory()) << job;
}

// Helper threads start after the reading's workers, in rounds: one takes over the workers'
// texts, then two of the sort's count its keys and fill them in. (These keys all fall into one
// bucket, which the calling thread sorts.)
TEST_P(ThreadFailure, ASortHelperThatCannotStart) {
    const unsigned workers = GetParam();
    if (workers == 1) GTEST_SKIP() << "one worker sorts on the calling thread";
    for (unsigned helper = 1; helper <= 3 * (workers - 1); ++helper) {
        EXPECT_EQ(FailedRun(thread_group_testing::FailThreadStart, workers + helper), NoResources())
            << helper;
    }
}

TEST_P(ThreadFailure, ASortHelperRunningOutOfMemory) {
    const unsigned workers = GetParam();
    if (workers == 1) GTEST_SKIP() << "one worker sorts on the calling thread";
    for (unsigned helper = 1; helper <= 3 * (workers - 1); ++helper) {
        EXPECT_EQ(FailedRun(thread_group_testing::FailThreadJob, workers + helper), OutOfMemory())
            << helper;
    }
    // With the threads working again, the same list opens.
    ui.Clear();
    EXPECT_EQ(Run(test::ReadBytes(Dir() / "large.txt"), "large.txt").size(), 120000u);
    EXPECT_TRUE(ui.messages.empty());
}

const auto kWorkerCounts = ::testing::Values(1u, 2u, 3u, 4u);
std::string WorkerCountName(const ::testing::TestParamInfo<unsigned>& info) {
    return std::to_string(info.param) + "Workers";
}
INSTANTIATE_TEST_SUITE_P(Workers, OpenAction, kWorkerCounts, WorkerCountName);
INSTANTIATE_TEST_SUITE_P(Workers, ThreadFailure, kWorkerCounts, WorkerCountName);

}  // namespace
}  // namespace ostrel
