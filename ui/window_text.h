#pragma once
// The text of a window: a form's caption or a control's.
#include <windows.h>

#include <string>

namespace ostrel::ui {

std::wstring WindowText(HWND window);

}  // namespace ostrel::ui
