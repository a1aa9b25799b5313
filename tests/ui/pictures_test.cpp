// Decodes the pictures built into this test's own module and checks them against the design.
#include "ui/pictures.h"
#include "ui/picture_scaling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include "resources/resource_ids.h"
#include "win32/scoped.h"

namespace {

using ostrel::ui::Bitmap;
using ostrel::ui::DrawPicture;
using ostrel::ui::LoadPicture;
using ostrel::ui::Picture;

constexpr std::uint32_t kField = 0x003398;  // RGB(0, 51, 152)
constexpr std::uint32_t kWhite = 0xFFFFFF;

int Red(std::uint32_t pixel) {
    return static_cast<int>((pixel >> 16) & 0xFF);
}
int Green(std::uint32_t pixel) {
    return static_cast<int>((pixel >> 8) & 0xFF);
}
int Blue(std::uint32_t pixel) {
    return static_cast<int>(pixel & 0xFF);
}

struct Mean {
    double r = 0, g = 0, b = 0;
    double Brightness() const { return (r + g + b) / 3; }
};

Mean MeanOf(const Bitmap& bitmap, int left, int top, int right, int bottom) {
    Mean mean;
    int count = 0;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            const std::uint32_t pixel = bitmap.PixelAt(x, y);
            mean.r += Red(pixel);
            mean.g += Green(pixel);
            mean.b += Blue(pixel);
            ++count;
        }
    }
    mean.r /= count;
    mean.g /= count;
    mean.b /= count;
    return mean;
}

using Points = std::set<std::pair<int, int>>;

void AddRow(Points& points, int fromX, int toX, int y) {
    for (int x = fromX; x <= toX; ++x) points.insert({x, y});
}
void AddColumn(Points& points, int x, int fromY, int toY) {
    for (int y = fromY; y <= toY; ++y) points.insert({x, y});
}
void AddLine(Points& points, int x0, int y0, int x1, int y1) {
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    const int dx = x1 > x0 ? 1 : (x1 < x0 ? -1 : 0);
    const int dy = y1 > y0 ? 1 : (y1 < y0 ? -1 : 0);
    for (int i = 0; i <= steps; ++i) points.insert({x0 + i * dx, y0 + i * dy});
}

Points RaisedOutline() {
    Points p;
    AddRow(p, 3, 12, 1);
    AddRow(p, 3, 12, 14);
    AddColumn(p, 1, 3, 12);
    AddColumn(p, 14, 3, 12);
    p.insert({{2, 2}, {13, 2}, {2, 13}, {13, 13}});
    return p;
}

Points PressedOutline() {
    Points p;
    AddRow(p, 4, 11, 2);
    AddRow(p, 4, 11, 13);
    AddColumn(p, 2, 4, 11);
    AddColumn(p, 13, 4, 11);
    p.insert({{3, 3}, {12, 3}, {3, 12}, {12, 12}});
    return p;
}

Points MinUpWhite() {
    Points p = RaisedOutline();
    AddRow(p, 4, 11, 9);
    AddRow(p, 5, 10, 11);
    return p;
}

Points MinDownWhite() {
    Points p = PressedOutline();
    AddRow(p, 5, 10, 8);
    AddRow(p, 6, 9, 10);
    return p;
}

Points CloseUpWhite() {
    Points p = RaisedOutline();
    AddLine(p, 4, 4, 11, 11);
    AddLine(p, 11, 4, 4, 11);
    return p;
}

Points CloseDownWhite() {
    Points p = PressedOutline();
    AddLine(p, 5, 5, 10, 10);
    AddLine(p, 10, 5, 5, 10);
    return p;
}

// The raw bytes of one RCDATA resource of this module.
std::vector<unsigned char> ResourceBytes(int id) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(self, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));
    if (info == nullptr) return {};
    const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(self, info)));
    return std::vector<unsigned char>(data, data + SizeofResource(self, info));
}

