// The window as designed: places, sizes, texts, fonts, starting states and the tab order.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "tests/ui/window_fixture.h"

namespace ostrel::ui::test {
namespace {

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

::testing::AssertionResult At(const RECT& actual, int x, int y, int w, int h) {
    const RECT expected{x, y, x + w, y + h};
    if (SameRect(actual, expected)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "at " << actual.left << "," << actual.top << " size " << actual.right - actual.left
           << "x" << actual.bottom - actual.top << ", designed " << x << "," << y << " size " << w
           << "x" << h;
}

LOGFONTW FontOf(HFONT font) {
    LOGFONTW description{};
    ::GetObjectW(font, sizeof(description), &description);
    return description;
}

using LayoutTest = WindowTest;

TEST_F(LayoutTest, EveryControlSitsWhereDesigned) {
    StartWindow();
    frmDuplicate& f = Form();
    EXPECT_TRUE(At(ChildRect(f.cmdOpen.hWnd()), 6, 50, 117, 33));
    EXPECT_TRUE(At(ChildRect(f.prog.hWnd()), 6, 88, 237, 16));
    EXPECT_TRUE(At(f.lblActualRowCount.Bounds(), 8, 112, 281, 17));
    EXPECT_TRUE(At(f.lblFinalRowCount.Bounds(), 8, 130, 269, 17));
    EXPECT_TRUE(At(ChildRect(f.cmdSave.hWnd()), 8, 158, 107, 21));
    EXPECT_TRUE(At(ChildRect(f.cmdSaveOpen.hWnd()), 120, 158, 107, 21));
    EXPECT_TRUE(At(f.Label1.Bounds(), 8, 192, 267, 29));
    EXPECT_TRUE(At(f.imgMinUp.Bounds(), 261, 4, 16, 16));
    EXPECT_TRUE(At(f.imgMinDwn.Bounds(), 261, 4, 16, 16));
    EXPECT_TRUE(At(f.impCloseUp.Bounds(), 279, 4, 16, 16));
    EXPECT_TRUE(At(f.imgCloseDwn.Bounds(), 279, 4, 16, 16));
    EXPECT_FLOAT_EQ(f.imgMinUp.Width(), 240);
    EXPECT_FLOAT_EQ(f.impCloseUp.Height(), 240);
}

TEST_F(LayoutTest, BeforeLoadTheWindowHasItsDesignedFixedSingleFrame) {
    frmDuplicate form(::GetModuleHandleW(nullptr), dialog, boxes, launcher, seam,
                      win32::SystemAnsiCodePage());
    form.Create();
    RECT client{};
    ::GetClientRect(form.hWnd(), &client);
    EXPECT_EQ(client.right, 301);   // 4515 twips
    EXPECT_EQ(client.bottom, 225);  // 3375 twips
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(form.hWnd(), GWL_STYLE));
    EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
    EXPECT_NE(style & WS_SYSMENU, 0u);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
    EXPECT_EQ(form.Caption(), L"Ostrel");
    EXPECT_TRUE(seam.calls.empty()) << "Load has not run yet";
    EXPECT_TRUE(form.ControlBox());
    EXPECT_FALSE(form.MaxButton());
    EXPECT_FALSE(form.MinButton());
}

TEST_F(LayoutTest, WindowStartsCentredWithoutTitleBarAtItsRunTimeSize) {
    StartWindow();
    const RECT outer = OuterRect();
    EXPECT_EQ(outer.right - outer.left, 300);  // 4500 twips
    EXPECT_EQ(outer.bottom - outer.top, 223);  // 3350 twips, rounded
    EXPECT_TRUE(SameRect(ClientRect(), RECT{0, 0, 300, 223})) << "no frame is left";
    EXPECT_EQ(Style() & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    EXPECT_EQ(Style() & WS_THICKFRAME, 0u) << "fixed single border";
    EXPECT_TRUE(::IsWindowVisible(Hwnd()));

    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(outer.left, work.left + (work.right - work.left - 300) / 2);
    EXPECT_EQ(outer.top, work.top + (work.bottom - work.top - 223) / 2);

    EXPECT_EQ(Form().Caption(), L"Ostrel");
    EXPECT_EQ(Form().Tag(), L"Ostrel");
    EXPECT_EQ(Form().MinimizedFlag(), 0);
    EXPECT_EQ(::GetParent(Hwnd()), nullptr);
    EXPECT_EQ(::GetMenu(Hwnd()), nullptr);
}

TEST_F(LayoutTest, ControlsStartAsDesigned) {
    StartWindow();
    frmDuplicate& f = Form();
    EXPECT_EQ(f.cmdOpen.Caption(), L"Open && Remove Duplicate");
    EXPECT_EQ(f.cmdSave.Caption(), L"Save");
    EXPECT_EQ(f.cmdSaveOpen.Caption(), L"Save && Open");
    EXPECT_TRUE(f.cmdOpen.Enabled());
    EXPECT_FALSE(f.cmdSave.Enabled());
    EXPECT_FALSE(f.cmdSaveOpen.Enabled());
    EXPECT_FALSE(f.prog.Visible());
    EXPECT_EQ(::SendMessageW(f.prog.hWnd(), PBM_GETRANGE, TRUE, 0), 0) << "Min";
    EXPECT_EQ(::SendMessageW(f.prog.hWnd(), PBM_GETRANGE, FALSE, 0), 10001) << "Max";
    EXPECT_EQ(f.lblActualRowCount.Caption(), L"Actual Keyword Phrases");
    EXPECT_EQ(f.lblFinalRowCount.Caption(), L"Final Keyword Phrases");
    EXPECT_EQ(f.Label1.Caption(), L"Ostrel keyword list cleaner. Free to use and share.");
    EXPECT_TRUE(f.imgMinUp.Visible());
    EXPECT_TRUE(f.impCloseUp.Visible());
    EXPECT_TRUE(f.imgMinDwn.Visible());
    EXPECT_TRUE(f.imgCloseDwn.Visible());
    // No button is the default one.
    for (const CommandButton* button : {&f.cmdOpen, &f.cmdSave, &f.cmdSaveOpen})
        EXPECT_EQ(::GetWindowLongW(button->hWnd(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
}

TEST_F(LayoutTest, TextsUseVerdanaInTheDesignedSizesAndWeights) {
    StartWindow();
    frmDuplicate& f = Form();
    struct Expected {
        HFONT font;
        LONG height;
        LONG weight;
    };
    const Expected fonts[] = {
        {f.cmdOpen.FontHandle(), -11, 700},          {f.cmdSave.FontHandle(), -11, 700},
        {f.cmdSaveOpen.FontHandle(), -11, 700},      {f.lblActualRowCount.FontHandle(), -12, 700},
        {f.lblFinalRowCount.FontHandle(), -12, 700}, {f.Label1.FontHandle(), -11, 400},
    };
    for (const Expected& expected : fonts) {
        const LOGFONTW font = FontOf(expected.font);
        EXPECT_STREQ(font.lfFaceName, L"Verdana");
        EXPECT_EQ(font.lfHeight, expected.height);
        EXPECT_EQ(font.lfWeight, expected.weight);
        EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
        EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut);
    }
}

TEST_F(LayoutTest, CaptionsShowOneAmpersandAndNoAccessKey) {
    EXPECT_EQ(DisplayedCaption(L"Open && Remove Duplicate"), L"Open & Remove Duplicate");
    EXPECT_EQ(DisplayedCaption(L"Save && Open"), L"Save & Open");
    EXPECT_EQ(DisplayedCaption(L"&Save"), L"Save");
    EXPECT_EQ(DisplayedCaption(L"a&&&&b&"), L"a&&b");
}

TEST_F(LayoutTest, TabMovesAmongEnabledButtonsInTabOrder) {
    StartWindow();
    frmDuplicate& f = Form();
    EXPECT_EQ(::GetFocus(), f.cmdOpen.hWnd()) << "the only enabled button has the focus";
    Key(VK_TAB);
    EXPECT_EQ(::GetFocus(), f.cmdOpen.hWnd()) << "disabled buttons are passed over";

    f.cmdSave.SetEnabled(true);
    f.cmdSaveOpen.SetEnabled(true);
    Key(VK_TAB);
    EXPECT_EQ(::GetFocus(), f.cmdSaveOpen.hWnd());
    Key(VK_TAB);
    EXPECT_EQ(::GetFocus(), f.cmdSave.hWnd());
    Key(VK_TAB);
    EXPECT_EQ(::GetFocus(), f.cmdOpen.hWnd());

    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    ::SetKeyboardState(keys);
    Key(VK_TAB);
    const HWND afterShiftTab = ::GetFocus();
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
    EXPECT_EQ(afterShiftTab, f.cmdSave.hWnd()) << "Shift+Tab goes back";
}

TEST_F(LayoutTest, NoLetterKeyPressesAButton) {
    StartWindow();
    for (const wchar_t letter : std::wstring(L"OoRrDdSsAaPpEe")) {
        ::PostMessageW(::GetFocus(), WM_SYSCHAR, letter, 0x20000001);  // Alt+letter
        ::PostMessageW(::GetFocus(), WM_CHAR, letter, 1);
    }
    // No button is the default or the cancel button: Escape presses none (Enter presses the
    // focused one, as Space does: KeyboardTest).
    Key(VK_ESCAPE);
    Pump();
    EXPECT_TRUE(dialog.shown.empty());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(::IsWindow(Hwnd()));
}

TEST_F(LayoutTest, SpacePressesTheFocusedButton) {
    StartWindow();
    dialog.WillCancel();
    HWND focus = ::GetFocus();
    ASSERT_EQ(focus, Form().cmdOpen.hWnd());
    ::PostMessageW(focus, WM_KEYDOWN, VK_SPACE, 0x00390001);
    ::PostMessageW(focus, WM_KEYUP, VK_SPACE, 0xC0390001);
    Pump();
    EXPECT_EQ(dialog.shown, std::vector<std::string>{"open"});
}

}  // namespace
}  // namespace ostrel::ui::test
