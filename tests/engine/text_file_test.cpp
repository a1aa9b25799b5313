// Reading and writing text files: line ends, trimming, encodings, the 8-bit code page, and the
// replace-when-complete write.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/failure.h"
#include "engine/order/phrase_order.h"
#include "engine/text/code_page.h"
#include "engine/text/line_scanner.h"
#include "engine/text/text_file.h"
#include "engine/text/text_file_writer.h"
#include "engine/text/write_behind.h"
#include "tests/engine/test_support.h"

namespace ostrel {
namespace {

using V = std::vector<std::string>;

class TextFileTest : public test::ScratchDir {
  protected:
    // Every line of the file, as the loader's workers take them from the chunks.
    V ReadAll(const std::string& path, TextEncoding* encoding = nullptr,
              std::size_t maxBytes = 1 << 16) {
        TextFileReader reader(path, Windows1252());
        V lines;
        std::string chunk;
        for (;;) {
            const TextFileReader::Chunk got = reader.ReadChunk(chunk, maxBytes, 100);
            if (got == TextFileReader::Chunk::End) break;
            if (got == TextFileReader::Chunk::Restart) {
                lines.clear();
                continue;
            }
            if (got == TextFileReader::Chunk::TooLong) {
                lines.emplace_back("<too long>");
                continue;
            }
            LineScanner scanner(100);
            const char* p = chunk.data();
            std::string_view text;
            while (p < chunk.data() + chunk.size()) {
                const auto step = scanner.Next(p, chunk.data() + chunk.size(), true, text);
                lines.emplace_back(step == LineScanner::Step::TooLong ? "<too long>" : text);
            }
        }
        if (encoding) *encoding = reader.Encoding();
        reader.Close();
        return lines;
    }
    V ReadBytesAsLines(std::string_view bytes, TextEncoding* encoding = nullptr) {
        return ReadAll(File("in.txt", bytes), encoding);
    }
    std::string Write(const V& lines, TextEncoding encoding) {
        const std::string path = PathOf("out.txt");
        TextFileWriter writer(path, encoding, Windows1252());
        for (const auto& l : lines) writer.WriteLine(l);
        writer.Commit();
        return test::ReadBytes(test::PathFromUtf8(path));
    }
};

TEST_F(TextFileTest, LineEndsAreCrCrLfAndLoneLf) {
    EXPECT_EQ(ReadBytesAsLines("a\r\nb\rc\nd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(ReadBytesAsLines("a\r\r\nb\n\nc\r\n"), (V{"a", "", "b", "", "c"}));
    EXPECT_EQ(ReadBytesAsLines("x\r"), (V{"x"}));
    EXPECT_EQ(ReadBytesAsLines("\r\n"), (V{""}));
    EXPECT_EQ(ReadBytesAsLines(""), V{});
}

// The lines of chunked text: split at CR, CR LF or LF, trimmed of spaces.
V SplitLines(const std::string& text) {
    V lines;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", i), text.size());
        std::string line = text.substr(i, end - i);
        line.erase(0, line.find_first_not_of(' '));
        line.erase(line.find_last_not_of(' ') + 1);
        lines.push_back(line);
        i = end + 1;
        if (end < text.size() && text[end] == '\r' && i < text.size() && text[i] == '\n') ++i;
    }
    return lines;
}

TEST_F(TextFileTest, ChunksEndAtLineEndsAndNeverSplitCrLf) {
    const std::string bytes = "  ab \r\ncd\r\n\r\ne\rf\ng\r\n\r\r\n     \r\n   last line  ";
    const std::string path = File("in.txt", "\xEF\xBB\xBF" + bytes);
    const V lines = ReadAll(path);
    for (std::size_t maxBytes = 1; maxBytes <= bytes.size() + 1; ++maxBytes) {
        TextFileReader reader(path, Windows1252());
        std::string chunk, joined;
        V chunks;
        while (reader.ReadChunk(chunk, maxBytes, 100) == TextFileReader::Chunk::Lines) {
            chunks.push_back(chunk);
            joined += chunk;
        }
        EXPECT_EQ(SplitLines(joined), lines) << "chunks of " << maxBytes;
        for (std::size_t i = 0; i + 1 < chunks.size(); ++i) {
            const char last = chunks[i].back();
            EXPECT_TRUE(last == '\n' || last == '\r') << maxBytes << ": " << chunks[i];
            EXPECT_FALSE(last == '\r' && chunks[i + 1].front() == '\n') << "chunks of " << maxBytes;
        }
    }
}

TEST_F(TextFileTest, ChunksOfOtherEncodingsHoldTheirTextInUtf8) {
    const std::string path =
        File("in.txt", "\xFF\xFE" + test::Utf16Bytes(u"  \u00C9t\u00E9 \r\nb\r\n\r\nc", false));
    TextFileReader reader(path, Windows1252());
    std::string chunk, joined;
    while (reader.ReadChunk(chunk, 64, 100) == TextFileReader::Chunk::Lines) joined += chunk;
    EXPECT_EQ(joined, "  \xC3\x89t\xC3\xA9 \r\nb\r\n\r\nc");
}

TEST_F(TextFileTest, TrimsTheSpaceCharacterOnly) {
    EXPECT_EQ(ReadBytesAsLines("  a  b  \r\n\tc\t\r\n     \r\n \xC2\xA0 d"),
              (V{"a  b", "\tc\t", "", "\xC2\xA0 d"}));
}

TEST_F(TextFileTest, DetectsEncodingFromBomOrUtf8Validity) {
    TextEncoding e{};
    EXPECT_EQ(ReadBytesAsLines("h\xC3\xA9llo \xE2\x82\xAC\r\n\xF0\x9F\x98\x80", &e),
              (V{"héllo €", "😀"}));
    EXPECT_EQ(e, TextEncoding::Utf8);
    EXPECT_EQ(ReadBytesAsLines("\xEF\xBB\xBF  a \r\nb", &e), (V{"a", "b"}));
    EXPECT_EQ(e, TextEncoding::Utf8Bom);
    const std::u16string text = u" é\r\n€\r😀\nZ";
    EXPECT_EQ(ReadBytesAsLines("\xFF\xFE" + test::Utf16Bytes(text, false), &e),
              (V{"é", "€", "😀", "Z"}));
    EXPECT_EQ(e, TextEncoding::Utf16LE);
    EXPECT_EQ(ReadBytesAsLines("\xFE\xFF" + test::Utf16Bytes(text, true), &e),
              (V{"é", "€", "😀", "Z"}));
    EXPECT_EQ(e, TextEncoding::Utf16BE);
    EXPECT_EQ(ReadBytesAsLines("caf\xE9\r\n\x80\x81\x9F", &e), (V{"café", "€\u0081Ÿ"}));
    EXPECT_EQ(e, TextEncoding::Ansi);
    EXPECT_EQ(ReadBytesAsLines("", &e), V{});
}

TEST_F(TextFileTest, OneInvalidByteLateInALargeFileMakesItAnsi) {
    std::string bytes;
    for (int i = 0; i < 30000; ++i)
        bytes += "\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87 " + std::to_string(i) + "\r\n";
    TextEncoding e{};
    V lines = ReadBytesAsLines(bytes + "end", &e);
    EXPECT_EQ(e, TextEncoding::Utf8);  // multi-byte characters cross every read buffer boundary
    ASSERT_EQ(lines.size(), 30001u);
    EXPECT_EQ(lines[29999], "ключ 29999");
    lines = ReadBytesAsLines(bytes + "caf\xE9", &e);
    EXPECT_EQ(e, TextEncoding::Ansi);
    ASSERT_EQ(lines.size(), 30001u);
    EXPECT_EQ(lines[0], "\u00D0\u00BA\u00D0\u00BB\u00D1\u017D\u00D1\u2021 0");
    EXPECT_EQ(lines[30000], "café");
}

// A line longer than a chunk is held only as far as the limit needs; once it is over the
// limit, nothing after it is read.
TEST_F(TextFileTest, ALongLineIsReadOnlyFarEnoughToRefuseIt) {
    const std::u16string pad(3000, u' ');
    const std::u16string content = u"ok\r\n" + pad + u"y" + pad + u"\r\n\u00E9" + pad + u"\r\n" +
                                   std::u16string(5000, u'x') + u"\r\nlast";
    std::string utf8;
    for (char16_t c : content)
        utf8 += c == u'\u00E9' ? "\xC3\xA9" : std::string(1, static_cast<char>(c));
    for (const std::string& bytes : {utf8, "\xFF\xFE" + test::Utf16Bytes(content, false)}) {
        TextFileReader reader(File("in.txt", bytes), Windows1252());
        V chunks;
        std::string chunk;
        TextFileReader::Chunk got;
        while ((got = reader.ReadChunk(chunk, 1000, 100)) == TextFileReader::Chunk::Lines)
            chunks.push_back(chunk);
        EXPECT_EQ(chunks, (V{"ok\r\n", "y\n", "\xC3\xA9\n"}));
        ASSERT_EQ(got, TextFileReader::Chunk::TooLong);
        EXPECT_EQ(chunk, std::string(101, 'x'));
        EXPECT_EQ(reader.ReadChunk(chunk, 1000, 100), TextFileReader::Chunk::End);  // "last" is
                                                                                    // never read
    }
}

TEST_F(TextFileTest, WritesEveryEncodingWithCrLf) {
    const V lines{"a", "é€", "😀"};
    EXPECT_EQ(Write(lines, TextEncoding::Utf8),
              "a\r\n\xC3\xA9\xE2\x82\xAC\r\n\xF0\x9F\x98\x80\r\n");
    EXPECT_EQ(Write(lines, TextEncoding::Utf8Bom),
              "\xEF\xBB\xBF"
              "a\r\n\xC3\xA9\xE2\x82\xAC\r\n\xF0\x9F\x98\x80\r\n");
    EXPECT_EQ(Write(lines, TextEncoding::Utf16LE),
              "\xFF\xFE" + test::Utf16Bytes(u"a\r\né€\r\n😀\r\n", false));
    EXPECT_EQ(Write(lines, TextEncoding::Utf16BE),
              "\xFE\xFF" + test::Utf16Bytes(u"a\r\né€\r\n😀\r\n", true));
    EXPECT_EQ(Write({"café", "€\u0081"}, TextEncoding::Ansi), "caf\xE9\r\n\x80\x81\r\n");
    EXPECT_EQ(Write({}, TextEncoding::Utf8Bom), "\xEF\xBB\xBF");
    EXPECT_EQ(Write({}, TextEncoding::Utf16LE), "\xFF\xFE");
    EXPECT_EQ(Write({}, TextEncoding::Ansi), "");
    using namespace std::string_literals;
    EXPECT_EQ(Write({"a\U0001F600"}, TextEncoding::Utf32LE),
              "\xFF\xFE\0\0a\0\0\0\x00\xF6\x01\0\r\0\0\0\n\0\0\0"s);
    EXPECT_EQ(Write({"a\U0001F600"}, TextEncoding::Utf32BE),
              "\0\0\xFE\xFF\0\0\0a\0\x01\xF6\x00\0\0\0\r\0\0\0\n"s);
}

TEST_F(TextFileTest, TargetIsReplacedOnlyOnCommit) {
    const std::string path = File("out.txt", "old\r\n");
    {
        TextFileWriter writer(path, TextEncoding::Utf8, Windows1252());
        writer.WriteLine("new");
        EXPECT_EQ(test::ReadBytes(test::PathFromUtf8(path)), "old\r\n");
    }  // dropped without Commit
    EXPECT_EQ(test::ReadBytes(test::PathFromUtf8(path)), "old\r\n");
    EXPECT_EQ(Listing(), V{"out.txt"});
    {
        TextFileWriter writer(path, TextEncoding::Utf8, Windows1252());
        writer.WriteLine("new");
        writer.Abandon();
    }
    EXPECT_EQ(Listing(), V{"out.txt"});
    TextFileWriter writer(path, TextEncoding::Utf8, Windows1252());
    writer.WriteLine("new");
    writer.Commit();
    EXPECT_EQ(test::ReadBytes(test::PathFromUtf8(path)), "new\r\n");
    EXPECT_EQ(Listing(), V{"out.txt"});
}

TEST_F(TextFileTest, NonAsciiFileNamesWork) {
    const std::string in = File("Ключи café 😀.txt", "x\r\n");
    EXPECT_EQ(ReadAll(in), V{"x"});
    const std::string out = PathOf("résultat ж.txt");
    TextFileWriter writer(out, TextEncoding::Utf8, Windows1252());
    writer.WriteLine("y");
    writer.Commit();
    EXPECT_EQ(test::ReadBytes(test::PathFromUtf8(out)), "y\r\n");
}

TEST_F(TextFileTest, FailuresNameTheFile) {
    const std::string missing = PathOf("missing.txt");
    try {
        TextFileReader reader(missing, Windows1252());
        ADD_FAILURE() << "opened a missing file";
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.Description().find("missing.txt"), std::string::npos) << e.Description();
    }
    const std::string nowhere = PathOf("no such folder/out.txt");
    try {
        TextFileWriter writer(nowhere, TextEncoding::Utf8, Windows1252());
        writer.Commit();
        ADD_FAILURE() << "wrote into a missing folder";
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.Description().find("out.txt"), std::string::npos) << e.Description();
    }
    EXPECT_EQ(Listing(), V{});
}

// The writer's buffer holds a MiB and a KiB, and is handed over once a MiB is in it: a line
// begun just below that mark meets the end of the room. A line longer than the room by a byte,
// one that fills it exactly and one of several KiB must each arrive whole.
TEST_F(TextFileTest, ALineAtTheEndOfTheWritersBufferArrivesWhole) {
    constexpr std::size_t kHandOver = std::size_t{1} << 20;
    constexpr std::size_t kRoomLeft = 1024 + 1;  // after kHandOver - 1 bytes
    V filler;
    std::size_t used = 0;
    for (; used + 1002 <= kHandOver - 1; used += 1002) filler.emplace_back(1000, 'f');
    filler.emplace_back(kHandOver - 1 - used - 2, 'g');
    for (const std::size_t length : {kRoomLeft + 1, kRoomLeft, std::size_t{5000}}) {
        V lines = filler;
        lines.push_back(std::string(length - 1, 'x') + "y");
        lines.emplace_back("after");
        std::string expected;
        for (const std::string& line : lines) expected += line + "\r\n";
        EXPECT_EQ(Write(lines, TextEncoding::Utf8), expected) << length;
    }
}

// A write in hand keeps its bytes: the next Write and Finish wait for a slow write, and the
// bytes it is given do not change while it runs, whatever the caller puts in the buffer it
// got back.
TEST(WriteBehind, ASlowWriteIsWaitedForAndItsBytesStayAsGiven) {
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    int started = 0, done = 0, altered = 0;
    WriteBehind behind([&](std::string_view bytes) {
        const std::string given(bytes);
        std::unique_lock lock(mutex);
        ++started;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // slow, not timed
        lock.lock();
        if (bytes != given) ++altered;
        ++done;
    });
    std::string buffer(1 << 16, 'a');
    behind.Write(buffer);
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return started == 1; });
    }
    buffer.assign(1 << 16, 'b');
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    });
    behind.Write(buffer);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(done, 1) << "the next write began before the one in hand was done";
    }
    buffer.assign(1 << 16, 'c');
    behind.Finish();
    releaser.join();
    std::lock_guard lock(mutex);
    EXPECT_EQ(done, 2) << "Finish returned before the write in hand was done";
    EXPECT_EQ(altered, 0);
}

}  // namespace
}  // namespace ostrel
