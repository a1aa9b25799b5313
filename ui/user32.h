#pragma once
// The window-system and shell calls that the window's own behaviour is made of (the title bar,
// the minimise, the move request, files dropped on it, the progress bar's repaints while a list
// is read, the window menu of Alt+Space). They all go through this seam so that tests can
// watch them.
#include <windows.h>
#include <shellapi.h>

namespace ostrel::ui {

class User32 {
  public:
    virtual ~User32() = default;
    virtual BOOL GetWindowRect(HWND window, RECT* rect) = 0;
    virtual LONG GetWindowLongA(HWND window, int index) = 0;
    virtual LONG SetWindowLongA(HWND window, int index, LONG value) = 0;
    virtual BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy,
                              UINT flags) = 0;
    virtual BOOL ShowWindow(HWND window, int command) = 0;
    virtual BOOL RedrawWindow(HWND window, const RECT* rect, HRGN region, UINT flags) = 0;
    virtual BOOL ReleaseCapture() = 0;
    virtual LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual void DragAcceptFiles(HWND window, BOOL accept) = 0;
    virtual UINT DragQueryFileW(HDROP drop, UINT index, LPWSTR file, UINT size) = 0;
    virtual void DragFinish(HDROP drop) = 0;
    virtual BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual HMENU CreatePopupMenu() = 0;
    virtual BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text) = 0;
    virtual BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND window,
                                const RECT* rect) = 0;
    virtual BOOL DestroyMenu(HMENU menu) = 0;
};

// The real calls. The move request (WM_NCLBUTTONDOWN) returns at once when the left button is
// not held, as it does on Windows; some window systems would otherwise wait for the next click.
class SystemUser32 final : public User32 {
  public:
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
};

}  // namespace ostrel::ui
