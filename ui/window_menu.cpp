#include "ui/window_menu.h"

namespace ostrel::ui {

bool WindowMenu::Open(HWND window) {
    const DWORD style = static_cast<DWORD>(user32_.GetWindowLongA(window, GWL_STYLE));
    if (style & (WS_SYSMENU | WS_MINIMIZE)) return false;
    RECT outer{};
    if (!user32_.GetWindowRect(window, &outer)) return false;
    struct OwnedMenu {
        User32& user32;
        HMENU menu;
        ~OwnedMenu() {
            if (menu) user32.DestroyMenu(menu);
        }
    } menu{user32_, user32_.CreatePopupMenu()};
    if (!menu.menu) return false;
    // The system menu's ids and layout: Close apart, below a separator.
    if (!user32_.AppendMenuW(menu.menu, MF_STRING, SC_MOVE, kMoveItem) ||
        !user32_.AppendMenuW(menu.menu, MF_STRING, SC_MINIMIZE, kMinimizeItem) ||
        !user32_.AppendMenuW(menu.menu, MF_SEPARATOR, 0, nullptr) ||
        !user32_.AppendMenuW(menu.menu, MF_STRING, SC_CLOSE, kCloseItem))
        return false;
    constexpr UINT kFlags =
        TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY;
    const UINT chosen = static_cast<UINT>(
        user32_.TrackPopupMenu(menu.menu, kFlags, outer.left, outer.top, 0, window, nullptr));
    if (chosen == SC_MOVE) {
        // The system's own keyboard move (arrow keys, then Return or Esc), once the menu has
        // gone; it needs no title bar.
        user32_.PostMessageW(window, WM_SYSCOMMAND, SC_MOVE, 0);
    } else if (chosen == SC_MINIMIZE) {
        user32_.ShowWindow(window, SW_MINIMIZE);
    } else if (chosen == SC_CLOSE) {
        // What Alt+F4 posts; the window goes once the menu has.
        user32_.PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    return true;
}

}  // namespace ostrel::ui
