#include "win32/file_error.h"

#include <windows.h>

#include <cerrno>

#include "engine/files/file_system.h"
#include "win32/system_error_text.h"

namespace ostrel::win32 {

RuntimeError FileErrorOf(unsigned long error, const std::string& path, bool writing) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return FileError(ENOENT, path, writing);
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
        case ERROR_USER_MAPPED_FILE:
        case ERROR_UNABLE_TO_REMOVE_REPLACED:
        case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
        case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
            return FileError(EACCES, path, writing);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return FileError(ENOSPC, path, writing);
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
            return FileError(EINVAL, path, writing);
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return FileError(ENOMEM, path, writing);
        case ERROR_TOO_MANY_OPEN_FILES:
            return FileError(EMFILE, path, writing);
        default:
            break;
    }
    return RuntimeError(err::kDeviceIo, SystemErrorText(error) + ": " + path);
}

}  // namespace ostrel::win32
