#pragma once
// The window's fonts: Verdana, ANSI character set, sized in points at the window's density.
#include "win32/scoped.h"

namespace ostrel::ui {

// A control's designed font; the face is always Verdana.
struct FontDesign {
    double size = 8.25;  // points
    bool bold = false;
};

// Character height in pixels for a size in points at `dpi` (8.25 pt is 11 pixels at 96 dpi).
int FontHeight(double points, int dpi);
win32::Font CreateVerdana(const FontDesign& font, int dpi);

}  // namespace ostrel::ui
