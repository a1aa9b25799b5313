// The line rule, whatever the path a line takes through the reader: in every encoding and with
// every line end, a long line at the start, in the middle, across a chunk end and longer than a
// chunk. Spaces around a phrase, of any length, are trimmed away; a phrase over the limit is
// refused with its line number, however its length is made up, spaces inside it included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/duplicate_engine.h"
#include "engine/text/code_page.h"
#include "engine/text/utf.h"
#include "tests/engine/test_support.h"

namespace ostrel {
namespace {

using V = std::vector<std::string>;

enum class Enc { Utf8, Utf8Bom, Utf16LE, Utf16BE, Utf32LE, Utf32BE, CodePage };

const char* Name(Enc e) {
    switch (e) {
        case Enc::Utf8:
            return "UTF-8";
        case Enc::Utf8Bom:
            return "UTF-8 BOM";
        case Enc::Utf16LE:
            return "UTF-16 LE";
        case Enc::Utf16BE:
            return "UTF-16 BE";
        case Enc::Utf32LE:
            return "UTF-32 LE";
        case Enc::Utf32BE:
            return "UTF-32 BE";
        case Enc::CodePage:
            return "code page";
    }
    return "";
}

// UTF-8 text as the bytes of a file in the given encoding, with its byte-order mark.
std::string Encode(const std::string& utf8, Enc e) {
    if (e == Enc::Utf8) return utf8;
    if (e == Enc::Utf8Bom) return "\xEF\xBB\xBF" + utf8;
    if (e == Enc::CodePage) {
        std::string bytes;
        EXPECT_TRUE(Windows1252().FromUtf8(utf8, bytes));
        return bytes;
    }
    const bool big = e == Enc::Utf16BE || e == Enc::Utf32BE;
    const std::size_t width = e == Enc::Utf16LE || e == Enc::Utf16BE ? 2 : 4;
    std::u32string units{0xFEFF};
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        EXPECT_TRUE(DecodeUtf8(utf8, i, c));
        if (width == 2 && c >= 0x10000) {
            units.push_back(0xD800 + ((c - 0x10000) >> 10));
            units.push_back(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            units.push_back(c);
        }
    }
    return test::CodeUnitBytes(units, width, big);
}

class LineRule : public test::ScratchDir {
  protected:
    void OpenPrevious() {
        ui.Clear();
        ui.Answer(File("previous.txt", "Previous\r\n"));
        engine.cmdOpen_Click();
        ASSERT_TRUE(ui.messages.empty());
        ui.Clear();
    }
    // Opens a list made of the lines given, in the encoding and with the line end given.
    void OpenList(const V& lines, Enc e, const std::string& lineEnd) {
        ui.Clear();
        std::string text;
        for (const auto& l : lines) text += l + lineEnd;
        ui.Answer(File("list.txt", Encode(text, e)));
        engine.cmdOpen_Click();
    }

