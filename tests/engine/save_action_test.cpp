// "Save" and "Save && Open": the written bytes in every encoding, the name rules, cancellation,
// failures that keep an existing target, and the Notepad command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/duplicate_engine.h"
#include "engine/thread_group.h"
#include "tests/engine/test_support.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace ostrel {
namespace {

using V = std::vector<std::string>;

// Bytes 0x80..0xFF are U+0400..U+047F: Cyrillic capitals and small letters as 8-bit text.
class CyrillicCodePage final : public CodePage {
  public:
    void ToUtf8(std::string_view bytes, std::string& utf8) const override {
        utf8.clear();
        for (unsigned char b : bytes) {
            if (b < 0x80) {
                utf8.push_back(static_cast<char>(b));
            } else {
                const unsigned c = 0x400 + (b - 0x80u);
                utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
                utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            }
        }
    }
    bool FromUtf8(std::string_view utf8, std::string& bytes) const override {
        bytes.clear();
        for (std::size_t i = 0; i < utf8.size(); ++i) {
            const auto b = static_cast<unsigned char>(utf8[i]);
            if (b < 0x80) {
                bytes.push_back(static_cast<char>(b));
                continue;
            }
            if (i + 1 >= utf8.size() || (b != 0xD0 && b != 0xD1)) return false;
            const unsigned c = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3Fu);
            if (c < 0x400 || c >= 0x480) return false;
            bytes.push_back(static_cast<char>(0x80 + (c - 0x400)));
        }
        return true;
    }
};

class SaveAction : public test::ScratchDir {
  protected:
    void Open(std::string_view bytes) {
        ui.Clear();
        ui.Answer(File("in.txt", bytes));
        engine.cmdOpen_Click();
        ASSERT_TRUE(ui.messages.empty());
        ui.Clear();
    }
    std::string Save(std::string_view name, bool andOpen = false) {
        ui.Answer(PathOf(name));
        andOpen ? engine.cmdSaveOpen_Click() : engine.cmdSave_Click();
        const test::fs::path written = Dir() / test::PathFromUtf8(name);
        std::error_code ec;
        return test::fs::is_regular_file(written, ec) ? test::ReadBytes(written) : "<no file>";
    }
    void ExpectMessage(std::string_view text, MessageIcon icon) {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, text);
        EXPECT_EQ(ui.messages[0].icon, icon);
    }
    // The one message of a failed save: the heading, a lone CR, then the reason.
    void ExpectWriteError(const std::string& reason) {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "Unable to write file\r" + reason);
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Error);
    }

    test::FakeUi ui;
    DuplicateEngine engine{ui};
};

