#pragma once
// Twips (1/1440 inch), the unit of every designed place and size, to pixels and back, through
// the screen's real density (15 twips make a pixel at 96 dots per inch).
#include <windows.h>

namespace ostrel::ui {

constexpr int kTwipsPerInch = 1440;

int ScreenDpiX();
int ScreenDpiY();

int TwipsToPixelsX(double twips);
int TwipsToPixelsY(double twips);
float PixelsToTwipsX(double pixels);
float PixelsToTwipsY(double pixels);

// A designed place and size, in twips.
struct TwipsBox {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// A designed box in client pixels.
RECT TwipsRect(const TwipsBox& box);

}  // namespace ostrel::ui
