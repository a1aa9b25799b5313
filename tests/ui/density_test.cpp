// The window at the display density its Wine prefix is set to (tests/ui/at_density.sh names it
// in OSTREL_TEST_DPI): the outer size, every control's rectangle and font, the background
// covering the whole client area, and the image buttons, raised and pressed, at their places.
#include <algorithm>
#include <cstdlib>
#include <set>

#include "tests/ui/window_fixture.h"

namespace ostrel::ui::test {
namespace {

constexpr std::uint32_t kBackColour = 0x8080FF;  // RGB(128, 128, 255), the form's back colour
constexpr std::uint32_t kField = 0x003398;       // the image buttons' own blue
constexpr std::uint32_t kWhite = 0xFFFFFF;

struct Box {
    int x, y, width, height;
};

// The designed twips at a density, rounded to whole pixels; the image buttons take their
// 16-pixel pictures' size at that density.
struct Layout {
    int dpi;
    SIZE outer;
    Box open, prog, actual, final, save, saveOpen, notice, minimise, close;
    LONG buttonFont, countFont;  // 8.25 and 9 points
};

constexpr Layout kLayouts[] = {
    {96,
     {300, 223},
     {6, 50, 117, 33},
     {6, 88, 237, 16},
     {8, 112, 281, 17},
     {8, 130, 269, 17},
     {8, 158, 107, 21},
     {120, 158, 107, 21},
     {8, 192, 267, 29},
     {261, 4, 16, 16},
     {279, 4, 16, 16},
     -11,
     -12},
    {120,
     {375, 279},
     {8, 63, 146, 41},
     {8, 110, 296, 20},
     {10, 140, 351, 21},
     {10, 163, 336, 21},
     {10, 198, 134, 26},
     {150, 198, 134, 26},
     {10, 240, 334, 36},
     {326, 5, 20, 20},
     {349, 5, 20, 20},
     -14,
     -15},
    {144,
     {450, 335},
     {9, 75, 176, 50},
     {9, 132, 356, 24},
     {12, 168, 422, 26},
     {12, 195, 404, 26},
     {12, 237, 161, 32},
     {180, 237, 161, 32},
     {12, 288, 401, 44},
     {392, 6, 24, 24},
     {419, 6, 24, 24},
     -17,
     -18},
};

const Layout* LayoutAt(int dpi) {
    for (const Layout& layout : kLayouts) {
        if (layout.dpi == dpi) return &layout;
    }
    return nullptr;
}

::testing::AssertionResult At(const RECT& actual, const Box& expected) {
    if (actual.left == expected.x && actual.top == expected.y &&
        actual.right - actual.left == expected.width &&
        actual.bottom - actual.top == expected.height)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "at " << actual.left << "," << actual.top << " size " << actual.right - actual.left
           << "x" << actual.bottom - actual.top << ", want " << expected.x << "," << expected.y
           << " size " << expected.width << "x" << expected.height;
}

LONG FontHeightOf(HFONT font) {
    LOGFONTW description{};
    ::GetObjectW(font, sizeof(description), &description);
    return description.lfHeight;
}

int BareBackColour(const ClientPixels& shot) {
    return static_cast<int>(std::count(shot.pixels.begin(), shot.pixels.end(), kBackColour));
}

// The white pixels' bounding box inside an image button's box, after checking that the box
// shows its two colours only (drawn sharp, no blend) with the field in its four corners.
::testing::AssertionResult WhiteBounds(const ClientPixels& shot, const Box& box, RECT& white) {
    white = RECT{box.width, box.height, 0, 0};
    for (int y = 0; y < box.height; ++y) {
        for (int x = 0; x < box.width; ++x) {
            const std::uint32_t pixel = shot.At(box.x + x, box.y + y) & 0xFFFFFF;
            if (pixel == kWhite) {
                white =
                    RECT{std::min<LONG>(white.left, x), std::min<LONG>(white.top, y),
                         std::max<LONG>(white.right, x + 1), std::max<LONG>(white.bottom, y + 1)};
            } else if (pixel != kField) {
                return ::testing::AssertionFailure()
                       << "pixel " << std::hex << pixel << std::dec << " at " << x << "," << y;
            }
        }
    }
    for (const POINT corner : {POINT{0, 0}, POINT{box.width - 1, 0}, POINT{0, box.height - 1},
                               POINT{box.width - 1, box.height - 1}}) {
        if ((shot.At(box.x + corner.x, box.y + corner.y) & 0xFFFFFF) != kField)
            return ::testing::AssertionFailure() << "no field at " << corner.x << "," << corner.y;
    }
    if ((shot.At(box.x - 1, box.y) & 0xFFFFFF) == kField)
        return ::testing::AssertionFailure() << "the field reaches left of the box";
    return ::testing::AssertionSuccess();
}

class DensityTest : public WindowTest {
  protected:
    void SetUp() override {
        const char* named = std::getenv("OSTREL_TEST_DPI");
        ASSERT_NE(named, nullptr) << "run through tests/ui/at_density.sh";
        dpi_ = std::atoi(named);
        const win32::WindowDc screen(nullptr);
        ASSERT_EQ(::GetDeviceCaps(screen.Get(), LOGPIXELSY), dpi_) << "the prefix's density";
        ASSERT_NE(LayoutAt(dpi_), nullptr);
    }

