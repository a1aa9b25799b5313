#pragma once
// Twips (1/1440 inch), the unit of every designed place and size, to pixels and back at the
// density a window is drawn at (15 twips make a pixel at 96 dots per inch), and where that
// density comes from.
#include <windows.h>

namespace ostrel::ui {

constexpr int kTwipsPerInch = 1440;
// The density the window was designed at: its pictures' pixels are pixels at 96 dpi.
constexpr int kDesignDpi = 96;

// The density `window` is drawn at: its own where the system keeps one per window (Windows 10
// 1607 and later), else the screen's. Looked up at run time, so the program starts everywhere.
int WindowDpi(HWND window);
// The outer size of a window of `style` (no menu, no extended style) whose client area is
// `client`, with its frame drawn at `dpi`.
SIZE OuterSizeForClient(SIZE client, DWORD style, int dpi);

// Rounded to the nearest pixel: 3350 twips (223 1/3 pixels at 96 dpi) become 223.
int TwipsToPixels(double twips, int dpi);
float PixelsToTwips(double pixels, int dpi);
// A length in the design's pixels at `dpi`, rounded as twips are: a 16-pixel picture is 24
// pixels at 144 dpi.
int DesignPixelsToPixels(int pixels, int dpi);

// A designed place and size, in twips.
struct TwipsBox {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// A designed box in client pixels at `dpi`.
RECT TwipsRect(const TwipsBox& box, int dpi);

}  // namespace ostrel::ui
