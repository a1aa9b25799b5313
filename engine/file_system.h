#pragma once
// Files by UTF-8 path, and the run-time errors that failed file operations raise.
#include <cstdio>
#include <filesystem>
#include <string>

#include "runtime_error.h"

namespace ostrel {

// Paths are UTF-8 in the engine; these are the forms the library and the C runtime open.
std::filesystem::path NativePath(const std::string& utf8Path);
std::string Utf8Of(const std::filesystem::path& path);
std::FILE* OpenFile(const std::string& utf8Path, bool forWriting);

// A run-time error for a failed file operation (an errno value), naming the file and the
// reason.
RuntimeError FileError(int error, const std::string& path, bool writing);

}  // namespace ostrel
