// What the window shows: the pictures unscaled where they must line up, the pressed looks in
// place, the greyed look of disabled buttons, and labels that repaint without leaving traces.
#include <algorithm>

#include "tests/ui/window_fixture.h"

namespace ostrel::ui::test {
namespace {

using RenderTest = WindowTest;

// Share of pixels in a rectangle that are grey (red, green and blue within a few steps).
double GreyShare(const ClientPixels& shot, const RECT& box) {
    int grey = 0, all = 0;
    for (int y = box.top + 2; y < box.bottom - 2; ++y) {
        for (int x = box.left + 2; x < box.right - 2; ++x) {
            const std::uint32_t c = shot.At(x, y);
            const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            const int spread = std::max({r, g, b}) - std::min({r, g, b});
            if (spread <= 6) ++grey;
            ++all;
        }
    }
    return all ? static_cast<double>(grey) / all : 0;
}

TEST_F(RenderTest, ImageButtonsAndBackgroundShowUnscaled) {
    StartWindow();
    const ClientPixels shot = Capture();
    ASSERT_EQ(shot.width, 300);
    ASSERT_EQ(shot.height, 223);
    EXPECT_EQ(CountDifferences(shot, PictureOf(Picture::MinUp), 261, 4), 0);
    EXPECT_EQ(CountDifferences(shot, PictureOf(Picture::CloseUp), 279, 4), 0);

    const Bitmap& background = PictureOf(Picture::Background);
    // The four corners, and the band across the top around the image buttons.
    EXPECT_EQ(CountDifferences(shot, background, 0, 0, RECT{0, 0, 6, 48}), 0);
    EXPECT_EQ(CountDifferences(shot, background, 0, 0, RECT{0, 0, 260, 4}), 0);
    EXPECT_EQ(CountDifferences(shot, background, 0, 0, RECT{296, 0, 300, 30}), 0);
    EXPECT_EQ(CountDifferences(shot, background, 0, 0, RECT{0, 200, 8, 223}), 0);
    EXPECT_EQ(CountDifferences(shot, background, 0, 0, RECT{276, 120, 300, 223}), 0);
    EXPECT_EQ(CountDifferences(shot, background, 0, 0, RECT{0, 221, 300, 223}), 0);
}

TEST_F(RenderTest, PressedImagesShowInTheSamePlace) {
    StartWindow();
    const POINT minimise{261 + 8, 4 + 8};
    const POINT close{279 + 8, 4 + 8};

    MouseDown(MouseButton::Left, minimise);
    ClientPixels shot = Capture();
    EXPECT_EQ(CountDifferences(shot, PictureOf(Picture::MinDown), 261, 4), 0);
    EXPECT_EQ(CountDifferences(shot, PictureOf(Picture::CloseUp), 279, 4), 0);
    MouseUp(MouseButton::Left, POINT{100, 200});
    EXPECT_EQ(CountDifferences(Capture(), PictureOf(Picture::MinUp), 261, 4), 0);

    MouseDown(MouseButton::Right, close);
    shot = Capture();
    EXPECT_EQ(CountDifferences(shot, PictureOf(Picture::CloseDown), 279, 4), 0);
    EXPECT_EQ(CountDifferences(shot, PictureOf(Picture::MinUp), 261, 4), 0);
    MouseUp(MouseButton::Right, POINT{100, 200});
    EXPECT_EQ(CountDifferences(Capture(), PictureOf(Picture::CloseUp), 279, 4), 0);
}

TEST_F(RenderTest, DisabledButtonsLookGreyedUntilEnabled) {
    StartWindow();
    const RECT save = ChildRect(Form().cmdSave.hWnd());
    const RECT saveOpen = ChildRect(Form().cmdSaveOpen.hWnd());
    const RECT open = ChildRect(Form().cmdOpen.hWnd());
    ClientPixels shot = Capture();
    EXPECT_GT(GreyShare(shot, save), 0.95);
    EXPECT_GT(GreyShare(shot, saveOpen), 0.95);
    EXPECT_LT(GreyShare(shot, open), 0.5) << "the enabled face keeps its light blue";

    dialog.WillChoose(WriteList("x\r\n"));
    Click(Form().cmdOpen);
    shot = Capture();
    EXPECT_LT(GreyShare(shot, save), 0.5);
    EXPECT_LT(GreyShare(shot, saveOpen), 0.5);
}

TEST_F(RenderTest, EnabledButtonsShowTheFacePicture) {
    StartWindow();
    const RECT open = ChildRect(Form().cmdOpen.hWnd());
    const ClientPixels shot = Capture();
    // Between the border and the focus mark, left of the centred caption: the face's own
    // pixels, from its top-left corner.
    const Bitmap& face = PictureOf(Picture::ButtonFace);
    EXPECT_EQ(CountDifferences(shot, face, open.left, open.top, RECT{4, 4, 6, 29}), 0);
    EXPECT_EQ(CountDifferences(shot, face, open.left, open.top, RECT{111, 4, 113, 29}), 0);
}

TEST_F(RenderTest, ALabelRepaintsCleanlyWhenItsTextChanges) {
    StartWindow();
    Label& label = Form().lblActualRowCount;
    const ClientPixels before = Capture();
    label.SetCaption(L"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW");
    const ClientPixels wide = Capture();
    label.SetCaption(L"Actual Keyword Phrases");
    const ClientPixels after = Capture();

    const RECT box = label.Bounds();
    int changedByWide = 0, left = 0;
    for (int y = box.top; y < box.bottom; ++y) {
        for (int x = box.left; x < box.right; ++x) {
            if (wide.At(x, y) != before.At(x, y)) ++changedByWide;
            if (after.At(x, y) != before.At(x, y)) ++left;
        }
    }
    EXPECT_GT(changedByWide, 0);
    EXPECT_EQ(left, 0) << "no trace of the longer text stays behind";
    // Beyond the text, the background shows through the transparent label.
    EXPECT_EQ(CountDifferences(after, PictureOf(Picture::Background), 0, 0,
                               RECT{box.right - 40, box.top, box.right, box.bottom}),
              0);
}

}  // namespace
}  // namespace ostrel::ui::test
