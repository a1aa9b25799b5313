#pragma once
// The interface id of IAccessible, defined here: a static MinGW build takes a wrong one from the
// import library, and every call then fails with E_NOINTERFACE.
#include <windows.h>

namespace ostrel::ui {

inline constexpr IID kIidAccessible = {
    0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

}  // namespace ostrel::ui
