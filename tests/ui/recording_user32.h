#pragma once
// Watches the window's own window-system calls: each is logged with its arguments and then
// made for real. A few faults can be put in its way.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/user32.h"

namespace ostrel::ui::test {

struct User32Call {
    std::string name;
    std::vector<long long> args;
    std::wstring text{};  // a menu item's
    bool operator==(const User32Call& other) const {
        return name == other.name && args == other.args && text == other.text;
    }
};

std::string Describe(const std::vector<User32Call>& calls);

class RecordingUser32 final : public User32 {
  public:
    explicit RecordingUser32(User32& real) : real_(real) {}

    BOOL GetWindowRect(HWND window, RECT* rect) override;
    LONG GetWindowLongA(HWND window, int index) override;
    LONG SetWindowLongA(HWND window, int index, LONG value) override;
    BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy,
                      UINT flags) override;
    BOOL ShowWindow(HWND window, int command) override;
    BOOL RedrawWindow(HWND window, const RECT* rect, HRGN region, UINT flags) override;
    BOOL ReleaseCapture() override;
    LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void DragAcceptFiles(HWND window, BOOL accept) override;
    UINT DragQueryFileW(HDROP drop, UINT index, LPWSTR file, UINT size) override;
    void DragFinish(HDROP drop) override;
    BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    HMENU CreatePopupMenu() override;
    BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text) override;
    BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND window,
                        const RECT* rect) override;
    BOOL DestroyMenu(HMENU menu) override;

    std::vector<User32Call> calls;
    // Faults: a rectangle that GetWindowRect reports instead of the real one, and a
    // ShowWindow that is logged but not made.
    std::optional<RECT> reportedRect;
    bool swallowShowWindow = false;

    std::vector<User32Call> Named(const std::string& name) const;

  private:
    User32& real_;
};

inline long long H(HWND window) {
    return static_cast<long long>(reinterpret_cast<INT_PTR>(window));
}
inline long long H(HDROP drop) {
    return static_cast<long long>(reinterpret_cast<INT_PTR>(drop));
}

}  // namespace ostrel::ui::test
