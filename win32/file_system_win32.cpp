// Replacing a file on Windows: device paths and reserved names refused by name, the file's
// type checked on a handle that reads and writes nothing, links followed to the final path,
// and ReplaceFileW, which keeps the replaced file's attributes, security and streams.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "engine/files/file_system.h"
#include "engine/files/unfinished_file.h"
#include "engine/order/phrase_order.h"
#include "win32/file_error.h"
#include "win32/long_path.h"
#include "win32/scoped.h"

namespace ostrel {
namespace {

// Every path handed to Windows, in the long form; messages keep naming the path as given.
std::wstring Wide(const std::string& utf8Path) {
    return win32::LongPath(NativePath(utf8Path).wstring());
}

bool IsSlash(char c) {
    return c == '\\' || c == '/';
}

// "name" followed by a separator, in any letter case.
bool StartsWithFolder(std::string_view path, std::string_view name) {
    return path.size() > name.size() && IsSlash(path[name.size()]) &&
           EqualsIgnoringAsciiCase(path.substr(0, name.size()), name);
}

// \\server\pipe\name is a pipe on another machine; \\server\share\... a file.
std::optional<NotAFile> NetworkPathKind(std::string_view rest) {
    std::size_t server = 0;
    while (server < rest.size() && !IsSlash(rest[server])) ++server;
    if (server == rest.size()) return std::nullopt;
    const std::string_view share = rest.substr(server + 1);
    if (StartsWithFolder(share, "pipe")) return NotAFile::Pipe;
    if (StartsWithFolder(share, "mailslot")) return NotAFile::DevicePath;
    return std::nullopt;
}

// What a path in the device namespace (\\.\, \\?\, \??\) or a network path names when it is
// not a file: the long form of a path on a drive or a share names a file like any other.
std::optional<NotAFile> DevicePathKind(std::string_view path) {
    const bool twoSlashes = path.size() >= 2 && IsSlash(path[0]) && IsSlash(path[1]);
    const bool devicePrefix = path.size() >= 4 && IsSlash(path[3]) &&
                              ((twoSlashes && (path[2] == '.' || path[2] == '?')) ||
                               (path[0] == '\\' && path[1] == '?' && path[2] == '?'));
    if (!devicePrefix) return twoSlashes ? NetworkPathKind(path.substr(2)) : std::nullopt;
    const std::string_view rest = path.substr(4);
    const bool letter = !rest.empty() && FoldAscii(rest[0]) >= 'a' && FoldAscii(rest[0]) <= 'z';
    if (letter && rest.size() >= 3 && rest[1] == ':' && IsSlash(rest[2])) return std::nullopt;
    if (StartsWithFolder(rest, "unc")) return NetworkPathKind(rest.substr(4));
    if (StartsWithFolder(rest, "pipe")) return NotAFile::Pipe;
    return NotAFile::DevicePath;
}

// A C stream on an open handle, which from then on closes it; null, with the handle closed
// and errno set, when the runtime cannot take it.
std::FILE* StreamOn(win32::Handle& handle, bool writing) {
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle.Get()),
                                   (writing ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
    if (fd == -1) {
        handle.Reset();
        return nullptr;
    }
    handle.Release();  // the descriptor closes it from here on
    std::FILE* stream = _fdopen(fd, writing ? "wb" : "rb");
    if (!stream) {
        const int error = errno;
        _close(fd);
        errno = error;
    }
    return stream;
}

// Refuses, by its name alone, a path that names no file: the device namespace, a pipe, or a
// name Windows keeps for a device in every folder.
void RefuseDeviceNames(const std::string& utf8Path) {
    if (const auto kind = DevicePathKind(utf8Path)) throw NotAFileError(*kind, utf8Path);
    if (IsReservedDeviceName(Utf8Of(NativePath(utf8Path).filename())))
        throw NotAFileError(NotAFile::ReservedName, utf8Path);
}

// What an open handle leads to, once it is known to be a regular file: a pipe, device or
// folder is refused. known says whether the system gave the file's information.
struct FileFacts {
    BY_HANDLE_FILE_INFORMATION information{};
    bool known = false;
};
FileFacts RequireRegularFile(HANDLE handle, const std::string& utf8Path) {
    const DWORD type = GetFileType(handle);
    FileFacts facts;
    facts.known = GetFileInformationByHandle(handle, &facts.information) != 0;
    if (type == FILE_TYPE_PIPE) throw NotAFileError(NotAFile::Pipe, utf8Path);
    if (type == FILE_TYPE_CHAR) throw NotAFileError(NotAFile::Device, utf8Path);
    if (type != FILE_TYPE_DISK) throw NotAFileError(NotAFile::Other, utf8Path);
    if (facts.known && (facts.information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        throw NotAFileError(NotAFile::Folder, utf8Path);
    return facts;
}

}  // namespace

namespace {

// The size and last-write time; Windows keeps no change time that a write cannot set back.
FileStamp StampFrom(const FileFacts& facts) {
    FileStamp stamp;
    if (!facts.known) return stamp;
    const BY_HANDLE_FILE_INFORMATION& info = facts.information;
    stamp.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    stamp.written =
        static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                  info.ftLastWriteTime.dwLowDateTime);
    return stamp;
}

}  // namespace

std::FILE* OpenRegularFileForReading(const std::string& utf8Path, FileStamp& stamp) {
    RefuseDeviceNames(utf8Path);
    win32::Handle handle(CreateFileW(Wide(utf8Path).c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) throw FileError(ENOENT, utf8Path, false);
        throw win32::FileErrorOf(error, utf8Path, false);
    }
    const FileFacts facts = RequireRegularFile(handle.Get(), utf8Path);
    std::FILE* stream = StreamOn(handle, false);
    if (!stream) throw FileError(errno ? errno : EMFILE, utf8Path, false);
    stamp = StampFrom(facts);
    return stream;
}

FileStamp StampOf(std::FILE* file, const std::string& utf8Path) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    FileFacts facts;
    facts.known = GetFileInformationByHandle(handle, &facts.information) != 0;
    if (!facts.known) throw win32::FileErrorOf(GetLastError(), utf8Path, false);
    return StampFrom(facts);
}

SaveTarget FindSaveTarget(const std::string& utf8Path) {
    RefuseDeviceNames(utf8Path);

    SaveTarget target;
    target.path = utf8Path;
    const std::wstring path = Wide(utf8Path);
    // Asking for no access reads and writes nothing; the handle only tells what the path
    // leads to, links followed.
    win32::Handle handle(CreateFileW(path.c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            throw win32::FileErrorOf(error, utf8Path, true);
        // A link to no file: moving a file to its name would put the file in its place.
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            throw RuntimeError(err::kPathNotFound, "This link leads to no file: " + utf8Path);
        return target;  // a new file
    }
    const FileFacts facts = RequireRegularFile(handle.Get(), utf8Path);
    std::wstring finalPath(32768, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handle.Get(), finalPath.data(),
                                                   static_cast<DWORD>(finalPath.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    handle.Reset();
    if (length > 0 && length < finalPath.size()) {
        finalPath.resize(length);
        target.path = Utf8Of(std::filesystem::path(finalPath));
    }
    // A file that cannot be written is not replaced either: a read-only one (even for an
    // administrator, as Windows keeps it), or one open in a program that lets nobody else
    // write it.
    if (facts.known && (facts.information.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        throw FileError(EACCES, utf8Path, true);
    const win32::Handle probe(CreateFileW(Wide(target.path).c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) throw win32::FileErrorOf(GetLastError(), utf8Path, true);
    target.exists = true;
    return target;
}

NewFile CreateNewFile(const std::string& path, bool, const std::string& utf8Path,
                      std::FILE*& file) {
    // Shared for deleting: a console control handler removes it while it is still open when
    // the program is ended part-way. Open, it is held: a clean-up asks for it unshared.
    win32::Handle handle(CreateFileW(Wide(path).c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return NewFile::NameTaken;
        if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT)
            return NewFile::FolderRefuses;
        throw win32::FileErrorOf(error, utf8Path, true);
    }
    file = StreamOn(handle, true);
    if (!file) {
        const int error = errno ? errno : EMFILE;
        RemoveFile(path);
        throw FileError(error, utf8Path, true);
    }
    unfinished_file::Set(Wide(path));
    return NewFile::Made;
}

void RemoveIfAbandoned(const std::string& path) noexcept {
    try {
        // Asking for it unshared fails while a running save has it open. A link or folder of
        // that name is left alone.
        const win32::Handle handle(CreateFileW(Wide(path).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                               nullptr));
        BY_HANDLE_FILE_INFORMATION information{};
        if (!handle || GetFileType(handle.Get()) != FILE_TYPE_DISK ||
            !GetFileInformationByHandle(handle.Get(), &information) ||
            (information.dwFileAttributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            return;
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = TRUE;
        SetFileInformationByHandle(handle.Get(), FileDispositionInfo, &disposition,
                                   sizeof disposition);
    } catch (...) {
        // No memory for the conversion: only a clean-up.
    }
}

void TakeIdentity(std::FILE*, const SaveTarget&, const std::string&) {}

// FlushFileBuffers waits for the disk; the flush at the end calls it once.
void StartWriteBack(std::FILE*) noexcept {}

bool MoveOverTarget(std::FILE*& temporary, const std::string& tempPath, const SaveTarget& target,
                    const std::string& utf8Path) {
    errno = 0;
    if (std::fclose(std::exchange(temporary, nullptr)) != 0)
        throw FileError(errno ? errno : EIO, utf8Path, true);
    const std::wstring from = Wide(tempPath), to = Wide(target.path);
    if (!target.exists) {
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            throw win32::FileErrorOf(error, utf8Path, true);
        // Made meanwhile: replaced like any other.
    }
    if (ReplaceFileW(to.c_str(), from.c_str(), nullptr, 0, nullptr, nullptr)) return true;
    // Both refusals leave the target as it was; a share may allow changing a file but not
    // deleting or replacing it.
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_REMOVE_REPLACED) return false;
    throw win32::FileErrorOf(error, utf8Path, true);
}

std::FILE* OpenToOverwrite(const SaveTarget& target, const std::string& utf8Path,
                           std::uint64_t resultBytes) {
    // Shared for reading only: nobody else writes it meanwhile.
    win32::Handle handle(CreateFileW(Wide(target.path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) throw win32::FileErrorOf(GetLastError(), utf8Path, true);
    RequireRegularFile(handle.Get(), utf8Path);
    LARGE_INTEGER oldSize{};
    if (!GetFileSizeEx(handle.Get(), &oldSize))
        throw win32::FileErrorOf(GetLastError(), utf8Path, true);
    if (resultBytes > static_cast<std::uint64_t>(oldSize.QuadPart)) {
        // Setting the file's end takes the result's room on the disk; a disk too full refuses
        // it here, and the old end is set back.
        LARGE_INTEGER end{};
        end.QuadPart = static_cast<LONGLONG>(resultBytes);
        if (!SetFilePointerEx(handle.Get(), end, nullptr, FILE_BEGIN) ||
            !SetEndOfFile(handle.Get())) {
            const DWORD error = GetLastError();
            if (SetFilePointerEx(handle.Get(), oldSize, nullptr, FILE_BEGIN)) {
                SetEndOfFile(handle.Get());
            }
            throw win32::FileErrorOf(error, utf8Path, true);
        }
    }
    const LARGE_INTEGER start{};
    if (!SetFilePointerEx(handle.Get(), start, nullptr, FILE_BEGIN))
        throw win32::FileErrorOf(GetLastError(), utf8Path, true);
    std::FILE* stream = StreamOn(handle, true);
    if (!stream) throw FileError(errno ? errno : EMFILE, utf8Path, true);
    return stream;
}

void EndFileAt(std::FILE* file, std::uint64_t size, const std::string& utf8Path) {
    errno = 0;
    if (std::fflush(file) != 0) throw FileError(errno ? errno : EIO, utf8Path, true);
    const errno_t error = _chsize_s(_fileno(file), static_cast<__int64>(size));
    if (error != 0) throw FileError(error, utf8Path, true);
}

bool RemoveFile(const std::string& utf8Path) noexcept {
    try {
        return DeleteFileW(Wide(utf8Path).c_str()) != 0;
    } catch (...) {
        return false;  // no memory for the conversion
    }
}

}  // namespace ostrel
