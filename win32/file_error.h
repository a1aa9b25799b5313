#pragma once
// The run-time error for a failed Windows file operation, as the engine's file errors say it.
#include <string>

#include "engine/failure.h"

namespace ostrel::win32 {

// The error for a GetLastError code, naming path, from a read or a write: the errno of the same
// meaning where there is one, so that the texts match the other systems', or else the system's
// own text.
RuntimeError FileErrorOf(unsigned long error, const std::string& path, bool writing);

}  // namespace ostrel::win32
