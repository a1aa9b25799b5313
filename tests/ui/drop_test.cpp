// Lists handed to the window from outside the Open dialog: files dropped on it (the shell's
// WM_DROPFILES, built here as the shell builds it) and the program's command-line arguments
// ("Open with", "Send to", files dropped on the program's icon).
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/ui/window_fixture.h"
#include "win32/wide_string.h"

namespace ostrel::ui::test {
namespace {

// The text a list that cannot be opened gets, before its path.
constexpr wchar_t kNotTxt[] =
    L"Ostrel opens keyword lists saved as .txt files. This file is not one:\r";

// What the shell posts: a DROPFILES header in movable global memory, then the names as UTF-16,
// each ended by a NUL, and one more NUL after the last.
HDROP ShellDrop(const std::vector<std::wstring>& paths, POINT at) {
    std::size_t chars = 1;
    for (const std::wstring& path : paths) chars += path.size() + 1;
    if (paths.empty()) chars = 2;  // an empty list still ends with two NULs
    HGLOBAL memory =
        ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    if (!memory) return nullptr;
    auto* header = static_cast<DROPFILES*>(::GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->pt = at;
    header->fNC = FALSE;
    header->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES));
    for (const std::wstring& path : paths) {
        std::memcpy(names, path.data(), path.size() * sizeof(wchar_t));
        names += path.size() + 1;  // the terminators are the zeroed memory
    }
    ::GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

class DropTest : public WindowTest {
  protected:
    void SetUp() override {
        StartWindow();
        seam.calls.clear();
    }
    // Drops the files on the middle of the window and lets it handle the drop; the window
    // owns the memory from here on.
    HDROP Drop(const std::vector<std::wstring>& paths) {
        HDROP drop = ShellDrop(paths, POINT{150, 110});
        EXPECT_NE(drop, nullptr);
        EXPECT_TRUE(::PostMessageW(Hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0));
        Pump();
        return drop;
    }
    // The drop's memory was given back once, and the window read nothing after it.
    ::testing::AssertionResult FinishedOnce(HDROP drop) {
        const std::vector<User32Call> finishes = seam.Named("DragFinish");
        if (finishes.size() != 1 || finishes[0].args != std::vector<long long>{H(drop)})
            return ::testing::AssertionFailure() << "calls were:\n" << Describe(seam.calls);
        bool finished = false;
        for (const User32Call& call : seam.calls) {
            if (finished && call.name == "DragQueryFileW")
                return ::testing::AssertionFailure() << "read after DragFinish:\n"
                                                     << Describe(seam.calls);
            finished = finished || call.name == "DragFinish";
        }
        return ::testing::AssertionSuccess();
    }
    void ExpectNothingOpened() {
        EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases");
        EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases");
        EXPECT_FALSE(Form().cmdSave.Enabled());
        EXPECT_FALSE(Form().cmdSaveOpen.Enabled());
        EXPECT_FALSE(Form().prog.Visible());
        EXPECT_TRUE(dialog.shown.empty()) << "no Open dialog";
    }
};

TEST_F(DropTest, TheShownWindowAcceptsDroppedFiles) {
    EXPECT_NE(::GetWindowLongW(Hwnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
}

TEST_F(DropTest, OneDroppedListIsOpenedWithoutTheOpenDialog) {
    const std::wstring list = WriteList("b\r\na\r\nb\r\n  a  \r\n");
    const HDROP drop = Drop({list});

    EXPECT_TRUE(dialog.shown.empty());
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases : 4");
    EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 2");
    EXPECT_TRUE(Form().cmdSave.Enabled());
    EXPECT_TRUE(Form().cmdSaveOpen.Enabled());
    EXPECT_FALSE(Form().prog.Visible());
    EXPECT_EQ(ShownPosition(Form().prog), 10001);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(Form().Engine().strFileName(), win32::WideToUtf8(list));
    EXPECT_TRUE(FinishedOnce(drop));
    // The open action's own steps, as after the dialog: the move request ends the run.
    EXPECT_EQ(seam.Named("ReleaseCapture").size(), 1u) << Describe(seam.calls);
    EXPECT_EQ(
        seam.Named("SendMessageA"),
        (std::vector<User32Call>{{"SendMessageA", {H(Hwnd()), WM_NCLBUTTONDOWN, HTCAPTION, 0}}}));
}

TEST_F(DropTest, ADroppedListIsSavedLikeOneOpenedThroughTheDialog) {
    Drop({WriteList("pear\r\napple\r\nPEAR\r\n")});
    const std::wstring target = TempPath(L"dropped-result.txt");
    dialog.WillChoose(target);
    Click(Form().cmdSave);

    EXPECT_EQ(dialog.shown, std::vector<std::string>{"save"});
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"File saved successfully");
    EXPECT_EQ(ReadFile(target), "apple\r\npear\r\n");
}

TEST_F(DropTest, ANameOutsideTheAnsiCodePageIsOpened) {
    // Greek, Cyrillic and Chinese: no 8-bit code page holds all three.
    const std::wstring list = TempPath(
        L"\u03ba\u03bb\u03b5\u03b9\u03b4\u03b9\u03ac-"
        L"\u043a\u043b\u044e\u0447\u0438-\u952e.txt");
    HANDLE file = ::CreateFileW(list.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, "x\r\ny\r\nX\r\n", 9, &written, nullptr);
    ::CloseHandle(file);

    Drop({list});
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases : 3");
    EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 2");
}

TEST_F(DropTest, SeveralDroppedFilesOpenNoneAndSaySo) {
    const HDROP drop = Drop({WriteList("a\r\n"), WriteList("b\r\n")});

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Drop one list at a time.");
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Information);
    EXPECT_EQ(boxes.shown[0].owner, Hwnd());
    ExpectNothingOpened();
    EXPECT_TRUE(FinishedOnce(drop));
}

TEST_F(DropTest, ADroppedNameWithoutTxtIsRefusedWithTheReason) {
    const std::wstring list = WriteList("a\r\nb\r\n", L".csv");
    const HDROP drop = Drop({list});

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kNotTxt + list);
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(boxes.shown[0].title, L"") << "the application title";
    EXPECT_EQ(boxes.shown[0].owner, Hwnd());
    ExpectNothingOpened();
    EXPECT_TRUE(FinishedOnce(drop));
}

TEST_F(DropTest, AFailedDropKeepsThePreviousResult) {
    Drop({WriteList("one\r\ntwo\r\none\r\n")});
    ASSERT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 2");
    seam.calls.clear();

    const HDROP drop = Drop({TempPath(L"gone-before-the-drop.txt")});
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.rfind(L"Unable to open description file \r", 0), 0u)
        << win32::WideToUtf8(boxes.shown[0].text);
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases : 3");
    EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 2");
    EXPECT_TRUE(Form().cmdSave.Enabled());
    EXPECT_FALSE(Form().prog.Visible());
    EXPECT_TRUE(FinishedOnce(drop));