std::uint32_t U32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t U16(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

struct JpegFrame {
    bool found = false;
    unsigned char marker = 0;
    int width = 0, height = 0, components = 0;
    std::vector<unsigned char> sampling;  // one byte (H << 4 | V) per component
};

// Walks the JPEG markers up to the first start-of-frame.
JpegFrame ReadJpegFrame(const std::vector<unsigned char>& b) {
    JpegFrame frame;
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return frame;
    std::size_t at = 2;
    while (at + 4 <= b.size() && b[at] == 0xFF) {
        const unsigned char marker = b[at + 1];
        const std::size_t length = (b[at + 2] << 8) | b[at + 3];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            frame.found = true;
            frame.marker = marker;
            frame.height = (b[at + 5] << 8) | b[at + 6];
            frame.width = (b[at + 7] << 8) | b[at + 8];
            frame.components = b[at + 9];
            for (int i = 0; i < frame.components; ++i) frame.sampling.push_back(b[at + 11 + 3 * i]);
            return frame;
        }
        at += 2 + length;
    }
    return frame;
}

class PicturesTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(com_.Ok()); }

    static Bitmap Load(Picture picture) { return LoadPicture(GetModuleHandleW(nullptr), picture); }

    static void ExpectTwoColour(Picture picture, const Points& white) {
        const Bitmap bitmap = Load(picture);
        ASSERT_EQ(bitmap.Width(), 16);
        ASSERT_EQ(bitmap.Height(), 16);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const std::uint32_t expected = white.count({x, y}) != 0 ? kWhite : kField;
                EXPECT_EQ(bitmap.PixelAt(x, y), expected) << "at (" << x << ", " << y << ")";
            }
        }
    }

  private:
    // LoadPicture leaves COM to its caller, as the window's thread does.
    ostrel::win32::ComApartment com_;
};

TEST_F(PicturesTest, EveryPictureHasItsDesignedSize) {
    struct Expected {
        Picture picture;
        int width, height;
    };
    const Expected all[] = {{Picture::Background, 300, 225}, {Picture::ButtonFace, 160, 68},
                            {Picture::MinUp, 16, 16},        {Picture::MinDown, 16, 16},
                            {Picture::CloseUp, 16, 16},      {Picture::CloseDown, 16, 16}};
    for (const Expected& e : all) {
        const Bitmap bitmap = Load(e.picture);
        EXPECT_NE(bitmap.Handle(), nullptr);
        ASSERT_NE(bitmap.Pixels(), nullptr);
        EXPECT_EQ(bitmap.Width(), e.width);
        EXPECT_EQ(bitmap.Height(), e.height);
        BITMAP info{};
        ASSERT_EQ(GetObjectW(bitmap.Handle(), sizeof info, &info), static_cast<int>(sizeof info));
        EXPECT_EQ(info.bmWidth, e.width);
        EXPECT_EQ(info.bmHeight, e.height);
        EXPECT_EQ(info.bmBitsPixel, 32);
        EXPECT_EQ(info.bmBits, static_cast<const void*>(bitmap.Pixels()));
    }
}

TEST_F(PicturesTest, MinimiseRaisedMatchesDesign) {
    ExpectTwoColour(Picture::MinUp, MinUpWhite());
}
TEST_F(PicturesTest, MinimisePressedMatchesDesign) {
    ExpectTwoColour(Picture::MinDown, MinDownWhite());
}
TEST_F(PicturesTest, CloseRaisedMatchesDesign) {
    ExpectTwoColour(Picture::CloseUp, CloseUpWhite());
}
TEST_F(PicturesTest, ClosePressedMatchesDesign) {
    ExpectTwoColour(Picture::CloseDown, CloseDownWhite());
}

TEST_F(PicturesTest, PressedOutlineIsRaisedShrunkByOnePixel) {
    // Every raised outline pixel moved one step towards the centre gives the pressed outline.
    Points shrunk;
    for (auto [x, y] : RaisedOutline())
        shrunk.insert({x < 8 ? x + 1 : x - 1, y < 8 ? y + 1 : y - 1});
    EXPECT_EQ(shrunk, PressedOutline());
}

TEST_F(PicturesTest, BitmapFilesHaveTheDesignedLayout) {
    for (int id : {IDB_MIN_UP, IDB_MIN_DOWN, IDB_CLOSE_UP, IDB_CLOSE_DOWN}) {
        SCOPED_TRACE(id);
        const std::vector<unsigned char> b = ResourceBytes(id);
        ASSERT_EQ(b.size(), 824u);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(U32(b, 2), 824u);   // file size
        EXPECT_EQ(U32(b, 10), 54u);   // pixel data offset
        EXPECT_EQ(U32(b, 14), 40u);   // information header size
        EXPECT_EQ(U32(b, 18), 16u);   // width
        EXPECT_EQ(U32(b, 22), 16u);   // height, positive: rows bottom-up
        EXPECT_EQ(U16(b, 26), 1);     // planes
        EXPECT_EQ(U16(b, 28), 24);    // bits per pixel
        EXPECT_EQ(U32(b, 30), 0u);    // uncompressed
        EXPECT_EQ(U32(b, 34), 770u);  // image size
        EXPECT_EQ(U32(b, 38), 2834u);
        EXPECT_EQ(U32(b, 42), 2834u);
        EXPECT_EQ(b[822], 0);
        EXPECT_EQ(b[823], 0);
    }
}

