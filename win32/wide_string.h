#pragma once
// UTF-8 (the engine's strings) to and from UTF-16 (the Windows API's strings).
#include <string>
#include <string_view>

namespace ostrel::win32 {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

}  // namespace ostrel::win32
