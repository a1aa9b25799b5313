#pragma once
// The window menu that Alt+Space opens while the title bar is hidden, which takes the system
// menu away with it: of the system menu's commands, those that fit a window that is neither
// sized nor maximised, worded as the system words them. Not part of the designed window.
#include <windows.h>

#include "ui/user32.h"

namespace ostrel::ui {

inline constexpr wchar_t kMoveItem[] = L"&Move";
inline constexpr wchar_t kMinimizeItem[] = L"Mi&nimize";
inline constexpr wchar_t kCloseItem[] = L"&Close";

class WindowMenu {
  public:
    explicit WindowMenu(User32& user32) : user32_(user32) {}

    // Opens the menu at the window's top-left and carries out the choice: Move as the system
    // menu's Move starts the keyboard move, Minimize as the system minimises a window (the title
    // bar stays hidden for both), Close as Alt+F4 closes it.
    // Returns false, opening nothing, while the window has a system menu of its own or is
    // minimised.
    bool Open(HWND window);

  private:
    User32& user32_;
};

}  // namespace ostrel::ui