TEST_F(SaveAction, WritesSortedUniqueLinesAndReportsSuccess) {
    Open("b\r\nRunning Shoes\r\na\r\nB\r\nrunning shoes");
    EXPECT_EQ(Save("out.txt"), "a\r\nb\r\nRunning Shoes\r\n");
    EXPECT_EQ(ui.log, (V{"ShowSave", "Message"}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "File saved successfully");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(ui.messages[0].title, "Ostrel");
    EXPECT_EQ(engine.strFileName(), PathOf("out.txt"));
    EXPECT_FALSE(engine.blnSaveCancelled());
    EXPECT_EQ(Save("again.txt"), "a\r\nb\r\nRunning Shoes\r\n");
}

TEST_F(SaveAction, TxtIsAppendedToTheNameAsTypedWhenMissing) {
    Open("k");
    Save("Result");
    EXPECT_EQ(engine.strFileName(), PathOf("Result") + ".txt");
    Save("KEEP.TXT");
    Save("list.txt.bak");
    Save("Other.Txt");
    EXPECT_EQ(Listing(), (V{"KEEP.TXT", "Other.Txt", "Result.txt", "in.txt", "list.txt.bak"}));
    EXPECT_EQ(test::ReadBytes(Dir() / "Result.txt"), "k\r\n");
}

// The dialog asked about the name it gave back; a file that only the ".txt" rule names is
// replaced when the user says so, and No is a cancelled save.
TEST_F(SaveAction, AFileThatOnlyTheTxtRuleNamesIsReplacedOnlyOnYes) {
    Open("k");
    test::WriteBytes(Dir() / "list.csv.txt", "old\r\n");
    ui.replies = {false};
    Save("list.csv", true);
    EXPECT_EQ(ui.questions, V{"list.csv.txt already exists. Do you want to replace it?"});
    EXPECT_EQ(ui.log, (V{"ShowSave", "Question", "Message"}));
    ExpectMessage("The Process was cancelled.", MessageIcon::Information);
    EXPECT_TRUE(engine.blnSaveCancelled());
    EXPECT_EQ(test::ReadBytes(Dir() / "list.csv.txt"), "old\r\n");

    ui.Clear();
    ui.replies = {true};
    Save("list.csv", true);
    EXPECT_EQ(ui.log, (V{"ShowSave", "Question", "Message", "StartProgram"}));
    EXPECT_EQ(test::ReadBytes(Dir() / "list.csv.txt"), "k\r\n");
    EXPECT_EQ(Listing(), (V{"in.txt", "list.csv.txt"}));
}

TEST_F(SaveAction, CancelWritesNothingAndSaveAndOpenStartsNothing) {
    Open("k");
    ui.Cancel();
    engine.cmdSaveOpen_Click();
    EXPECT_EQ(ui.log, (V{"ShowSave", "Message"}));
    ExpectMessage("The Process was cancelled.", MessageIcon::Information);
    EXPECT_TRUE(engine.blnSaveCancelled());
    EXPECT_EQ(engine.strFileName(), PathOf("in.txt"));
    EXPECT_EQ(Listing(), V{"in.txt"});
    ui.Clear();
    Save("out.txt");
    EXPECT_FALSE(engine.blnSaveCancelled());
}

TEST_F(SaveAction, SaveAndOpenStartsNotepadOnTheQuotedPath) {
    Open("k");
    test::fs::create_directory(Dir() / "with spaces");
    EXPECT_EQ(Save("with spaces/x y", true), "<no file>");  // written as "x y.txt"
    EXPECT_EQ(ui.log, (V{"ShowSave", "Message", "StartProgram"}));
    EXPECT_EQ(ui.messages.at(0).text, "File saved successfully");
    ASSERT_EQ(ui.started.size(), 1u);
    EXPECT_EQ(ui.started[0].first, "notepad \"" + PathOf("with spaces/x y") + ".txt\"");
    EXPECT_EQ(ui.started[0].second, 3);  // maximised, with the focus
    EXPECT_EQ(test::ReadBytes(Dir() / "with spaces" / "x y.txt"), "k\r\n");
}

TEST_F(SaveAction, FailedSaveKeepsAnExistingTargetAndStartsNothing) {
    Open("k");
    test::fs::create_directory(Dir() / "out.txt");
    test::WriteBytes(Dir() / "out.txt" / "inside.txt", "old");
    Save("out.txt", true);
    ExpectWriteError("This is a folder, not a file: " + PathOf("out.txt"));
    EXPECT_TRUE(ui.started.empty());
    EXPECT_EQ(Listing(), (V{"in.txt", "out.txt"}));  // no temporary file left behind
    EXPECT_EQ(test::ReadBytes(Dir() / "out.txt" / "inside.txt"), "old");
    ui.Clear();
    Save("no such folder/out.txt", true);
    ExpectWriteError("Path not found: " + PathOf("no such folder/out.txt"));
    EXPECT_TRUE(ui.started.empty());
    EXPECT_FALSE(engine.blnSaveCancelled());
}

TEST_F(SaveAction, ANameTheSystemRefusesIsReported) {
    Open("k");
    const std::string name = std::string(300, 'n') + ".txt";  // longer than any file system takes
    Save(name, true);
#ifdef _WIN32
    // The reason varies between Windows and Wine; it follows the heading and its lone CR.
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string heading = "Unable to write file\r";
    const std::string& text = ui.messages[0].text;
    EXPECT_EQ(text.substr(0, heading.size()), heading) << text;
    EXPECT_NE(text.substr(heading.size(), 1), "\n") << text;
    EXPECT_NE(text.find(PathOf(name)), std::string::npos) << text;
#else
    ExpectWriteError("The file name is too long: " + PathOf(name));
#endif
    EXPECT_TRUE(ui.started.empty());
    EXPECT_EQ(Listing(), (V{"in.txt"}));
}

const char* const kReadOnlyRefusal =
    "Permission denied (the file may be read-only or in use by another program): ";

#ifdef _WIN32
TEST_F(SaveAction, AReadOnlyTargetIsRefusedAndKept) {
    Open("k");
    const test::fs::path target = Dir() / "old.txt";
    test::WriteBytes(target, "old\r\n");
    test::fs::permissions(target, test::fs::perms::owner_read | test::fs::perms::group_read |
                                      test::fs::perms::others_read);
    // The read-only attribute stops even an administrator from replacing the file.
    Save("old.txt", true);
    ExpectWriteError(kReadOnlyRefusal + PathOf("old.txt"));
    EXPECT_TRUE(ui.started.empty());
    EXPECT_EQ(test::ReadBytes(target), "old\r\n");
    EXPECT_EQ(Listing(), (V{"in.txt", "old.txt"}));
    test::fs::permissions(target, test::fs::perms::owner_all);
}
#else
// The save of one name, made by a child process as an unprivileged user (what setpriv
// --reuid=65534 --regid=65534 --clear-groups does) when the tests run as root, to whom every
// file is writable. Gives the message shown, or what went wrong in the child.
std::string SaveAsUnprivilegedUser(DuplicateEngine& engine, test::FakeUi& ui,
                                   const std::string& path) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return "<no pipe>";
    const pid_t child = fork();
    if (child < 0) return "<no child process>";
    if (child == 0) {
        close(pipeEnds[0]);
        std::string report;
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                               setresuid(65534, 65534, 65534) != 0)) {
            report = "<cannot drop privileges>";
        } else if (std::FILE* f = std::fopen(path.c_str(), "ab")) {
            std::fclose(f);
            report = "<the target is writable to the child: nothing is tried>";
        } else {
            ui.Answer(path);
            engine.cmdSave_Click();
            report = ui.messages.size() == 1 ? ui.messages[0].text
                                             : std::to_string(ui.messages.size()) + " messages";
        }
        const ssize_t written = write(pipeEnds[1], report.data(), report.size());
        _exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(n));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) report += " <the child failed>";
    return report;
}

