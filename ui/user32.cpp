#include "ui/user32.h"

namespace ostrel::ui {

namespace {
// True while the logical left mouse button is physically held.
bool LeftButtonHeld() {
    // With swapped buttons the logical left button is the physical right one.
    const int key = ::GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    return (::GetAsyncKeyState(key) & 0x8000) != 0;
}
}  // namespace

BOOL SystemUser32::GetWindowRect(HWND window, RECT* rect) {
    return ::GetWindowRect(window, rect);
}

LONG SystemUser32::GetWindowLongA(HWND window, int index) {
    return ::GetWindowLongA(window, index);
}

LONG SystemUser32::SetWindowLongA(HWND window, int index, LONG value) {
    return ::SetWindowLongA(window, index, value);
}

BOOL SystemUser32::SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy,
                                UINT flags) {
    return ::SetWindowPos(window, insertAfter, x, y, cx, cy, flags);
}

BOOL SystemUser32::ShowWindow(HWND window, int command) {
    return ::ShowWindow(window, command);
}

BOOL SystemUser32::RedrawWindow(HWND window, const RECT* rect, HRGN region, UINT flags) {
    return ::RedrawWindow(window, rect, region, flags);
}

BOOL SystemUser32::ReleaseCapture() {
    return ::ReleaseCapture();
}

LRESULT SystemUser32::SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCLBUTTONDOWN && !LeftButtonHeld()) return 0;
    return ::SendMessageA(window, message, wParam, lParam);
}

void SystemUser32::DragAcceptFiles(HWND window, BOOL accept) {
    ::DragAcceptFiles(window, accept);
}

UINT SystemUser32::DragQueryFileW(HDROP drop, UINT index, LPWSTR file, UINT size) {
    return ::DragQueryFileW(drop, index, file, size);
}

void SystemUser32::DragFinish(HDROP drop) {
    ::DragFinish(drop);
}

BOOL SystemUser32::PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageW(window, message, wParam, lParam);
}

HMENU SystemUser32::CreatePopupMenu() {
    return ::CreatePopupMenu();
}

BOOL SystemUser32::AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text) {
    return ::AppendMenuW(menu, flags, id, text);
}

BOOL SystemUser32::TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND window,
                                  const RECT* rect) {
    return ::TrackPopupMenu(menu, flags, x, y, reserved, window, rect);
}

BOOL SystemUser32::DestroyMenu(HMENU menu) {
    return ::DestroyMenu(menu);
}

}  // namespace ostrel::ui
