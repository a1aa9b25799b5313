#pragma once
// Paths in the form that Windows' file functions take at any length, past MAX_PATH.
#include <string>

namespace ostrel::win32 {

// A path on a drive as \\?\C:\..., a network path as \\?\UNC\server\share\.... The path is
// first made absolute by the system, with its forward slashes, "." and ".." resolved as they
// would be for the path as given: the long form turns that parsing off. A path already in the
// device namespace (\\?\, \\.\ or \??\) is returned as it is, and so is one the system cannot
// resolve, which the file function then refuses with its own error.
std::wstring LongPath(const std::wstring& path);

}  // namespace ostrel::win32
