#pragma once
// Files by UTF-8 path, and the run-time errors that failed file operations raise.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "runtime_error.h"

namespace ostrel {

// Paths are UTF-8 in the engine; these are the forms the library and the C runtime open.
std::filesystem::path NativePath(const std::string& utf8Path);
std::string Utf8Of(const std::filesystem::path& path);
std::FILE* OpenFile(const std::string& utf8Path, bool forWriting);

// Whether a file name is one that Windows keeps for a device in every folder (NUL, CON, PRN,
// AUX, COM1-COM9, LPT1-LPT9), with or without an extension, in any letter case.
bool IsReservedDeviceName(std::string_view fileName);

// A run-time error for a failed file operation (an errno value), naming the file and the
// reason.
RuntimeError FileError(int error, const std::string& path, bool writing);

}  // namespace ostrel
