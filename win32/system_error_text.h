#pragma once
// The system's own wording for a Win32 error code, as UTF-8 without the trailing line break.
#include <string>

namespace ostrel::win32 {

std::string SystemErrorText(unsigned long errorCode);

}  // namespace ostrel::win32
