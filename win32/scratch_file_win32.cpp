// Scratch files on Windows: made new under a name of this process, unshared and
// delete-on-close, so that the system removes them when the handle goes, however the process
// ends.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>

#include "engine/files/file_system.h"
#include "engine/runs/scratch_file.h"
#include "win32/file_error.h"
#include "win32/long_path.h"
#include "win32/scoped.h"
#include "win32/wide_string.h"

namespace ostrel {
namespace {

// The number of the next scratch file's name, shared by every thread of the process.
std::atomic<std::uint64_t> nextNumber{1};

// A file in folder (UTF-16, without a trailing separator unless it is a drive's root).
std::wstring InFolder(const std::wstring& folder, const std::wstring& name) {
    return folder.empty() || folder.back() == L'\\' ? folder + name : folder + L'\\' + name;
}

}  // namespace

std::string TemporaryFolder() {
    std::wstring path(MAX_PATH + 1, L'\0');
    for (;;) {
        // The length written, or, when the buffer is too small, the size it needs.
        const DWORD length = GetTempPathW(static_cast<DWORD>(path.size()), path.data());
        if (length == 0) return ".";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(length);
    }
    // "C:\" keeps its separator: without it, it names the current folder of drive C.
    if (path.size() > 1 && path.back() == L'\\' && path[path.size() - 2] != L':') path.pop_back();
    return win32::WideToUtf8(path);
}

std::FILE* CreateScratchFile(const std::string& folder) {
    const std::wstring wideFolder = win32::Utf8ToWide(folder);
    const std::wstring prefix = L"ostrel-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    for (;;) {
        const std::wstring path =
            win32::LongPath(InFolder(wideFolder, prefix + std::to_wstring(nextNumber++) + L".run"));
        // Unshared, so that a clean-up by another instance cannot delete it while it is used.
        win32::Handle handle(
            CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (!handle) {
            const DWORD error = GetLastError();
            // A name left by an earlier process of the same id: the next one will do.
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            throw win32::FileErrorOf(error, folder, true);
        }
        const int fd =
            _open_osfhandle(reinterpret_cast<std::intptr_t>(handle.Get()), _O_RDWR | _O_BINARY);
        if (fd == -1) throw FileError(errno ? errno : EMFILE, folder, true);
        handle.Release();  // the descriptor closes it from here on
        std::FILE* file = _fdopen(fd, "w+b");
        if (!file) {
            const int error = errno ? errno : EMFILE;
            _close(fd);
            throw FileError(error, folder, true);
        }
        return file;
    }
}

bool SeekScratchFile(std::FILE* file, std::uint64_t offset) {
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

void ClearAbandonedScratchFiles(const std::string& folder) noexcept {
    try {
        const std::wstring wideFolder = win32::Utf8ToWide(folder);
        WIN32_FIND_DATAW found{};
        const win32::FindHandle search(
            FindFirstFileW(win32::LongPath(InFolder(wideFolder, L"ostrel-*.run")).c_str(), &found));
        if (!search) return;
        do {
            if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
                continue;
            if (!IsScratchFileName(win32::WideToUtf8(found.cFileName))) continue;
            // Fails, as it should, on a file a running instance holds open: it shares nothing.
            DeleteFileW(win32::LongPath(InFolder(wideFolder, found.cFileName)).c_str());
        } while (FindNextFileW(search.Get(), &found));
    } catch (...) {
        // Only a clean-up: no memory for a name leaves the files for the next start.
    }
}

}  // namespace ostrel
