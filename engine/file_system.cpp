#include "engine/file_system.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "engine/case_fold.h"
#include "engine/failure.h"

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
        case ENAMETOOLONG:
            return RuntimeError(err::kBadFileName, "The file name is too long: " + path);
        case EINVAL:
        case EILSEQ:
            return RuntimeError(err::kBadFileName, "Bad file name: " + path);
        case ENOMEM:
            return RuntimeError(
                err::kOutOfMemory,
                OutOfMemoryText(writing ? FileAction::Writing : FileAction::Reading, path));
        case EMFILE:
        case ENFILE:
            return RuntimeError(err::kFileAlreadyOpen, "Too many files open: " + path);
        default:
            return RuntimeError(err::kDeviceIo, std::string(std::strerror(error)) + ": " + path);
    }
}

RuntimeError NotAFileError(NotAFile kind, const std::string& path) {
    switch (kind) {
        case NotAFile::Folder:
            return RuntimeError(err::kPermissionDenied, "This is a folder, not a file: " + path);
        case NotAFile::Device:
            return RuntimeError(err::kPermissionDenied, "This is a device, not a file: " + path);
        case NotAFile::Pipe:
            return RuntimeError(err::kPermissionDenied, "This is a pipe, not a file: " + path);
        case NotAFile::Socket:
            return RuntimeError(err::kPermissionDenied, "This is a socket, not a file: " + path);
        case NotAFile::DevicePath:
            return RuntimeError(err::kBadFileName, "This names a device, not a file: " + path);
        case NotAFile::ReservedName:
            return RuntimeError(err::kBadFileName,
                                "This name is reserved for a device on Windows: " + path);
        case NotAFile::Other:
            break;
    }
    return RuntimeError(err::kPermissionDenied, "This is not a regular file: " + path);
}

bool IsReservedDeviceName(std::string_view fileName) {
    // Windows takes the name before the first dot (or stream colon), trailing spaces dropped.
    std::string_view base = fileName.substr(0, fileName.find_first_of(".:"));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    std::string name(base);
    for (char& c : name) c = FoldAscii(c);
    if (name == "nul" || name == "con" || name == "prn" || name == "aux" || name == "conin$" ||
        name == "conout$")
        return true;
    if (name.size() < 4 || (name.compare(0, 3, "com") != 0 && name.compare(0, 3, "lpt") != 0))
        return false;
    const std::string_view number = std::string_view(name).substr(3);
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace ostrel
