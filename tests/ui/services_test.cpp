// The window's services on their own: the ANSI code page, twips, the real file dialog and the
// program launcher.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/failure.h"
#include "ui/file_dialog.h"
#include "ui/launcher.h"
#include "ui/twips.h"
#include "win32/ansi_code_page.h"
#include "win32/wide_string.h"

namespace ostrel::ui::test {
namespace {

TEST(AnsiCodePageTest, EveryByteOfASingleByteCodePageRoundTrips) {
    const win32::AnsiCodePage codePage;
    CPINFO info{};
    ASSERT_TRUE(::GetCPInfo(codePage.Number(), &info));
    if (info.MaxCharSize != 1) GTEST_SKIP() << "multi-byte ANSI code page";
    for (int byte = 1; byte < 256; ++byte) {
        const std::string original(1, static_cast<char>(byte));
        std::string utf8, back;
        codePage.ToUtf8(original, utf8);
        EXPECT_FALSE(utf8.empty()) << byte;
        EXPECT_TRUE(codePage.FromUtf8(utf8, back)) << byte;
        EXPECT_EQ(back, original) << byte;
    }
}

TEST(AnsiCodePageTest, CharactersWithoutAnExactFormAreRefused) {
    const win32::AnsiCodePage codePage;
    std::string bytes = "stale";
    EXPECT_TRUE(codePage.FromUtf8("", bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(codePage.FromUtf8("plain words 123", bytes));
    EXPECT_EQ(bytes, "plain words 123");
    if (codePage.Number() == CP_UTF8) GTEST_SKIP() << "UTF-8 holds every character";
    // No best fit: a macron 'a' must not quietly become 'a', nor a CJK character a '?'.
    EXPECT_FALSE(codePage.FromUtf8("\xC4\x81", bytes));
    EXPECT_FALSE(codePage.FromUtf8("key \xE4\xB8\xAD", bytes));
    EXPECT_FALSE(codePage.FromUtf8("\xFF\xFE broken", bytes)) << "invalid UTF-8";
    if (codePage.Number() == 1252) {
        EXPECT_TRUE(codePage.FromUtf8("\xE2\x82\xAC caf\xC3\xA9", bytes));
        EXPECT_EQ(bytes, "\x80 caf\xE9");
        std::string utf8;
        codePage.ToUtf8("\x80 caf\xE9", utf8);
        EXPECT_EQ(utf8, "\xE2\x82\xAC caf\xC3\xA9");
    }
}

TEST(TwipsTest, DesignedSizesAreWholePixelsAt96Dpi) {
    EXPECT_EQ(TwipsToPixels(4500, 96), 300);
    EXPECT_EQ(TwipsToPixels(3350, 96), 223) << "223 1/3 pixels, rounded";
    EXPECT_EQ(TwipsToPixels(3375, 96), 225);
    EXPECT_FLOAT_EQ(PixelsToTwips(16, 96), 240);
    EXPECT_FLOAT_EQ(PixelsToTwips(1, 96), 15);
}

TEST(LauncherTest, AProgramThatCannotStartIsARunTimeErrorWithTheSystemsReason) {
    ProcessLauncher launcher;
    try {
        launcher.Start(L"ostrel-no-such-program-7f3q.exe list.txt", SW_SHOWMAXIMIZED);
        FAIL() << "started";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 53);  // file not found
        EXPECT_FALSE(error.Description().empty());
    }
}

// The real common dialog, answered from inside its own modal loop: a CBT hook notes the
// dialog when it is activated, and a timer message, handled once the dialog is idle, reads
// its file types and then answers.
struct DialogScript {
    bool cancel = true;
    std::wstring answer;
    HWND dialog = nullptr;
    std::wstring firstType;
    int typeCount = -1;
};
DialogScript* g_script = nullptr;
HHOOK g_hook = nullptr;

void CALLBACK AnswerDialog(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    DialogScript& script = *g_script;
    HWND types = ::GetDlgItem(script.dialog, 0x470);  // cmb1
    if (types) {
        script.typeCount = static_cast<int>(::SendMessageW(types, CB_GETCOUNT, 0, 0));
        wchar_t text[256] = {};
        if (::SendMessageW(types, CB_GETLBTEXTLEN, 0, 0) < 255)
            ::SendMessageW(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
        script.firstType = text;
    }
    if (script.cancel) {
        ::PostMessageW(script.dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    const int nameIds[] = {0x47C, 0x480};  // cmb13, edt1
    for (const int id : nameIds) {
        if (::GetDlgItem(script.dialog, id)) {
            ::SetDlgItemTextW(script.dialog, id, script.answer.c_str());
            break;
        }
    }
    ::PostMessageW(script.dialog, WM_COMMAND, IDOK, 0);
}

LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && g_script && !g_script->dialog) {
        wchar_t name[16] = {};
        ::GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16);
        if (std::wstring(name) == L"#32770") {
            g_script->dialog = reinterpret_cast<HWND>(wParam);
            ::SetTimer(nullptr, 0, 0, AnswerDialog);
        }
    }
    return ::CallNextHookEx(g_hook, code, wParam, lParam);
}

class CommonDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_script = &script;
        g_hook = ::SetWindowsHookExW(WH_CBT, WatchActivation, nullptr, ::GetCurrentThreadId());
        ASSERT_NE(g_hook, nullptr);
    }
    void TearDown() override {
        ::UnhookWindowsHookEx(g_hook);
        g_script = nullptr;
    }
    DialogScript script;
};

TEST_F(CommonDialogTest, CancellingOpenRaises32755AndOffersTextDocumentsOnly) {
    CommonDialog dialog;
    try {
        dialog.ShowOpen(nullptr);
        FAIL() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 32755);
    }
    ASSERT_NE(script.dialog, nullptr);
    EXPECT_EQ(script.typeCount, 1);
    EXPECT_EQ(script.firstType, L"Text Documents (*.txt)");
    EXPECT_EQ(dialog.FileName(), L"");
}

TEST_F(CommonDialogTest, TheNameChosenInSaveIsKeptForTheNextDialog) {
    wchar_t folder[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"ostrel-dialog-answer.txt";
    ::DeleteFileW(path.c_str());
    script.cancel = false;
    script.answer = path;
    CommonDialog dialog;
    dialog.ShowSave(nullptr);
    EXPECT_EQ(::CompareStringOrdinal(dialog.FileName().c_str(), -1, path.c_str(), -1, TRUE),
              CSTR_EQUAL)
        << win32::WideToUtf8(dialog.FileName());

    // Cancelling the next one raises the error and keeps the name.
    script = DialogScript{};
    try {
        dialog.ShowOpen(nullptr);
        FAIL() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 32755);
    }
    EXPECT_EQ(::CompareStringOrdinal(dialog.FileName().c_str(), -1, path.c_str(), -1, TRUE),
              CSTR_EQUAL);
}

}  // namespace
}  // namespace ostrel::ui::test