TEST_F(SaveAction, AReadOnlyTargetIsRefusedAndKept) {
    Open("k");
    const test::fs::path target = Dir() / "old.txt";
    test::WriteBytes(target, "old\r\n");
    test::fs::permissions(target, test::fs::perms::owner_read | test::fs::perms::group_read |
                                      test::fs::perms::others_read);
    // The folder is the unprivileged user's, so that only the target's own mode stands in the
    // way: without the refusal, the new file would be renamed over it.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(Dir().c_str(), 65534, 65534), 0);
        ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
    }
    EXPECT_EQ(SaveAsUnprivilegedUser(engine, ui, PathOf("old.txt")),
              "Unable to write file\r" + (kReadOnlyRefusal + PathOf("old.txt")));
    EXPECT_EQ(test::ReadBytes(target), "old\r\n");
    EXPECT_EQ(Listing(), (V{"in.txt", "old.txt"}));  // no temporary file left behind
}
#endif

// A result of several buffers is written on a thread of its own while the next is filled; where
// no thread can start, on the saving one. Both give every line, in order.
TEST_F(SaveAction, ALargeResultIsWrittenWholeWithOrWithoutAWritingThread) {
    std::string list;
    std::vector<std::string> lines;
    for (int i = 0; i < 300000; ++i) {
        lines.push_back("phrase " + std::to_string(i * 7919LL % 300000));
        list += lines.back() + "\n";
    }
    std::sort(lines.begin(), lines.end());
    std::string expected;
    for (const std::string& line : lines) expected += line + "\r\n";
    Open(list);
    EXPECT_EQ(Save("out.txt"), expected);
    ui.Clear();
    thread_group_testing::FailThreadStart(1);
    EXPECT_EQ(Save("alone.txt"), expected);
    thread_group_testing::FailThreadStart(0);
    ExpectMessage("File saved successfully", MessageIcon::Information);
}

#ifndef _WIN32
// A file-size limit makes writes fail part-way, as a full disk does.
TEST_F(SaveAction, AWriteThatFailsPartWayKeepsTheOldFile) {
    std::string list;
    for (int i = 0; i < 200000; ++i) list += "phrase " + std::to_string(i) + "\n";
    Open(list);
    test::WriteBytes(Dir() / "out.txt", "old\r\n");
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 1 << 20;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    Save("out.txt", true);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ExpectWriteError("File too large: " + PathOf("out.txt"));
    EXPECT_TRUE(ui.started.empty());
    EXPECT_EQ(test::ReadBytes(Dir() / "out.txt"), "old\r\n");
    EXPECT_EQ(Listing(), (V{"in.txt", "out.txt"}));  // the partial temporary file is gone
}
#endif

