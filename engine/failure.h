#pragma once
// How a failure becomes what the user is told. Whatever an action throws is turned here, in one
// place, into a RuntimeError: a number and a description. Each action's handler, the window's
// last resort and the programs' mains report what this gives them.
#include <exception>
#include <string>

#include "engine/runtime_error.h"

namespace ostrel {

// What a file action was doing, for the failures that name the file.
enum class FileAction { Reading, Writing };

// "Out of memory while reading <path>", or writing.
std::string OutOfMemoryText(FileAction action, const std::string& path);

// A failure as a RuntimeError: a RuntimeError as it is; running out of memory as
// err::kOutOfMemory; anything else as err::kInternalError, with what it says of itself.
RuntimeError FailureOf(const std::exception_ptr& failure);

// The same for a failure while a file was read or written: running out of memory, or of the
// system's resources (a thread that could not start), names the file.
RuntimeError FailureOf(const std::exception_ptr& failure, FileAction action,
                       const std::string& path);

}  // namespace ostrel
