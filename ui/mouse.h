#pragma once
// The arguments of MouseDown and MouseUp: the button, the shift state, and the pointer's
// position relative to the receiving control's top-left corner, in twips.

namespace ostrel::ui {

constexpr int vbLeftButton = 1;
constexpr int vbRightButton = 2;
constexpr int vbMiddleButton = 4;

constexpr int vbShiftMask = 1;
constexpr int vbCtrlMask = 2;
constexpr int vbAltMask = 4;

struct MouseEventArgs {
    int Button = 0;
    int Shift = 0;
    float X = 0;
    float Y = 0;
};

}  // namespace ostrel::ui
