#include "win32/ansi_code_page.h"

#include <windows.h>

#include <climits>

#include "win32/wide_string.h"

namespace ostrel::win32 {

AnsiCodePage::AnsiCodePage() : codePage_(::GetACP()) {}

void AnsiCodePage::ToUtf8(std::string_view bytes, std::string& utf8) const {
    utf8.clear();
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return;
    const int length = static_cast<int>(bytes.size());
    const int needed = ::MultiByteToWideChar(codePage_, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) return;
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    ::MultiByteToWideChar(codePage_, 0, bytes.data(), length, wide.data(), needed);
    utf8 = WideToUtf8(wide);
}

bool AnsiCodePage::FromUtf8(std::string_view utf8, std::string& bytes) const {
    bytes.clear();
    if (utf8.empty()) return true;
    if (utf8.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int utf8Length = static_cast<int>(utf8.size());
    const int wideLength =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), utf8Length, nullptr, 0);
    if (wideLength <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), utf8Length, wide.data(),
                          wideLength);

    // UTF-8 as the ANSI code page takes neither the flag nor the default-character report.
    const bool utf8System = codePage_ == CP_UTF8;
    const DWORD flags = utf8System ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = utf8System ? nullptr : &usedDefault;
    const int needed = ::WideCharToMultiByte(codePage_, flags, wide.data(), wideLength, nullptr, 0,
                                             nullptr, usedDefaultOut);
    if (needed <= 0 || usedDefault) return false;
    bytes.resize(static_cast<std::size_t>(needed));
    ::WideCharToMultiByte(codePage_, flags, wide.data(), wideLength, bytes.data(), needed, nullptr,
                          usedDefaultOut);
    if (usedDefault) return false;

    // Some characters pass without a default character and still come back different (a
    // decomposed form, a lone surrogate): only an exact round trip counts.
    const int backLength = ::MultiByteToWideChar(codePage_, 0, bytes.data(), needed, nullptr, 0);
    if (backLength != wideLength) return false;
    std::wstring back(static_cast<std::size_t>(backLength), L'\0');
    ::MultiByteToWideChar(codePage_, 0, bytes.data(), needed, back.data(), backLength);
    return back == wide;
}

const CodePage& SystemAnsiCodePage() {
    static const AnsiCodePage instance;
    return instance;
}

}  // namespace ostrel::win32
