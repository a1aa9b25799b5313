#include "file_system.h"

#include <cerrno>
#include <cstring>

namespace ostrel {
namespace fs = std::filesystem;

fs::path NativePath(const std::string& utf8Path) {
    return fs::path(std::u8string(utf8Path.begin(), utf8Path.end()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

std::FILE* OpenFile(const std::string& utf8Path, bool forWriting) {
#ifdef _WIN32
    return _wfopen(NativePath(utf8Path).c_str(), forWriting ? L"wb" : L"rb");
#else
    return std::fopen(utf8Path.c_str(), forWriting ? "wb" : "rb");
#endif
}

RuntimeError FileError(int error, const std::string& path, bool writing) {
    switch (error) {
        case ENOENT:
            return writing ? RuntimeError(err::kPathNotFound, "Path not found: " + path)
                           : RuntimeError(err::kFileNotFound, "File not found: " + path);
        case EACCES:
        case EPERM:
        case EROFS:
            return RuntimeError(err::kPermissionDenied,
                                "Permission denied (the file may be read-only or in use by "
                                "another program): " +
                                    path);
        case EISDIR:
            return RuntimeError(err::kPermissionDenied, "This is a folder, not a file: " + path);
        case ENOSPC:
            return RuntimeError(err::kDiskFull, "Disk full while writing " + path);
        case EINVAL:
        case ENAMETOOLONG:
        case EILSEQ:
            return RuntimeError(err::kBadFileName, "Bad file name: " + path);
        case ENOMEM:
            return RuntimeError(err::kOutOfMemory, "Out of memory while reading " + path);
        case EMFILE:
        case ENFILE:
            return RuntimeError(err::kFileAlreadyOpen, "Too many files open: " + path);
        default:
            return RuntimeError(err::kDeviceIo, std::string(std::strerror(error)) + ": " + path);
    }
}

bool IsReservedDeviceName(std::string_view fileName) {
    // The name before its first dot counts, without the spaces that Windows drops.
    std::string_view stem = fileName.substr(0, fileName.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    std::string upper;
    for (const char c : stem) upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    if (upper == "NUL" || upper == "CON" || upper == "PRN" || upper == "AUX") return true;
    return upper.size() == 4 &&
           (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
           upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace ostrel
