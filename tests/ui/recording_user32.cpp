#include "tests/ui/recording_user32.h"

#include <sstream>

namespace ostrel::ui::test {

std::string Describe(const std::vector<User32Call>& calls) {
    std::ostringstream text;
    for (const User32Call& call : calls) {
        text << call.name << "(";
        for (std::size_t i = 0; i < call.args.size(); ++i) text << (i ? ", " : "") << call.args[i];
        for (const wchar_t c : call.text) text << static_cast<char>(c < 128 ? c : '?');
        text << ")\n";
    }
    return text.str();
}

BOOL RecordingUser32::GetWindowRect(HWND window, RECT* rect) {
    calls.push_back({"GetWindowRect", {H(window)}});
    if (reportedRect) {
        *rect = *reportedRect;
        return TRUE;
    }
    return real_.GetWindowRect(window, rect);
}

LONG RecordingUser32::GetWindowLongA(HWND window, int index) {
    calls.push_back({"GetWindowLongA", {H(window), index}});
    return real_.GetWindowLongA(window, index);
}

LONG RecordingUser32::SetWindowLongA(HWND window, int index, LONG value) {
    calls.push_back(
        {"SetWindowLongA", {H(window), index, static_cast<long long>(static_cast<DWORD>(value))}});
    return real_.SetWindowLongA(window, index, value);
}

BOOL RecordingUser32::SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy,
                                   UINT flags) {
    calls.push_back({"SetWindowPos", {H(window), H(insertAfter), x, y, cx, cy, flags}});
    return real_.SetWindowPos(window, insertAfter, x, y, cx, cy, flags);
}

BOOL RecordingUser32::ShowWindow(HWND window, int command) {
    calls.push_back({"ShowWindow", {H(window), command}});
    if (swallowShowWindow) return FALSE;
    return real_.ShowWindow(window, command);
}

// The rectangle and region are logged as given or not (1 or 0).
BOOL RecordingUser32::RedrawWindow(HWND window, const RECT* rect, HRGN region, UINT flags) {
    calls.push_back({"RedrawWindow", {H(window), rect ? 1 : 0, region ? 1 : 0, flags}});
    return real_.RedrawWindow(window, rect, region, flags);
}

BOOL RecordingUser32::ReleaseCapture() {
    calls.push_back({"ReleaseCapture", {}});
    return real_.ReleaseCapture();
}

LRESULT RecordingUser32::SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    calls.push_back(
        {"SendMessageA",
         {H(window), message, static_cast<long long>(wParam), static_cast<long long>(lParam)}});
    return real_.SendMessageA(window, message, wParam, lParam);
}

void RecordingUser32::DragAcceptFiles(HWND window, BOOL accept) {
    calls.push_back({"DragAcceptFiles", {H(window), accept}});
    real_.DragAcceptFiles(window, accept);
}

// The buffer is logged as given or not (1 or 0), since its address says nothing.
UINT RecordingUser32::DragQueryFileW(HDROP drop, UINT index, LPWSTR file, UINT size) {
    calls.push_back({"DragQueryFileW", {H(drop), index, file ? 1 : 0, size}});
    return real_.DragQueryFileW(drop, index, file, size);
}

void RecordingUser32::DragFinish(HDROP drop) {
    calls.push_back({"DragFinish", {H(drop)}});
    real_.DragFinish(drop);
}

BOOL RecordingUser32::PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    calls.push_back(
        {"PostMessageW",
         {H(window), message, static_cast<long long>(wParam), static_cast<long long>(lParam)}});
    return real_.PostMessageW(window, message, wParam, lParam);
}

// Menu handles are not logged: their values say nothing.
HMENU RecordingUser32::CreatePopupMenu() {
    calls.push_back({"CreatePopupMenu", {}});
    return real_.CreatePopupMenu();
}

BOOL RecordingUser32::AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text) {
    calls.push_back({"AppendMenuW", {flags, static_cast<long long>(id)}, text ? text : L""});
    return real_.AppendMenuW(menu, flags, id, text);
}

BOOL RecordingUser32::TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved,
                                     HWND window, const RECT* rect) {
    calls.push_back({"TrackPopupMenu", {flags, x, y, reserved, H(window), rect ? 1 : 0}});
    return real_.TrackPopupMenu(menu, flags, x, y, reserved, window, rect);
}

BOOL RecordingUser32::DestroyMenu(HMENU menu) {
    calls.push_back({"DestroyMenu", {}});
    return real_.DestroyMenu(menu);
}

std::vector<User32Call> RecordingUser32::Named(const std::string& name) const {
    std::vector<User32Call> found;
    for (const User32Call& call : calls)
        if (call.name == name) found.push_back(call);
    return found;
}

}  // namespace ostrel::ui::test
