#include "ui/twips.h"

#include <cmath>

#include "win32/scoped.h"

namespace ostrel::ui {

namespace {
struct Density {
    int x = 96;
    int y = 96;
};

const Density& ScreenDensity() {
    // The density does not change for a DPI-unaware process, so it is read once.
    static const Density density = [] {
        Density d;
        win32::WindowDc screen(nullptr);
        if (screen.Get()) {
            const int x = ::GetDeviceCaps(screen.Get(), LOGPIXELSX);
            const int y = ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
            if (x > 0) d.x = x;
            if (y > 0) d.y = y;
        }
        return d;
    }();
    return density;
}
}  // namespace

int ScreenDpiX() {
    return ScreenDensity().x;
}
int ScreenDpiY() {
    return ScreenDensity().y;
}

// Rounded to the nearest pixel: 3350 twips (223 1/3 pixels at 96 dpi) become 223.
int TwipsToPixelsX(double twips) {
    return static_cast<int>(std::lround(twips * ScreenDpiX() / kTwipsPerInch));
}
int TwipsToPixelsY(double twips) {
    return static_cast<int>(std::lround(twips * ScreenDpiY() / kTwipsPerInch));
}
float PixelsToTwipsX(double pixels) {
    return static_cast<float>(pixels * kTwipsPerInch / ScreenDpiX());
}
float PixelsToTwipsY(double pixels) {
    return static_cast<float>(pixels * kTwipsPerInch / ScreenDpiY());
}

RECT TwipsRect(const TwipsBox& box) {
    const int x = TwipsToPixelsX(box.left);
    const int y = TwipsToPixelsY(box.top);
    return RECT{x, y, x + TwipsToPixelsX(box.width), y + TwipsToPixelsY(box.height)};
}

}  // namespace ostrel::ui