TEST_F(PicturesTest, JpegsAreBaselineWithFullResolutionColour) {
    struct Expected {
        int id, width, height;
    };
    for (const Expected& e :
         {Expected{IDB_BACKGROUND, 300, 225}, Expected{IDB_BUTTON_FACE, 160, 68}}) {
        SCOPED_TRACE(e.id);
        const JpegFrame frame = ReadJpegFrame(ResourceBytes(e.id));
        ASSERT_TRUE(frame.found);
        EXPECT_EQ(frame.marker, 0xC0);  // baseline sequential
        EXPECT_EQ(frame.width, e.width);
        EXPECT_EQ(frame.height, e.height);
        ASSERT_EQ(frame.components, 3);
        for (unsigned char s : frame.sampling) EXPECT_EQ(s, 0x11);
    }
}

TEST_F(PicturesTest, BackgroundHasPlainDarkBandUnderTheImageButtons) {
    const Bitmap bitmap = Load(Picture::Background);
    ASSERT_EQ(bitmap.Width(), 300);
    // The minimise and close buttons cover x 261..294, y 4..19.
    const Mean band = MeanOf(bitmap, 261, 4, 294, 19);
    EXPECT_GT(band.b, band.r + 30);
    EXPECT_GT(band.b, band.g + 20);
    EXPECT_LT(band.Brightness(), 70);
    for (int y = 0; y <= 30; ++y) {
        for (int x = 250; x < 300; ++x) {
            const std::uint32_t pixel = bitmap.PixelAt(x, y);
            EXPECT_NEAR(Red(pixel), band.r, 12) << x << "," << y;
            EXPECT_NEAR(Green(pixel), band.g, 12) << x << "," << y;
            EXPECT_NEAR(Blue(pixel), band.b, 16) << x << "," << y;
        }
    }
}

TEST_F(PicturesTest, BackgroundBelowTheBandIsLighterBlueGrowingLighterToTheLowerRight) {
    const Bitmap bitmap = Load(Picture::Background);
    ASSERT_EQ(bitmap.Height(), 225);
    const Mean band = MeanOf(bitmap, 150, 2, 299, 30);
    const Mean below = MeanOf(bitmap, 0, 60, 299, 224);
    EXPECT_GT(below.Brightness(), band.Brightness() + 50);
    EXPECT_GT(below.b, below.r + 40);
    EXPECT_GT(below.b, below.g + 20);
    const Mean upperLeft = MeanOf(bitmap, 0, 60, 40, 100);
    const Mean lowerRight = MeanOf(bitmap, 259, 184, 299, 224);
    EXPECT_GT(lowerRight.Brightness(), upperLeft.Brightness() + 30);
    EXPECT_GT(lowerRight.b, lowerRight.r);
}

TEST_F(PicturesTest, BackgroundHasYellowTitleAtTheBandsLeft) {
    const Bitmap bitmap = Load(Picture::Background);
    int yellow = 0;
    for (int y = 0; y < 37; ++y) {
        for (int x = 0; x < 130; ++x) {
            const std::uint32_t p = bitmap.PixelAt(x, y);
            if (Red(p) > 200 && Green(p) > 160 && Blue(p) < 90) ++yellow;
        }
    }
    EXPECT_GT(yellow, 150);
}

TEST_F(PicturesTest, ButtonFaceIsFlatLightBlue) {
    const Bitmap bitmap = Load(Picture::ButtonFace);
    ASSERT_EQ(bitmap.Width(), 160);
    ASSERT_EQ(bitmap.Height(), 68);
    const Mean mean = MeanOf(bitmap, 0, 0, 159, 67);
    EXPECT_GT(mean.b, 200);
    EXPECT_GT(mean.b, mean.r + 20);
    EXPECT_GT(mean.Brightness(), 180);
    for (int y = 0; y < 68; ++y) {
        for (int x = 0; x < 160; ++x) {
            const std::uint32_t p = bitmap.PixelAt(x, y);
            EXPECT_NEAR(Red(p), mean.r, 40) << x << "," << y;
            EXPECT_NEAR(Green(p), mean.g, 40) << x << "," << y;
            EXPECT_NEAR(Blue(p), mean.b, 40) << x << "," << y;
        }
    }
}