    test::FakeUi ui;
    DuplicateEngine engine{ui};
};

// Lines that put the line of interest at the start, in the middle, across the end of the
// first chunk (chunks are 64 KB for lists of this size), and make it longer than a chunk.
struct Placement {
    const char* name;
    std::size_t fillerBefore;  // lines of filler before the line
    std::size_t spaces;        // the run of spaces in or around it
};
const Placement kPlacements[] = {
    {"at the start", 0, 300},
    {"in the middle", 40, 300},
    {"across a chunk end", 65536 / 8 - 20, 300},
    {"longer than a chunk", 3, 200000},
};
const char* const kLineEnds[] = {"\r\n", "\n", "\r"};
const Enc kEncodings[] = {Enc::Utf8,    Enc::Utf8Bom, Enc::Utf16LE, Enc::Utf16BE,
                          Enc::Utf32LE, Enc::Utf32BE, Enc::CodePage};

V Filler(std::size_t n) {
    V lines;
    for (std::size_t i = 0; i < n; ++i) lines.push_back("kw " + std::to_string(i % 5) + " é");
    return lines;
}

TEST_F(LineRule, SpacesInsideAPhraseOverTheLimitGetItRefusedWithItsNumber) {
    for (const Enc e : kEncodings)
        for (const char* lineEnd : kLineEnds)
            for (const Placement& at : kPlacements) {
                SCOPED_TRACE(std::string(Name(e)) + ", " + at.name + ", line end " +
                             (lineEnd[0] == '\n' ? "LF"
                              : lineEnd[1]       ? "CR LF"
                                                 : "CR"));
                OpenPrevious();
                V lines = Filler(at.fillerBefore);
                lines.push_back("red shoes" + std::string(at.spaces, ' ') + "size 9");
                lines.push_back("red shoes");
                OpenList(lines, e, lineEnd);
                if (ui.messages.size() != 1) {
                    ADD_FAILURE() << ui.messages.size() << " messages";
                    continue;
                }
                const std::string& text = ui.messages[0].text;
                EXPECT_EQ(text.rfind("Unable to open description file \r", 0), 0u) << text;
                EXPECT_NE(text.find("Line " + std::to_string(at.fillerBefore + 1) + " of "),
                          std::string::npos)
                    << text;
                EXPECT_EQ(test::Rows(*engine.rsUnique()), V{"Previous"});
            }
}

TEST_F(LineRule, SpacesAroundAPhraseAreTrimmedAwayWhateverTheirLength) {
    for (const Enc e : kEncodings)
        for (const char* lineEnd : kLineEnds)
            for (const Placement& at : kPlacements) {
                SCOPED_TRACE(std::string(Name(e)) + ", " + at.name + ", line end " +
                             (lineEnd[0] == '\n' ? "LF"
                              : lineEnd[1]       ? "CR LF"
                                                 : "CR"));
                V lines = Filler(at.fillerBefore);
                const std::string pad(at.spaces, ' ');
                lines.push_back(pad + "red  shoes é" + pad);
                lines.push_back(pad);
                lines.push_back("RED  SHOES É");
                OpenList(lines, e, lineEnd);
                if (!ui.messages.empty()) {
                    ADD_FAILURE() << ui.messages[0].text;
                    continue;
                }
                V expected;
                for (std::size_t i = 0; i < std::min<std::size_t>(at.fillerBefore, 5); ++i)
                    expected.push_back("kw " + std::to_string(i) + " é");
                expected.push_back("red  shoes é");
                EXPECT_EQ(test::Rows(*engine.rsUnique()), expected);
                EXPECT_EQ(ui.actualCaption,
                          "Actual Keyword Phrases : " + std::to_string(at.fillerBefore + 2));
            }
}

// Exactly at the limit, spaces inside count as characters and spaces around do not.
TEST_F(LineRule, TheLimitCountsCharactersInsideAndNotAround) {
    for (const Enc e : kEncodings) {
        SCOPED_TRACE(Name(e));
        const std::string hundred = "é" + std::string(98, ' ') + "b";  // 100 characters
        OpenList({"   " + hundred + "      "}, e, "\r\n");
        EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
        if (ui.messages.empty()) {
            EXPECT_EQ(test::Rows(*engine.rsUnique()), V{hundred});
        }
        OpenPrevious();
        OpenList({"a", "é" + std::string(99, ' ') + "b"}, e, "\r\n");
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].text.find("Line 2 of "), std::string::npos) << ui.messages[0].text;
        EXPECT_EQ(test::Rows(*engine.rsUnique()), V{"Previous"});
    }
}

// A phrase in a line longer than a chunk crosses the chunk's end, and is judged on the part of
// it held: that part must reach past the limit, whatever the width of the characters at the
// chunk's end and wherever in the phrase it falls.
TEST_F(LineRule, APhraseAcrossAChunkEndIsJudgedAtTheExactLimit) {
    // The first chunk of a list this size: the four bytes read for a byte-order mark, then 64 KiB.
    constexpr std::size_t kChunkEnd = 4 + 65536;
    for (const std::string character : {"a", "é", "€", "😀"}) {
        const std::size_t width = character.size();
        for (const std::size_t count : {100, 101}) {
            std::string phrase;
            for (std::size_t i = 0; i < count; ++i) phrase += character;
            // Bytes of the phrase before the chunk's end: its first and its last character cut
            // at each of their bytes.
            std::vector<std::size_t> cuts;
            for (std::size_t k = 1; k <= width; ++k) {
                cuts.push_back(k);
                cuts.push_back(phrase.size() - width + k);
            }
            for (const std::size_t cut : cuts) {
                SCOPED_TRACE(std::to_string(count) + " x " + character + ", " +
                             std::to_string(cut) + " bytes before the chunk's end");
                ui.Clear();
                ui.Answer(
                    File("list.txt", std::string(kChunkEnd - cut, ' ') + phrase + "\r\nnext\r\n"));
                engine.cmdOpen_Click();
                if (count == 100) {
                    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
                    EXPECT_EQ(test::Rows(*engine.rsUnique()),
                              (phrase < "next" ? V{phrase, "next"} : V{"next", phrase}));
                } else {
                    ASSERT_EQ(ui.messages.size(), 1u);
                    EXPECT_NE(ui.messages[0].text.find("Line 1 of "), std::string::npos)
                        << ui.messages[0].text;
                }
            }
        }
    }
}

// In a list marked UTF-8, each byte that is part of no character counts as one, as the code
// page would read it; it is kept as it is, and sorts by its value among the bytes of the text.
TEST_F(LineRule, BytesThatAreNotUtf8CountOneEach) {
    std::string stray;  // 150 bytes: lead bytes cut short, and bytes that UTF-8 never has
    for (int i = 0; i < 50; ++i) stray += "\xE2\x82\xFF";
    OpenPrevious();
    OpenList({"a", stray}, Enc::Utf8Bom, "\r\n");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("Line 2 of "), std::string::npos) << ui.messages[0].text;
    OpenList({stray.substr(0, 99) + "\x80", "b\xFF", "b\x80", "bé"}, Enc::Utf8Bom, "\r\n");
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
    EXPECT_EQ(test::Rows(*engine.rsUnique()),
              (V{"b\x80", "bé", "b\xFF", stray.substr(0, 99) + "\x80"}));
}

}  // namespace
}  // namespace ostrel
