#include "win32/wide_string.h"

#include <windows.h>

#include <climits>

namespace ostrel::win32 {

std::wstring Utf8ToWide(std::string_view utf8) {
    std::wstring wide;
    if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX)) return wide;
    const int length = static_cast<int>(utf8.size());
    const int needed = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (needed <= 0) return wide;
    wide.resize(static_cast<std::size_t>(needed));
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), needed);
    return wide;
}

std::string WideToUtf8(std::wstring_view wide) {
    std::string utf8;
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX)) return utf8;
    const int length = static_cast<int>(wide.size());
    const int needed =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return utf8;
    utf8.resize(static_cast<std::size_t>(needed));
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

}  // namespace ostrel::win32