TEST_F(PicturesTest, DrawPictureCopiesUnscaledAtThePlaceGiven) {
    const Bitmap picture = Load(Picture::CloseUp);

    // A 40 x 30 black canvas to draw into.
    ostrel::win32::Canvas canvas(nullptr, 40, 30);
    ASSERT_TRUE(canvas);
    ASSERT_EQ(canvas.PixelCount(), 40u * 30u);
    std::memset(canvas.Pixels(), 0, 40 * 30 * 4);

    DrawPicture(canvas.Dc(), picture, 7, 5);
    GdiFlush();

    const std::uint32_t* pixels = canvas.Pixels();
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 7 && x < 23 && y >= 5 && y < 21;
            const std::uint32_t expected = inside ? picture.PixelAt(x - 7, y - 5) : 0u;
            EXPECT_EQ(pixels[y * 40 + x] & 0xFFFFFF, expected) << x << "," << y;
        }
    }
    // The picture is still free to be selected elsewhere: DrawPicture put its DC back.
    const ostrel::win32::MemoryDc other(nullptr);
    const ostrel::win32::Selection selected(other.Get(), picture.Handle());
    EXPECT_TRUE(selected.Ok());
}

TEST_F(PicturesTest, BitmapMovesOwnership) {
    Bitmap first = Load(Picture::MinUp);
    const HBITMAP handle = first.Handle();
    Bitmap second(std::move(first));
    EXPECT_EQ(first.Handle(), nullptr);  // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_EQ(first.Width(), 0);
    EXPECT_EQ(second.Handle(), handle);
    EXPECT_EQ(second.Width(), 16);

    Bitmap third;
    third = std::move(second);
    EXPECT_EQ(third.Handle(), handle);
    EXPECT_EQ(second.Handle(), nullptr);  // NOLINT(bugprone-use-after-move)
    third = Bitmap();
    EXPECT_EQ(third.Handle(), nullptr);
    // The handle was deleted with its owner.
    BITMAP info{};
    EXPECT_EQ(GetObjectW(handle, sizeof info, &info), 0);
}

TEST_F(PicturesTest, ResamplingBlendsAcrossAnEdgeAndKeepsFlatParts) {
    // Black on the left, white on the right.
    Bitmap step(nullptr, 8, 2);
    ASSERT_TRUE(step);
    for (int i = 0; i < 16; ++i) step.Pixels()[i] = i % 8 < 4 ? 0u : kWhite;

    const Bitmap same = ostrel::ui::Resample(step, 8, 2);
    ASSERT_EQ(same.PixelCount(), 16u);
    EXPECT_TRUE(std::equal(same.Pixels(), same.Pixels() + 16, step.Pixels())) << "own size";

    const Bitmap wider = ostrel::ui::Resample(step, 12, 3);
    ASSERT_EQ(wider.Width(), 12);
    ASSERT_EQ(wider.Height(), 3);
    int greys = 0;
    for (int x = 0; x < 12; ++x) {
        const std::uint32_t pixel = wider.PixelAt(x, 1);
        EXPECT_EQ(Red(pixel), Green(pixel));
        EXPECT_EQ(Red(pixel), Blue(pixel));
        if (Red(pixel) > 0 && Red(pixel) < 255) ++greys;
    }
    EXPECT_EQ(wider.PixelAt(0, 1), 0u);
    EXPECT_EQ(wider.PixelAt(11, 1), kWhite);
    EXPECT_GE(greys, 2) << "the edge is blended, not copied from the nearest pixel";
}

TEST_F(PicturesTest, MissingResourcesThrow) {
    // kernel32 carries none of the pictures.
    EXPECT_THROW(LoadPicture(GetModuleHandleW(L"kernel32.dll"), Picture::Background),
                 std::runtime_error);
}

TEST_F(PicturesTest, DrawingAnEmptyBitmapDoesNothing) {
    const ostrel::win32::MemoryDc dc(nullptr);
    DrawPicture(dc.Get(), Bitmap(), 0, 0);
}

}  // namespace