TEST_F(SaveAction, AFolderNobodyMayWriteInIsReportedByItsName) {
    // The kernel's own folder refuses new files even to an administrator (under Wine too,
    // through drive Z:).
#ifdef _WIN32
    const std::string folder = "Z:\\sys";
    const std::string target = folder + "\\ostrel-result.txt";
#else
    const std::string folder = "/sys";
    const std::string target = folder + "/ostrel-result.txt";
#endif
    Open("k");
    ui.Answer(target);
    engine.cmdSaveOpen_Click();
    ExpectWriteError("Permission denied (the folder may be read-only or not allow new files): " +
                     folder);
    EXPECT_TRUE(ui.started.empty());
}

TEST_F(SaveAction, NoUniqueLinesWritesAnEmptyFile) {
    Open("  \r\n\r\n");
    EXPECT_EQ(Save("out.txt"), "");
    ExpectMessage("File saved successfully", MessageIcon::Information);
    Open("\xEF\xBB\xBF   \r\n");
    EXPECT_EQ(Save("bom.txt"), "\xEF\xBB\xBF");
    Open("\xFE\xFF");
    EXPECT_EQ(Save("be.txt", true), "\xFE\xFF");
    EXPECT_EQ(ui.started.size(), 1u);
}

TEST_F(SaveAction, EveryEncodingIsWrittenBackByteForByte) {
    const std::u16string in = u"b\r  Running Shoes \né€😀\r\nrunning shoes\r\n\r\n   \nA\ra\t\r\na";
    const std::u16string out = u"A\r\na\t\r\nb\r\nRunning Shoes\r\né€😀\r\n";
    std::string inUtf8, outUtf8;
    for (auto [from, to] : {std::pair{&in, &inUtf8}, std::pair{&out, &outUtf8}})
        for (std::size_t i = 0; i < from->size(); ++i) {
            const char16_t c = (*from)[i];
            if (c < 0x80)
                *to += static_cast<char>(c);
            else if (c == u'é')
                *to += "\xC3\xA9";
            else if (c == u'€')
                *to += "\xE2\x82\xAC";
            else
                *to += "\xF0\x9F\x98\x80", ++i;  // the surrogate pair of 😀
        }
    const struct {
        std::string input, output;
        TextEncoding encoding;
    } cases[] = {
        {inUtf8, outUtf8, TextEncoding::Utf8},
        {"\xEF\xBB\xBF" + inUtf8, "\xEF\xBB\xBF" + outUtf8, TextEncoding::Utf8Bom},
        {"\xFF\xFE" + test::Utf16Bytes(in, false), "\xFF\xFE" + test::Utf16Bytes(out, false),
         TextEncoding::Utf16LE},
        {"\xFE\xFF" + test::Utf16Bytes(in, true), "\xFE\xFF" + test::Utf16Bytes(out, true),
         TextEncoding::Utf16BE},
    };
    for (const auto& c : cases) {
        Open(c.input);
        EXPECT_EQ(engine.ResultEncoding(), c.encoding);
        EXPECT_EQ(Save("out.txt"), c.output) << "encoding " << static_cast<int>(c.encoding);
    }
}

TEST_F(SaveAction, Windows1252TextIsWrittenBackByteForByte) {
    std::string high1, high2;
    for (int b = 0x80; b < 0xC0; ++b) high1.push_back(static_cast<char>(b));
    for (int b = 0xC0; b <= 0xFF; ++b) high2.push_back(static_cast<char>(b));
    Open(high1 + "\r\nb\nCAF\xC9 \r  caf\xE9\r\n" + high2 + "\r\n\xE0" + high2.substr(1) + "\r\nA");
    EXPECT_EQ(engine.ResultEncoding(), TextEncoding::Ansi);
    EXPECT_EQ(Save("out.txt"), "A\r\nb\r\nCAF\xC9\r\n" + high2 + "\r\n" + high1 + "\r\n");
}

TEST_F(SaveAction, TheCodePagePassedInReadsAndWrites) {
    CyrillicCodePage cyrillic;
    DuplicateEngine withCyrillic(ui, cyrillic);
    ui.Answer(File("in.txt", "\x90\r\nz\r\n\xB0"));  // А, z, а: А and а are one phrase here
    withCyrillic.cmdOpen_Click();
    EXPECT_EQ(ui.finalCaption, "Final Keyword Phrases : 2");
    ui.Answer(PathOf("out.txt"));
    withCyrillic.cmdSave_Click();
    EXPECT_EQ(test::ReadBytes(Dir() / "out.txt"), "z\r\n\x90\r\n");
}

}  // namespace
}  // namespace ostrel
