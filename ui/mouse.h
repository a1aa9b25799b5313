#pragma once
// The arguments of MouseDown and MouseUp: the button, the shift state, and the pointer's
// position relative to the receiving control's top-left corner, in twips.

namespace ostrel::ui {

// The button that went down or up, with the numbers the events have always reported.
enum class MouseButton { Left = 1, Right = 2, Middle = 4 };

constexpr int vbShiftMask = 1;
constexpr int vbCtrlMask = 2;
constexpr int vbAltMask = 4;

struct MouseEventArgs {
    MouseButton Button = MouseButton::Left;
    int Shift = 0;
    float X = 0;
    float Y = 0;
};

}  // namespace ostrel::ui
