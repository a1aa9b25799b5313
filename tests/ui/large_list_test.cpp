// A list of ten million lines opened through the window: counts, the sorted result saved, and
// the window responsive again afterwards.
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/ui/window_fixture.h"
#include "win32/wide_string.h"

namespace ostrel::ui::test {
namespace {

class LargeListTest : public WindowTest {};

TEST_F(LargeListTest, TenMillionLinesOpenAndSave) {
    StartWindow();
    // Five million phrases, each twice: once as written, once in capitals, with padding and
    // a blank line every thousand lines.
    std::string lines;
    lines.reserve(200u << 20);
    constexpr int kPhrases = 5000000;
    for (int i = 0; i < kPhrases; ++i) {
        const std::string n = std::to_string(i);
        lines += "kw " + n + "\r\n";
        lines += "  KW " + n + " \r\n";
        if (i % 1000 == 0) lines += "   \r\n";
    }
    dialog.WillChoose(WriteList(lines));
    std::string().swap(lines);
    Click(Form().cmdOpen);
    ASSERT_TRUE(boxes.shown.empty());
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases : 10000000");
    EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 5000000");
    EXPECT_FALSE(Form().prog.Visible());

    const std::wstring saved = TempPath(L"large-out.txt");
    dialog.WillChoose(saved);
    Click(Form().cmdSave);
    ASSERT_EQ(boxes.shown.size(), 1u);
    std::ifstream in(std::filesystem::path(saved), std::ios::binary);
    std::string line;
    std::uint64_t count = 0;
    std::string previous;
    bool ordered = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (count > 0 && !(previous < line)) ordered = false;
        EXPECT_EQ(line.rfind("kw ", 0), 0u) << "the first spelling stays: " << line;
        previous = line;
        ++count;
        if (::testing::Test::HasFailure()) break;
    }
    EXPECT_EQ(count, static_cast<std::uint64_t>(kPhrases));
    EXPECT_TRUE(ordered);
}

}  // namespace
}  // namespace ostrel::ui::test
