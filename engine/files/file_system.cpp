#include "engine/files/file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include "engine/failure.h"
#include "engine/order/phrase_order.h"

namespace ostrel {
namespace fs = std::filesystem;
namespace {

// A temporary file is named "~ostrel-", a number, ".tmp": short, so that a target whose name
// is as long as the system allows still gets one.
constexpr std::string_view kTemporaryPrefix = "~ostrel-";
constexpr std::string_view kTemporarySuffix = ".tmp";

bool IsTemporaryFileName(std::string_view name) {
    if (name.size() <= kTemporaryPrefix.size() + kTemporarySuffix.size() ||
        !name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix))
        return false;
    name.remove_prefix(kTemporaryPrefix.size());
    name.remove_suffix(kTemporarySuffix.size());
    return std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A save ended by SIGKILL, a crash or a power cut leaves its temporary file behind; the next
// save to the same folder removes those that no running save holds.
void RemoveAbandonedTemporaryFiles(const fs::path& folder) noexcept {
    try {
        std::error_code error;
        for (fs::directory_iterator entry(folder.empty() ? fs::path(".") : folder, error), end;
             !error && entry != end; entry.increment(error)) {
            if (IsTemporaryFileName(Utf8Of(entry->path().filename())))
                RemoveIfAbandoned(Utf8Of(entry->path()));
        }
    } catch (...) {
        // Only a clean-up: the save goes on without it.
    }
}

// The folder, not the file, refused the save: the message names the folder.
RuntimeError FolderRefusal(const fs::path& folder) {
    std::error_code error;
    const fs::path named = folder.empty() ? fs::current_path(error) : folder;
    return RuntimeError(
        err::kPermissionDenied,
        "Permission denied (the folder may be read-only or not allow new files): " + Utf8Of(named));
}

}  // namespace

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
            // A list is only read: being read-only stops no read.
            return RuntimeError(err::kPermissionDenied,
                                writing ? "Permission denied (the file may be read-only or in use "
                                          "by another program): " +
                                              path
                                        : "Permission denied (the file may be in use by another "
                                          "program, or you may not be allowed to read it): " +
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

std::FILE* CreateTemporaryFile(const SaveTarget& target, const std::string& utf8Path,
                               std::string& tempPath) {
    const fs::path folder = NativePath(target.path).parent_path();
    RemoveAbandonedTemporaryFiles(folder);
    std::random_device random;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string path = Utf8Of(folder / (std::string(kTemporaryPrefix) +
                                                  std::to_string(random() % 1000000000u) +
                                                  std::string(kTemporarySuffix)));
        std::FILE* file = nullptr;
        switch (CreateNewFile(path, target.exists, utf8Path, file)) {
            case NewFile::Made:
                tempPath = path;
                return file;
            case NewFile::NameTaken:
                continue;
            case NewFile::FolderRefuses:
                if (target.exists) return nullptr;
                throw FolderRefusal(folder);
        }
    }
    throw FileError(EEXIST, utf8Path, true);
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
