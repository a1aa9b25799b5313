#include "ui/fonts.h"

#include <cmath>

#include "ui/twips.h"

namespace ostrel::ui {

int FontHeight(double points) {
    return -static_cast<int>(std::lround(points * ScreenDpiY() / 72.0));
}

win32::Font CreateVerdana(const FontDesign& font) {
    return win32::Font(::CreateFontW(FontHeight(font.size), 0, 0, 0,
                                     font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                     ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                     DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Verdana"));
}

}  // namespace ostrel::ui
