// The keyboard: Enter and Space press the focused command button, and Alt+Space while the title
// bar is hidden opens a window menu of the window's own at its top-left, with Move, Minimize and
// Close, each done as the system does it.
#include "tests/ui/window_fixture.h"
#include "ui/message_loop.h"

namespace ostrel::ui::test {
namespace {

constexpr DWORD kTitleBits = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

class KeyboardTest : public WindowTest {
  protected:
    // Alt+Space on the focused control, then `key` in the menu it opens. The menu waits for
    // keys in this thread's queue, so `key` is queued after the Alt+Space has been translated
    // and before the menu opens.
    void AltSpaceThen(WPARAM key) {
        const LPARAM altDown = 0x20000001 | (0x39 << 16);
        ::PostMessageW(::GetFocus(), WM_SYSKEYDOWN, VK_SPACE, altDown);
        MSG message{};
        ASSERT_TRUE(::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
        Dispatch(message);  // queues WM_SYSCHAR
        Key(key);
    }
};

TEST_F(KeyboardTest, AltSpaceThenNMinimisesAsTheSystemDoesAndTheTitleBarStaysHidden) {
    StartWindow();
    const RECT outer = OuterRect();
    seam.calls.clear();
    AltSpaceThen('N');

    const HWND w = Hwnd();
    const std::vector<User32Call> expected{
        {"GetWindowLongA", {H(w), GWL_STYLE}},
        {"GetWindowRect", {H(w)}},
        {"CreatePopupMenu", {}},
        {"AppendMenuW", {MF_STRING, SC_MOVE}, L"&Move"},
        {"AppendMenuW", {MF_STRING, SC_MINIMIZE}, L"Mi&nimize"},
        {"AppendMenuW", {MF_SEPARATOR, 0}},
        {"AppendMenuW", {MF_STRING, SC_CLOSE}, L"&Close"},
        {"TrackPopupMenu",
         {TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, outer.left,
          outer.top, 0, H(w), 0}},
        {"ShowWindow", {H(w), SW_MINIMIZE}},
        {"DestroyMenu", {}},
    };
    EXPECT_EQ(seam.calls, expected) << Describe(seam.calls);
    EXPECT_TRUE(::IsIconic(w));
    EXPECT_EQ(Style() & kTitleBits, 0u);
    EXPECT_EQ(Form().MinimizedFlag(), 0);

    ::ShowWindow(w, SW_RESTORE);  // as the taskbar would
    Pump();
    EXPECT_FALSE(::IsIconic(w));
    EXPECT_EQ(Style() & kTitleBits, 0u);
    const RECT client = ClientRect();
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 223);
}

TEST_F(KeyboardTest, AltSpaceThenCClosesAsAltF4Does) {
    StartWindow();
    const HWND w = Hwnd();
    seam.calls.clear();
    AltSpaceThen('C');
    // Alt+F4's own request, which ends the program (ChromeTest.AltF4OnTheFocusedButton...).
    EXPECT_EQ(seam.Named("PostMessageW"),
              (std::vector<User32Call>{{"PostMessageW", {H(w), WM_SYSCOMMAND, SC_CLOSE, 0}}}));
    EXPECT_FALSE(::IsWindow(w));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(KeyboardTest, EnterPressesTheFocusedCommandButtonInTabOrder) {
    StartWindow();
    ASSERT_EQ(::GetFocus(), Form().cmdOpen.hWnd());
    dialog.WillChoose(WriteList("b\r\na\r\nb\r\n"));
    Key(VK_RETURN);
    EXPECT_EQ(Form().lblFinalRowCount.Caption(), L"Final Keyword Phrases : 2");

    Key(VK_TAB);
    ASSERT_EQ(::GetFocus(), Form().cmdSaveOpen.hWnd());
    dialog.WillChoose(TempPath(L"enter.txt"));
    Key(VK_RETURN);
    EXPECT_EQ(launcher.started.size(), 1u);

    Key(VK_TAB);
    ASSERT_EQ(::GetFocus(), Form().cmdSave.hWnd());
    dialog.WillCancel();
    Key(VK_RETURN);
    EXPECT_EQ(dialog.shown, (std::vector<std::string>{"open", "save", "save"}));
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text, L"The Process was cancelled.");
}

// The system's keyboard move, driven as a user drives it: once its loop runs, Right moves the
// pointer 8 pixels and the window follows it; then Return ends the move. Hooks see the request
// reach the system and put each key in the queue when the loop is ready for it.
HHOOK g_filterHook = nullptr;
bool g_moveRequested = false;
bool g_rightQueued = false;
bool g_returnQueued = false;
LRESULT CALLBACK WatchSysCommand(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_SYSCOMMAND && (wParam & 0xFFF0) == SC_MOVE) {
        g_moveRequested = true;
        ::PostMessageW(nullptr, WM_NULL, 0, 0);  // wakes the loop, which then reads the keys
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
LRESULT CALLBACK QueueMoveKeys(int code, WPARAM wParam, LPARAM lParam) {
    // Any filter but the menu's, once the move was asked for: the move loop's.
    if (code >= 0 && code != MSGF_MENU && g_moveRequested) {
        const UINT message = reinterpret_cast<const MSG*>(lParam)->message;
        if (!g_rightQueued) {
            g_rightQueued = true;
            ::PostMessageW(nullptr, WM_KEYDOWN, VK_RIGHT, 1);
        } else if (message == WM_MOUSEMOVE && !g_returnQueued) {
            // The key moved the pointer; the window follows this move of it.
            g_returnQueued = true;
            ::PostMessageW(nullptr, WM_KEYDOWN, VK_RETURN, 1);
        }
    }
    return ::CallNextHookEx(g_filterHook, code, wParam, lParam);
}

TEST_F(KeyboardTest, AltSpaceThenMMovesTheWindowFromTheKeyboardWithTheTitleBarHidden) {
    StartWindow();
    const RECT before = OuterRect();
    const HHOOK cbt = ::SetWindowsHookExW(WH_CBT, WatchSysCommand, nullptr, ::GetCurrentThreadId());
    g_filterHook =
        ::SetWindowsHookExW(WH_MSGFILTER, QueueMoveKeys, nullptr, ::GetCurrentThreadId());
    seam.calls.clear();
    AltSpaceThen('M');
    ::UnhookWindowsHookEx(g_filterHook);
    ::UnhookWindowsHookEx(cbt);

    EXPECT_EQ(seam.Named("PostMessageW"),
              (std::vector<User32Call>{{"PostMessageW", {H(Hwnd()), WM_SYSCOMMAND, SC_MOVE, 0}}}));
    EXPECT_TRUE(g_moveRequested);
    EXPECT_TRUE(g_returnQueued) << "the system's move loop did not run";
    const RECT after = OuterRect();
    EXPECT_EQ(after.left, before.left + 8);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
    EXPECT_EQ(Style() & kTitleBits, 0u);
}

}  // namespace
}  // namespace ostrel::ui::test