    void ExpectLayout(const Layout& want) {
        frmDuplicate& f = Form();
        const RECT outer = OuterRect();
        EXPECT_EQ(outer.right - outer.left, want.outer.cx);
        EXPECT_EQ(outer.bottom - outer.top, want.outer.cy);
        const RECT client = ClientRect();
        EXPECT_EQ(client.right, want.outer.cx) << "no frame";
        EXPECT_EQ(client.bottom, want.outer.cy);
        EXPECT_TRUE(At(ChildRect(f.cmdOpen.hWnd()), want.open));
        EXPECT_TRUE(At(ChildRect(f.prog.hWnd()), want.prog));
        EXPECT_TRUE(At(f.lblActualRowCount.Bounds(), want.actual));
        EXPECT_TRUE(At(f.lblFinalRowCount.Bounds(), want.final));
        EXPECT_TRUE(At(ChildRect(f.cmdSave.hWnd()), want.save));
        EXPECT_TRUE(At(ChildRect(f.cmdSaveOpen.hWnd()), want.saveOpen));
        EXPECT_TRUE(At(f.Label1.Bounds(), want.notice));
        EXPECT_TRUE(At(f.imgMinUp.Bounds(), want.minimise));
        EXPECT_TRUE(At(f.imgMinDwn.Bounds(), want.minimise));
        EXPECT_TRUE(At(f.impCloseUp.Bounds(), want.close));
        EXPECT_TRUE(At(f.imgCloseDwn.Bounds(), want.close));
        for (const CommandButton* button : {&f.cmdOpen, &f.cmdSave, &f.cmdSaveOpen})
            EXPECT_EQ(FontHeightOf(button->FontHandle()), want.buttonFont);
        EXPECT_EQ(FontHeightOf(f.Label1.FontHandle()), want.buttonFont);
        EXPECT_EQ(FontHeightOf(f.lblActualRowCount.FontHandle()), want.countFont);
        EXPECT_EQ(FontHeightOf(f.lblFinalRowCount.FontHandle()), want.countFont);
    }

    // Each image button shows raised, then pressed while the pointer is held on it: the pressed
    // outline is the raised one shrunk by one pixel of the density on every side.
    void ExpectImageButtons(const Layout& want) {
        const int scaledPixel = (want.dpi + 48) / 96;
        for (const Box& box : {want.minimise, want.close}) {
            SCOPED_TRACE(box.x);
            RECT raised{}, pressed{};
            ASSERT_TRUE(WhiteBounds(Capture(), box, raised));
            EXPECT_EQ(raised.left, box.width - raised.right) << "centred";
            EXPECT_EQ(raised.top, box.height - raised.bottom);
            const POINT inside{box.x + box.width / 2, box.y + box.height / 2};
            MouseDown(MouseButton::Right, inside);  // the right button presses but never acts
            const ClientPixels held = Capture();
            MouseUp(MouseButton::Right, POINT{box.x - 30, box.y + 60});
            ASSERT_TRUE(WhiteBounds(held, box, pressed));
            EXPECT_EQ(BareBackColour(held), 0);
            EXPECT_EQ(pressed.left, raised.left + scaledPixel);
            EXPECT_EQ(pressed.top, raised.top + scaledPixel);
            EXPECT_EQ(pressed.right, raised.right - scaledPixel);
            EXPECT_EQ(pressed.bottom, raised.bottom - scaledPixel);
        }
    }

    int dpi_ = 0;
};

TEST_F(DensityTest, TheWindowIsWholeAndDrawnAtItsScale) {
    StartWindow();
    const Layout& want = *LayoutAt(dpi_);
    ExpectLayout(want);
    const ClientPixels shot = Capture();
    EXPECT_EQ(BareBackColour(shot), 0)
        << "bare back colour: " << 100.0 * BareBackColour(shot) / shot.pixels.size() << "% of "
        << shot.width << "x" << shot.height;
    ExpectImageButtons(want);

    // A minimise through the image button and a restore bring back the same window.
    const RECT outer = OuterRect();
    const POINT minimise{want.minimise.x + 4, want.minimise.y + 4};
    MouseDown(MouseButton::Left, minimise);
    MouseUp(MouseButton::Left, minimise);
    ASSERT_TRUE(::IsIconic(Hwnd()));
    ::ShowWindow(Hwnd(), SW_RESTORE);
    Pump();
    const RECT restored = OuterRect();
    EXPECT_EQ(restored.right - restored.left, outer.right - outer.left);
    EXPECT_EQ(restored.bottom - restored.top, outer.bottom - outer.top);
    ExpectLayout(want);
    EXPECT_EQ(BareBackColour(Capture()), 0);
}

// Moving to a monitor of another density: the system suggests the new outer rectangle. Run in
// the 96-dpi prefix only; it does not depend on the density the window starts at.
TEST_F(DensityTest, ANewDensityTakesTheSuggestedRectangleAndRedraws) {
    if (dpi_ != 96) GTEST_SKIP() << "run at 96 dpi only";
    StartWindow();
    const Layout& want = *LayoutAt(144);
    const RECT before = OuterRect();
    RECT suggested{before.left - 75, before.top - 56, before.left - 75 + want.outer.cx,
                   before.top - 56 + want.outer.cy};
    ::SendMessageW(Hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                   reinterpret_cast<LPARAM>(&suggested));
    Pump();
    const RECT outer = OuterRect();
    EXPECT_EQ(outer.left, suggested.left);
    EXPECT_EQ(outer.top, suggested.top);
    ExpectLayout(want);
    EXPECT_EQ(BareBackColour(Capture()), 0);
    ExpectImageButtons(want);
}

}  // namespace
}  // namespace ostrel::ui::test
