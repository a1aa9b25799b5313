// Lists and paths that do not look like a keyword list: binary data, nothing but blank lines, a
// line without a line end, a line of 50 MB, a file gone before it is read, a target folder that
// does not exist, and names outside the ANSI code page. Each gives the right result or one clear
// error that leaves the previous result in force; nothing crashes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/duplicate_engine.h"
#include "tests/engine/test_support.h"

namespace ostrel {
namespace {

using V = std::vector<std::string>;

class HostileInput : public test::ScratchDir {
  protected:
    // A small result is in force before every hostile run, so that a refusal can be seen to
    // keep it.
    void OpenPrevious() {
        ui.Clear();
        Open(File("previous.txt", "Previous\r\nprevious\r\n"));
        ASSERT_TRUE(ui.messages.empty());
        ASSERT_EQ(test::Rows(*engine.rsUnique()), V{"Previous"});
        ui.Clear();
    }
    void Open(const std::string& path) {
        ui.Answer(path);
        engine.cmdOpen_Click();
    }
    std::string Save(const std::string& path) {
        ui.Clear();
        ui.Answer(path);
        engine.cmdSave_Click();
        return ui.messages.size() == 1 ? ui.messages[0].text
                                       : "<" + std::to_string(ui.messages.size()) + " messages>";
    }
    // The one error message of a refused run; the previous result, its counts and the buttons
    // are as they were.
    std::string Refusal() {
        EXPECT_EQ(test::Rows(*engine.rsUnique()), V{"Previous"});
        EXPECT_EQ(ui.actualCaption, "Actual Keyword Phrases : 2");
        EXPECT_EQ(ui.finalCaption, "Final Keyword Phrases : 1");
        for (const auto& call : ui.log) EXPECT_NE(call, "DragWindow");
        EXPECT_FALSE(ui.progressVisible);
        if (ui.messages.size() != 1) {
            ADD_FAILURE() << ui.messages.size() << " messages instead of one";
            return "";
        }
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Error);
        const std::string& text = ui.messages[0].text;
        EXPECT_EQ(text.rfind("Unable to open description file \r", 0), 0u) << text;
        return text;
    }

