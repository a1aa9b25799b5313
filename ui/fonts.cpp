#include "fonts.h"

#include <cmath>

#include "twips.h"

namespace ostrel::ui {

int FontHeight(double points) {
    return -static_cast<int>(std::lround(points * ScreenDpiY() / 72.0));
}

win32::Font CreateVerdana(double points, int weight) {
    return win32::Font(::CreateFontW(FontHeight(points), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                     ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                     DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Verdana"));
}

}  // namespace ostrel::ui
