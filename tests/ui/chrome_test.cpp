// The window chrome: the title bar hidden at start-up and brought back on a minimise through
// the image button, presses and releases on the image buttons, the move request, and ending.
#include <climits>

#include "tests/ui/window_fixture.h"
#include "ui/message_loop.h"

namespace ostrel::ui::test {
namespace {

constexpr DWORD kTitleBits = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

// A point inside an image, relative to its top-left pixel.
POINT In(const Image& image, int dx, int dy) {
    return POINT{image.Bounds().left + dx, image.Bounds().top + dy};
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

using ChromeTest = WindowTest;

TEST_F(ChromeTest, LoadHidesTheTitleBarThenSetsTheRunTimeSize) {
    StartWindow();
    const HWND w = Hwnd();
    ASSERT_GE(seam.calls.size(), 4u) << Describe(seam.calls);
    EXPECT_EQ(seam.calls[0], (User32Call{"GetWindowRect", {H(w)}}));
    EXPECT_EQ(seam.calls[1], (User32Call{"GetWindowLongA", {H(w), GWL_STYLE}}));
    ASSERT_EQ(seam.calls[2].name, "SetWindowLongA");
    const DWORD written = static_cast<DWORD>(seam.calls[2].args[2]);
    EXPECT_EQ(written & kTitleBits, 0u);
    EXPECT_NE(written & WS_CLIPCHILDREN, 0u) << "other bits keep their values";
    ASSERT_EQ(seam.calls[3].name, "SetWindowPos");
    EXPECT_EQ(seam.calls[3].args[1], 0);
    EXPECT_EQ(seam.calls[3].args[6], 0x224);
    // Once shown, the window takes files dropped on it; nothing else at start-up.
    ASSERT_EQ(seam.calls.size(), 5u) << Describe(seam.calls);
    EXPECT_EQ(seam.calls[4], (User32Call{"DragAcceptFiles", {H(w), TRUE}}));
    EXPECT_EQ(Form().Tag(), L"Ostrel");
    EXPECT_EQ(Form().Caption(), L"Ostrel") << "the caption text stays while the bar is hidden";
}

TEST_F(ChromeTest, ShowingAndHidingKeepTheOuterRectangleAndMoveTheClientEdge) {
    StartWindow();
    seam.swallowShowWindow =
        true;  // the minimise is asked for but not made: the bar shows in place
    const RECT outer = OuterRect();
    seam.calls.clear();
    MouseDown(MouseButton::Left, In(Form().imgMinUp, 8, 8));
    MouseUp(MouseButton::Left, In(Form().imgMinUp, 8, 8));

    const HWND w = Hwnd();
    ASSERT_EQ(seam.calls.size(), 5u) << Describe(seam.calls);
    EXPECT_EQ(seam.calls[0], (User32Call{"ShowWindow", {H(w), SW_MINIMIZE}}));
    EXPECT_EQ(seam.calls[1], (User32Call{"GetWindowRect", {H(w)}}));
    EXPECT_EQ(seam.calls[2], (User32Call{"GetWindowLongA", {H(w), GWL_STYLE}}));
    EXPECT_EQ(seam.calls[3].name, "SetWindowLongA");
    EXPECT_EQ(seam.calls[4], (User32Call{"SetWindowPos",
                                         {H(w), 0, outer.left, outer.top, outer.right - outer.left,
                                          outer.bottom - outer.top, 0x224}}));
    // ControlBox only: the system menu and the caption, no boxes.
    EXPECT_EQ(Style() & kTitleBits, static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
    EXPECT_TRUE(SameRect(OuterRect(), outer));
    const RECT shown = ClientRect();
    EXPECT_EQ(shown.right - shown.left, 300 - 2 * ::GetSystemMetrics(SM_CXFIXEDFRAME));
    EXPECT_LT(shown.bottom, 223 - ::GetSystemMetrics(SM_CYCAPTION) + 1);
    EXPECT_EQ(Form().MinimizedFlag(), 1);
    EXPECT_EQ(Form().Caption(), L"Ostrel");

    // The next repaint hides it again.
    seam.calls.clear();
    ::InvalidateRect(w, nullptr, FALSE);
    Pump();
    EXPECT_EQ(Form().MinimizedFlag(), 0);
    EXPECT_EQ(Style() & kTitleBits, 0u);
    EXPECT_TRUE(SameRect(OuterRect(), outer));
    EXPECT_TRUE(SameRect(ClientRect(), RECT{0, 0, 300, 223}));
    EXPECT_EQ(seam.Named("SetWindowLongA").size(), 1u) << Describe(seam.calls);
}

TEST_F(ChromeTest, MinimiseThroughTheImageAndRestoreTwice) {
    StartWindow();
    const RECT outer = OuterRect();
    for (int cycle = 0; cycle < 2; ++cycle) {
        MouseDown(MouseButton::Left, In(Form().imgMinUp, 5, 5));
        EXPECT_FALSE(Form().imgMinUp.Visible()) << "pressed: the Dwn image shows";
        MouseUp(MouseButton::Left, In(Form().imgMinUp, 5, 5));
        EXPECT_TRUE(Form().imgMinUp.Visible());
        EXPECT_TRUE(::IsIconic(Hwnd()));
        EXPECT_EQ(Form().MinimizedFlag(), 1);
        EXPECT_EQ(Style() & kTitleBits, static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
        EXPECT_EQ(Form().Caption(), L"Ostrel");

        ::ShowWindow(Hwnd(), SW_RESTORE);  // as the taskbar would
        Pump();
        EXPECT_FALSE(::IsIconic(Hwnd()));
        EXPECT_EQ(Form().MinimizedFlag(), 0) << "cycle " << cycle;
        EXPECT_EQ(Style() & kTitleBits, 0u);
        const RECT now = OuterRect();
        EXPECT_EQ(now.right - now.left, outer.right - outer.left);
        EXPECT_EQ(now.bottom - now.top, outer.bottom - outer.top);
        EXPECT_TRUE(SameRect(ClientRect(), RECT{0, 0, 300, 223}));
        EXPECT_EQ(Form().Caption(), L"Ostrel");
        EXPECT_EQ(Form().Tag(), L"Ostrel");
    }
}

TEST_F(ChromeTest, NoPaintIsRaisedWhileTheWindowIsMinimised) {
    StartWindow();
    MouseDown(MouseButton::Left, In(Form().imgMinUp, 8, 8));
    MouseUp(MouseButton::Left, In(Form().imgMinUp, 8, 8));
    ASSERT_TRUE(::IsIconic(Hwnd()));
    seam.calls.clear();
    ::RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
    EXPECT_EQ(Form().MinimizedFlag(), 1) << "the flag waits for the first Paint after a restore";
    EXPECT_TRUE(seam.calls.empty()) << Describe(seam.calls);
    EXPECT_EQ(Style() & kTitleBits, static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
}

TEST_F(ChromeTest, AMinimiseByTheSystemNeverShowsTheTitleBar) {
    StartWindow();
    seam.calls.clear();
    ::ShowWindow(Hwnd(), SW_MINIMIZE);
    Pump();
    EXPECT_TRUE(::IsIconic(Hwnd()));
    EXPECT_EQ(Style() & kTitleBits, 0u);
    ::ShowWindow(Hwnd(), SW_RESTORE);
    Pump();
    EXPECT_EQ(Style() & kTitleBits, 0u);
    EXPECT_EQ(Form().MinimizedFlag(), 0);
    EXPECT_TRUE(seam.calls.empty()) << "Paint changes nothing:\n" << Describe(seam.calls);
}

TEST_F(ChromeTest, ReleasesOnAnEdgeOrOutsideOnlyShowTheUpImageAgain) {
    StartWindow();
    seam.calls.clear();
    for (Image* image : {&Form().imgMinUp, &Form().impCloseUp}) {
        // Pixel 16 is X = 240 twips = Width; pixel 0 is X = 0: both on an edge.
        const POINT releases[] = {In(*image, 0, 8),  In(*image, 16, 8),   In(*image, 8, 0),
                                  In(*image, 8, 16), In(*image, -40, 60), POINT{150, 200}};
        for (const POINT release : releases) {
            MouseDown(MouseButton::Left, In(*image, 8, 8));
            EXPECT_FALSE(image->Visible());
            MouseUp(MouseButton::Left, release);
            EXPECT_TRUE(image->Visible());
        }
    }
    EXPECT_TRUE(::IsWindow(Hwnd()));
    EXPECT_FALSE(::IsIconic(Hwnd()));
    EXPECT_TRUE(seam.calls.empty()) << Describe(seam.calls);
}

TEST_F(ChromeTest, RightAndMiddleButtonsActOnTheImagesLikeTheLeft) {
    StartWindow();
    for (const MouseButton button : {MouseButton::Right, MouseButton::Middle}) {
        seam.calls.clear();
        MouseDown(button, In(Form().imgMinUp, 1, 15));
        EXPECT_FALSE(Form().imgMinUp.Visible());
        MouseUp(button, In(Form().imgMinUp, 15, 1));
        EXPECT_TRUE(::IsIconic(Hwnd())) << "button " << static_cast<int>(button);
        EXPECT_EQ(seam.Named("ReleaseCapture").size(), 0u) << "no move request";
        ::ShowWindow(Hwnd(), SW_RESTORE);
        Pump();
        EXPECT_EQ(Style() & kTitleBits, 0u);
    }
}

TEST_F(ChromeTest, APressOnTheBackgroundWithAnyButtonAsksForAMove) {
    StartWindow();
    const POINT background[] = {POINT{2, 2}, POINT{150, 30}, POINT{290, 100}, POINT{280, 215}};
    for (const MouseButton button : {MouseButton::Left, MouseButton::Right, MouseButton::Middle}) {
        for (const POINT point : background) {
            seam.calls.clear();
            MouseDown(button, point);
            MouseUp(button, point);
            const std::vector<User32Call> expected{
                {"ReleaseCapture", {}},
                {"SendMessageA", {H(Hwnd()), WM_NCLBUTTONDOWN, HTCAPTION, 0}}};
            EXPECT_EQ(seam.calls, expected) << Describe(seam.calls);
        }
    }
}

TEST_F(ChromeTest, APressOnALabelAnImageOrAControlDoesNotMove) {
    StartWindow();
    frmDuplicate& f = Form();
    Form().prog.SetVisible(true);
    const POINT points[] = {
        Centre(f.lblActualRowCount.Bounds()),
        Centre(f.lblFinalRowCount.Bounds()),
        Centre(f.Label1.Bounds()),
        POINT{f.lblActualRowCount.Bounds().right - 2, f.lblActualRowCount.Bounds().bottom - 1},
        Centre(ChildRect(f.cmdSave.hWnd())),  // disabled: the press reaches the form
        Centre(ChildRect(f.prog.hWnd())),
    };
    seam.calls.clear();
    for (const MouseButton button : {MouseButton::Left, MouseButton::Right}) {
        for (const POINT point : points) {
            MouseDown(button, point);
            MouseUp(button, point);
        }
    }
    EXPECT_TRUE(seam.calls.empty()) << Describe(seam.calls);
    EXPECT_TRUE(dialog.shown.empty());
}

TEST_F(ChromeTest, ThePressedImageTakesTheReleaseWhereverThePointerIs) {
    StartWindow();
    // Pressed on the close image, released over the minimise image: neither acts.
    MouseDown(MouseButton::Left, In(Form().impCloseUp, 8, 8));
    MouseUp(MouseButton::Left, In(Form().imgMinUp, 8, 8));
    EXPECT_TRUE(Form().impCloseUp.Visible());
    EXPECT_FALSE(::IsIconic(Hwnd()));
    EXPECT_TRUE(::IsWindow(Hwnd()));
}

TEST_F(ChromeTest, AnOverflowInTheRectangleIsReportedAfterTheStyleIsWritten) {
    StartWindow();
    seam.swallowShowWindow = true;
    seam.reportedRect = RECT{INT_MIN + 1, 0, INT_MAX, 10};
    seam.calls.clear();
    MouseDown(MouseButton::Left, In(Form().imgMinUp, 8, 8));
    MouseUp(MouseButton::Left, In(Form().imgMinUp, 8, 8));

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"Run-time error '6':\r\n\r\nOverflow");
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(seam.Named("SetWindowLongA").size(), 1u);
    EXPECT_TRUE(seam.Named("SetWindowPos").empty()) << Describe(seam.calls);
    EXPECT_EQ(Form().MinimizedFlag(), 0) << "the handler was left at the error";
    EXPECT_TRUE(::IsWindow(Hwnd())) << "the program goes on";
}

TEST_F(ChromeTest, AReleaseInsideCloseEndsTheProgramAtOnce) {
    StartWindow();
    Form().SetEndsProgram(true);
    const HWND w = Hwnd();
    dialog.WillChoose(WriteList("unsaved\r\n"));
    Click(Form().cmdOpen);
    MouseDown(MouseButton::Right, In(Form().impCloseUp, 8, 8));
    ::PostMessageW(w, WM_RBUTTONUP, 0, MAKELPARAM(In(Form().impCloseUp, 8, 8).x, 12));
    // Queued behind the release: never handled once the program has ended.
    ::PostMessageW(Form().cmdOpen.hWnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_FALSE(::IsWindow(w));
    EXPECT_TRUE(Form().Ended());
    EXPECT_TRUE(boxes.shown.empty()) << "no question, no save";
    EXPECT_EQ(dialog.shown, std::vector<std::string>{"open"});
}

TEST_F(ChromeTest, ACloseRequestFromTheSystemEndsTheProgram) {
    StartWindow();
    Form().SetEndsProgram(true);
    const HWND w = Hwnd();
    ::PostMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_FALSE(::IsWindow(w));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ChromeTest, AltF4OnTheFocusedButtonEndsTheProgram) {
    StartWindow();
    Form().SetEndsProgram(true);
    const HWND w = Hwnd();
    ASSERT_EQ(::GetFocus(), Form().cmdOpen.hWnd());
    const LPARAM altDown = 0x20000001 | (0x3E << 16);
    ::PostMessageW(::GetFocus(), WM_SYSKEYDOWN, VK_F4, altDown);
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_FALSE(::IsWindow(w));
    EXPECT_TRUE(dialog.shown.empty());
}

}  // namespace
}  // namespace ostrel::ui::test
