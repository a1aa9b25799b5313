#pragma once
// The window's fonts: Verdana, ANSI character set, sized in points at the screen's density.
#include "scoped.h"

namespace ostrel::ui {

constexpr int kBold = FW_BOLD;       // 700
constexpr int kRegular = FW_NORMAL;  // 400

// Character height in logical units for a size in points (8.25 pt is 11 pixels at 96 dpi).
int FontHeight(double points);
win32::Font CreateVerdana(double points, int weight);

}  // namespace ostrel::ui
