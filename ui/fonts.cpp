#include "ui/fonts.h"

#include <cmath>

namespace ostrel::ui {

int FontHeight(double points, int dpi) {
    return -static_cast<int>(std::lround(points * dpi / 72.0));
}

win32::Font CreateVerdana(const FontDesign& font, int dpi) {
    return win32::Font(::CreateFontW(FontHeight(font.size, dpi), 0, 0, 0,
                                     font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                     ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                     DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Verdana"));
}

}  // namespace ostrel::ui