    const std::wstring target = TempPath(L"kept.txt");
    dialog.WillChoose(target);
    Click(Form().cmdSave);
    EXPECT_EQ(ReadFile(target), "one\r\ntwo\r\n");
}

// Not what the shell sends, but the window must not read past the list or open a nameless
// file.
TEST_F(DropTest, AnEmptyDropDoesNothing) {
    const HDROP drop = Drop({});
    EXPECT_TRUE(boxes.shown.empty());
    ExpectNothingOpened();
    EXPECT_TRUE(FinishedOnce(drop));
}

// The program's arguments, opened once the window shows.
using StartArgumentsTest = WindowTest;

TEST_F(StartArgumentsTest, OneListIsOpenedOnceTheWindowShows) {
    const std::wstring list = WriteList("b\r\na\r\nB\r\n\r\nc\r\n");
    StartWindow(nullptr, {list});

    EXPECT_TRUE(::IsWindowVisible(Hwnd()));
    EXPECT_TRUE(dialog.shown.empty());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases : 4");
    EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 3");
    EXPECT_TRUE(Form().cmdSave.Enabled());
    EXPECT_EQ(Form().Engine().strFileName(), win32::WideToUtf8(list));
    // Load's title-bar work, then the window shows and takes drops, then the run with its
    // closing move request.
    std::vector<std::string> names;
    for (const User32Call& call : seam.calls) names.push_back(call.name);
    EXPECT_EQ(names, (std::vector<std::string>{"GetWindowRect", "GetWindowLongA", "SetWindowLongA",
                                               "SetWindowPos", "DragAcceptFiles", "ReleaseCapture",
                                               "SendMessageA"}))
        << Describe(seam.calls);
}

TEST_F(StartArgumentsTest, AMissingListIsReportedOverTheShownWindow) {
    StartWindow(nullptr, {TempPath(L"no-such-list.txt")});

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.rfind(L"Unable to open description file \r", 0), 0u);
    EXPECT_EQ(boxes.shown[0].owner, Hwnd());
    EXPECT_TRUE(boxes.shown[0].ownerVisible) << "the message comes once the window shows";
    EXPECT_FALSE(Form().cmdSave.Enabled());
}

TEST_F(StartArgumentsTest, ANameWithoutTxtIsRefusedWithTheReason) {
    const std::wstring list = WriteList("a\r\n", L".csv");
    StartWindow(nullptr, {list});

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kNotTxt + list);
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Error);
    EXPECT_TRUE(boxes.shown[0].ownerVisible);
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases");
}

TEST_F(StartArgumentsTest, SeveralListsOpenNoneAndSaySo) {
    StartWindow(nullptr, {WriteList("a\r\n"), WriteList("b\r\n")});

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Open one list at a time.");
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Information);
    EXPECT_TRUE(boxes.shown[0].ownerVisible);
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases");
    EXPECT_FALSE(Form().cmdSave.Enabled());
}

TEST_F(StartArgumentsTest, NoArgumentsOpenNothing) {
    StartWindow();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(dialog.shown.empty());
    EXPECT_EQ(Form().lblActualRowCount.Caption(), L"Actual Keyword Phrases");
}

}  // namespace
}  // namespace ostrel::ui::test
