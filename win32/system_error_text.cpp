#include "win32/system_error_text.h"

#include <windows.h>

#include <memory>

#include "win32/wide_string.h"

namespace ostrel::win32 {

namespace {
struct LocalFreeDeleter {
    void operator()(wchar_t* text) const { ::LocalFree(text); }
};
}  // namespace

std::string SystemErrorText(unsigned long errorCode) {
    wchar_t* raw = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, errorCode, 0, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalFreeDeleter> text(raw);
    if (length == 0 || !text) return "System error " + std::to_string(errorCode);
    std::wstring_view view(text.get(), length);
    while (!view.empty() && (view.back() == L'\r' || view.back() == L'\n' || view.back() == L' ' ||
                             view.back() == L'.'))
        view.remove_suffix(1);
    return WideToUtf8(view);
}

}  // namespace ostrel::win32
