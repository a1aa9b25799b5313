#include "win32/long_path.h"

#include <windows.h>

#include <string_view>

namespace ostrel::win32 {

namespace {

// \\?\ and \??\ take the rest as it is; \\.\ names a device. None is to be parsed again.
bool InDeviceNamespace(std::wstring_view path) {
    return path.size() >= 4 && path[3] == L'\\' &&
           (path.substr(0, 3) == L"\\\\?" || path.substr(0, 3) == L"\\\\." ||
            path.substr(0, 3) == L"\\??");
}

}  // namespace

std::wstring LongPath(const std::wstring& path) {
    if (path.empty() || InDeviceNamespace(path)) return path;
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        // The length written, or, when the buffer is too small, the size it needs.
        const DWORD length =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return path;
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length);
    }
    if (InDeviceNamespace(full)) return full;
    if (full.size() >= 2 && full[0] == L'\\' && full[1] == L'\\')
        return L"\\\\?\\UNC\\" + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    return full;
}

}  // namespace ostrel::win32
