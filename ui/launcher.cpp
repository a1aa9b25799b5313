#include "ui/launcher.h"

#include <windows.h>

#include <vector>

#include "engine/failure.h"
#include "win32/scoped.h"
#include "win32/system_error_text.h"

namespace ostrel::ui {

namespace {
long ErrorNumberFor(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_PATHNAME:
            return err::kFileNotFound;
        case ERROR_ACCESS_DENIED:
            return err::kPermissionDenied;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return err::kOutOfMemory;
        default:
            return err::kInvalidCall;
    }
}

// A program named without a folder ("notepad") is taken from the system's own folders only,
// never from the current folder, where a file of that name could have been planted.
std::wstring SystemProgramPath(const std::wstring& commandLine) {
    const std::size_t end = commandLine.find_first_of(L" \t");
    const std::wstring name = commandLine.substr(0, end);
    if (name.empty() || name.find_first_of(L"\\/:\"") != std::wstring::npos) return {};
    const std::wstring file =
        name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".exe") == 0 ? name
                                                                                  : name + L".exe";
    for (auto folder : {::GetSystemDirectoryW, ::GetWindowsDirectoryW}) {
        wchar_t buffer[MAX_PATH];
        const UINT length = folder(buffer, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) continue;
        std::wstring path = std::wstring(buffer, length) + L"\\" + file;
        if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
    }
    return {};
}
}  // namespace

void ProcessLauncher::Start(const std::wstring& commandLine, int showWindow) {
    const std::wstring program = SystemProgramPath(commandLine);
    // CreateProcessW may write into the command line, so it gets its own copy.
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showWindow);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.empty() ? nullptr : program.c_str(), line.data(), nullptr,
                          nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        const DWORD code = ::GetLastError();
        throw RuntimeError(ErrorNumberFor(code), win32::SystemErrorText(code));
    }
    // No wait: the handles go at once.
    win32::Handle thread(process.hThread);
    win32::Handle child(process.hProcess);
}

}  // namespace ostrel::ui