    test::FakeUi ui;
    DuplicateEngine engine{ui};
};

// 64 KB of random bytes, NULs included, read as Windows-1252, as UTF-8 after a mark or as
// UTF-16: with short lines the result survives a save and a second reading unchanged; with
// overlong lines or an odd byte count the list is refused with one message naming the file.
TEST_F(HostileInput, BinaryDataRenamedToTxt) {
    std::mt19937 rng(7);
    // Random bytes with runs of NULs; with breakEvery, a line feed at least that often.
    auto randomBytes = [&](std::size_t n, std::size_t breakEvery) {
        std::string s;
        for (std::size_t i = 1; i <= n; ++i) {
            s += static_cast<char>(rng() & 0xFF);
            if (i % 997 == 0) s.append(3, '\0');
            if (breakEvery && i % breakEvery == 0) s += '\n';
        }
        return s;
    };
    // Random UTF-16 units (unpaired surrogates and NULs among them), a line feed unit every
    // 30 units.
    auto randomUnits = [&](std::size_t n, bool bigEndian) {
        std::u16string units;
        for (std::size_t i = 1; i <= n; ++i)
            units += i % 30 == 0 ? u'\n' : static_cast<char16_t>(rng());
        return test::Utf16Bytes(units, bigEndian);
    };
    struct Case {
        std::string bytes;
        bool accepted;
    };
    const Case cases[] = {
        {randomBytes(64 * 1024, 0), false},                           // Windows-1252, long lines
        {randomBytes(64 * 1024, 40), true},                           // the same, short lines
        {"\xEF\xBB\xBF" + randomBytes(64 * 1024, 40), true},          // marked UTF-8, malformed
        {"\xFF\xFE" + randomBytes(64 * 1024, 0), false},              // UTF-16, long lines
        {"\xFF\xFE" + randomUnits(32 * 1024, false), true},           // UTF-16, short lines
        {"\xFE\xFF" + randomUnits(32 * 1024, true) + "\x01", false},  // an odd byte count
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        OpenPrevious();
        const std::string path = File("binary.txt", cases[i].bytes);
        Open(path);
        if (!cases[i].accepted) {
            EXPECT_NE(Refusal().find(path), std::string::npos);
            continue;
        }
        ASSERT_TRUE(ui.messages.empty()) << ui.messages[0].text;
        const V rows = test::Rows(*engine.rsUnique());
        EXPECT_GT(rows.size(), 100u);
        const std::string final = ui.finalCaption;
        EXPECT_EQ(final, FinalRowCountCaption(rows.size()));
        ASSERT_EQ(Save(PathOf("saved.txt")), "File saved successfully");
        const std::string saved = test::ReadBytes(Dir() / "saved.txt");
        ui.Clear();
        Open(PathOf("saved.txt"));
        ASSERT_TRUE(ui.messages.empty()) << ui.messages[0].text;
        EXPECT_EQ(test::Rows(*engine.rsUnique()), rows);
        EXPECT_EQ(ui.finalCaption, final);
        EXPECT_EQ(ui.actualCaption, ActualRowCountCaption(rows.size()));
        ASSERT_EQ(Save(PathOf("again.txt")), "File saved successfully");
        EXPECT_EQ(test::ReadBytes(Dir() / "again.txt"), saved);
    }
}

TEST_F(HostileInput, BlankLinesOnly) {
    OpenPrevious();
    Open(File("blank.txt", "\r\n\n\r   \r\n \r\r\n\n  "));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(test::Rows(*engine.rsUnique()), V{});
    EXPECT_EQ(ui.actualCaption, "Actual Keyword Phrases : 0");
    EXPECT_EQ(ui.finalCaption, "Final Keyword Phrases : 0");
    EXPECT_EQ(Save(PathOf("out.txt")), "File saved successfully");
    EXPECT_EQ(test::ReadBytes(Dir() / "out.txt"), "");

    Open(File("blank16.txt", "\xFF\xFE" + test::Utf16Bytes(u" \r\n\r\n  ", false)));
    EXPECT_EQ(ui.finalCaption, "Final Keyword Phrases : 0");
    EXPECT_EQ(Save(PathOf("out16.txt")), "File saved successfully");
    EXPECT_EQ(test::ReadBytes(Dir() / "out16.txt"), "\xFF\xFE");
}

TEST_F(HostileInput, OneLineWithoutLineEnd) {
    Open(File("one.txt", "  only phrase  "));
    EXPECT_EQ(test::Rows(*engine.rsUnique()), V{"only phrase"});
    EXPECT_EQ(ui.actualCaption, "Actual Keyword Phrases : 1");
    EXPECT_EQ(Save(PathOf("out.txt")), "File saved successfully");
    EXPECT_EQ(test::ReadBytes(Dir() / "out.txt"), "only phrase\r\n");

    Open(File("one16.txt", "\xFE\xFF" + test::Utf16Bytes(u"\u0416", true)));
    EXPECT_EQ(test::Rows(*engine.rsUnique()), V{"Ж"});
    EXPECT_EQ(Save(PathOf("out16.txt")), "File saved successfully");
    EXPECT_EQ(test::ReadBytes(Dir() / "out16.txt"), std::string("\xFE\xFF\x04\x16\x00\r\x00\n", 8));
}

// 50 MB of 'x' with no line end after two good lines: refused with its line number; the
// previous result stays.
TEST_F(HostileInput, FiftyMegabyteLineIsRefusedWithItsNumber) {
    OpenPrevious();
    const std::string path = PathOf("huge.txt");
    {
        std::ofstream out(test::PathFromUtf8(path), std::ios::binary);
        out << "first\r\nsecond\r\n";
        const std::string chunk(1 << 20, 'x');
        for (int i = 0; i < 50; ++i)
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        ASSERT_TRUE(out.good());
    }
    Open(path);
    const std::string text = Refusal();
    EXPECT_NE(text.find("Line 3 of " + path), std::string::npos) << text;
    EXPECT_NE(text.find("100"), std::string::npos) << text;
}

// 50 MB of spaces around a short phrase are trimmed away, however many blocks they span.
TEST_F(HostileInput, FiftyMegabytesOfSpacesAroundAPhrase) {
    const std::string path = PathOf("spaces.txt");
    {
        std::ofstream out(test::PathFromUtf8(path), std::ios::binary);
        const std::string chunk(1 << 20, ' ');
        for (int i = 0; i < 25; ++i)
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        out << "a  phrase";
        for (int i = 0; i < 25; ++i)
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        out << "\r\nA  PHRASE";
        ASSERT_TRUE(out.good());
    }
    Open(path);
    ASSERT_TRUE(ui.messages.empty()) << ui.messages[0].text;
    EXPECT_EQ(test::Rows(*engine.rsUnique()), V{"a  phrase"});
    EXPECT_EQ(ui.actualCaption, "Actual Keyword Phrases : 2");
}

// The dialog names a file that is gone by the time it is read.
TEST_F(HostileInput, FileGoneBeforeItIsRead) {
    OpenPrevious();
    const WorkingTablePtr before = engine.rsUnique();
    const std::string path = PathOf("gone.txt");
    Open(path);
    EXPECT_EQ(Refusal(), "Unable to open description file \rFile not found: " + path);
    EXPECT_EQ(engine.rsUnique(), before);
    EXPECT_EQ(engine.strFileName(), path);
}

TEST_F(HostileInput, TargetFolderDoesNotExist) {
    Open(File("list.txt", "b\r\na\r\n"));
    ASSERT_EQ(Save(PathOf("kept.txt")), "File saved successfully");
    const V before = Listing();

    const std::string target = test::Utf8(Dir() / "no such folder" / "out.txt");
    const std::string text = Save(target);
    EXPECT_EQ(text, "Unable to write file\rPath not found: " + target);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(test::ReadBytes(Dir() / "kept.txt"), "a\r\nb\r\n");
    EXPECT_EQ(test::Rows(*engine.rsUnique()), (V{"a", "b"}));
}

// Folder and file names in Cyrillic and Chinese, which no single ANSI code page holds.
TEST_F(HostileInput, NamesOutsideTheAnsiCodePage) {
    const test::fs::path folder = Dir() / test::fs::path(u8"Ключевые слова 关键词");
    test::fs::create_directories(folder);
    const std::string list = test::Utf8(folder / test::fs::path(u8"список 列表.txt"));
    test::WriteBytes(test::PathFromUtf8(list), "b\r\nÄpfel\r\näpfel\r\nB\r\n");
    Open(list);
    ASSERT_TRUE(ui.messages.empty()) << ui.messages[0].text;
    EXPECT_EQ(engine.strFileName(), list);
    EXPECT_EQ(test::Rows(*engine.rsUnique()), (V{"b", "Äpfel"}));

    const std::string typed = test::Utf8(folder / test::fs::path(u8"результат 结果"));
    EXPECT_EQ(Save(typed), "File saved successfully");
    EXPECT_EQ(engine.strFileName(), typed + ".txt");
    EXPECT_EQ(test::ReadBytes(folder / test::fs::path(u8"результат 结果.txt")), "b\r\nÄpfel\r\n");

    const std::string gone = test::Utf8(folder / test::fs::path(u8"нет 没有.txt"));
    ui.Clear();
    Open(gone);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Unable to open description file \rFile not found: " + gone);
}

}  // namespace
}  // namespace ostrel
