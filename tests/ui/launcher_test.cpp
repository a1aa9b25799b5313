// "Save && Open" through the window with the real program launcher, on names that a command
// shell would take apart (&, ^, %NAME%): Notepad alone starts, as a child of this process, with
// exactly the command line the engine builds and maximised, and shows the whole file name in its
// title.
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "tests/ui/fakes.h"
#include "tests/ui/window_fixture.h"
#include "ui/frm_duplicate.h"
#include "ui/launcher.h"
#include "ui/message_loop.h"
#include "ui/user32.h"
#include "win32/ansi_code_page.h"
#include "win32/wide_string.h"

namespace ostrel::ui::test {
namespace {

struct ChildProcess {
    DWORD id;
    std::wstring exe;
};

std::vector<ChildProcess> ChildrenOfThisProcess() {
    std::vector<ChildProcess> children;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return children;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
         more = ::Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID == ::GetCurrentProcessId() &&
            entry.th32ProcessID != ::GetCurrentProcessId())
            children.push_back({entry.th32ProcessID, entry.szExeFile});
    }
    ::CloseHandle(snapshot);
    return children;
}

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The titles of the visible top-level windows of one process.
std::vector<std::wstring> WindowTitlesOf(DWORD processId) {
    struct Search {
        DWORD processId;
        std::vector<std::wstring> titles;
    } search{processId, {}};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == s.processId && ::IsWindowVisible(window)) {
                wchar_t title[512] = {};
                ::GetWindowTextW(window, title, 512);
                s.titles.emplace_back(title);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.titles;
}

// The start of a process's parameters as the system lays them out, as far as the window flags
// that CreateProcess took from STARTUPINFO; the headers declare only the first fields.
struct ProcessParameters {
    ULONG maximumLength, length, flags, debugFlags;
    HANDLE console;
    ULONG consoleFlags;
    HANDLE standardInput, standardOutput, standardError;
    UNICODE_STRING currentDirectory;
    HANDLE currentDirectoryHandle;
    UNICODE_STRING dllPath, imagePathName, commandLine;
    PVOID environment;
    ULONG startingX, startingY, countX, countY, countCharsX, countCharsY, fillAttribute;
    ULONG windowFlags;      // STARTUPINFO.dwFlags
    ULONG showWindowFlags;  // STARTUPINFO.wShowWindow
};
static_assert(offsetof(ProcessParameters, commandLine) ==
              offsetof(RTL_USER_PROCESS_PARAMETERS, CommandLine));

// What another process was started with, read from its process parameters.
bool ParametersOf(HANDLE process, ProcessParameters& parameters) {
    using Query = LONG(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query) return false;
    PROCESS_BASIC_INFORMATION basic{};
    if (query(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0 ||
        !basic.PebBaseAddress)
        return false;
    PEB peb{};
    if (!::ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof(peb), nullptr) ||
        !peb.ProcessParameters)
        return false;
    return ::ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof(parameters),
                               nullptr) != FALSE;
}

bool CommandLineOf(HANDLE process, const ProcessParameters& parameters, std::wstring& line) {
    line.assign(parameters.commandLine.Length / sizeof(wchar_t), L'\0');
    return line.empty() || ::ReadProcessMemory(process, parameters.commandLine.Buffer, line.data(),
                                               parameters.commandLine.Length, nullptr);
}

template <typename Condition>
bool WaitFor(Condition condition, DWORD milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (!condition()) {
        if (::GetTickCount64() > end) return false;
        DoEvents();
        ::Sleep(50);
    }
    return true;
}

class NotepadLaunchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t base[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH, base);
        folder_ = std::wstring(base) + L"ostrel-launch-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        form_ = std::make_unique<frmDuplicate>(::GetModuleHandleW(nullptr), dialog, boxes, launcher,
                                               user32, win32::SystemAnsiCodePage());
        StartForm(*form_);
        DoEvents();
    }
    void TearDown() override {
        for (HANDLE process : started_) {
            ::TerminateProcess(process, 0);
            ::WaitForSingleObject(process, 5000);
            ::CloseHandle(process);
        }
        form_.reset();
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message != WM_QUIT) ::DispatchMessageW(&message);
        }
        for (const std::wstring& file : files_) ::DeleteFileW(file.c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }

    std::wstring File(const std::wstring& name) {
        files_.push_back(folder_ + L"\\" + name);
        return files_.back();
    }
    void Click(const CommandButton& button) {
        ::PostMessageW(button.hWnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        ::PostMessageW(button.hWnd(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        DoEvents();
    }
    // Keeps a handle to a started process, to end it by its id afterwards.
    HANDLE Adopt(DWORD id) {
        HANDLE process = ::OpenProcess(
            PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
            id);
        if (process) started_.push_back(process);
        return process;
    }
    void End(HANDLE process) {
        ::TerminateProcess(process, 0);
        EXPECT_EQ(::WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
    }

    frmDuplicate& Form() { return *form_; }

    FakeFileDialog dialog;
    FakeMessageBoxes boxes;
    ProcessLauncher launcher;
    SystemUser32 user32;

  private:
    std::wstring folder_;
    std::vector<std::wstring> files_;
    std::vector<HANDLE> started_;
    std::unique_ptr<frmDuplicate> form_;
};

TEST_F(NotepadLaunchTest, NotepadAloneStartsOnNamesAShellWouldTakeApart) {
    const std::wstring list = File(L"list.txt");
    {
        HANDLE file = ::CreateFileW(list.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ::WriteFile(file, "beta\r\nalpha\r\nBeta\r\n", 19, &written, nullptr);
        ::CloseHandle(file);
    }
    dialog.WillChoose(list);
    Click(Form().cmdOpen);
    ASSERT_TRUE(boxes.shown.empty()) << win32::WideToUtf8(boxes.shown[0].text);
    ASSERT_TRUE(ChildrenOfThisProcess().empty()) << "a child process was running before the test";

    for (const std::wstring name : {L"a&b^c%PATH%.txt", L"x & y ^^ z %OS% 100%.txt"}) {
        SCOPED_TRACE(win32::WideToUtf8(name));
        const std::wstring target = File(name);
        boxes.shown.clear();
        dialog.WillChoose(target);
        Click(Form().cmdSaveOpen);
        ASSERT_FALSE(boxes.shown.empty());
        EXPECT_EQ(boxes.shown[0].text, L"File saved successfully");
        ASSERT_EQ(boxes.shown.size(), 1u) << win32::WideToUtf8(boxes.shown[1].text);

        // Exactly one child, Notepad itself: no shell in between, no piece of the name run.
        std::vector<ChildProcess> children;
        ASSERT_TRUE(WaitFor([&] { return !(children = ChildrenOfThisProcess()).empty(); }, 15000))
            << "nothing was started";
        ASSERT_EQ(children.size(), 1u) << win32::WideToUtf8(children[1].exe);
        EXPECT_TRUE(SameTextIgnoringCase(children[0].exe, L"notepad.exe"))
            << win32::WideToUtf8(children[0].exe);
        HANDLE notepad = Adopt(children[0].id);
        ASSERT_NE(notepad, nullptr);

        // Its window shows the whole file name, so it opened the saved file.
        const bool titled = WaitFor(
            [&] {
                for (const std::wstring& title : WindowTitlesOf(children[0].id))
                    if (title.find(name) != std::wstring::npos) return true;
                return false;
            },
            15000);
        EXPECT_TRUE(titled) << "no Notepad window names the file";

        // It was given the command line the engine built, unchanged. (Wine's Notepad ends the
        // path in place while parsing it, over the closing quote; nothing else may differ.)
        const std::wstring built = L"notepad \"" + target + L"\"";
        ProcessParameters parameters{};
        std::wstring line;
        if (ParametersOf(notepad, parameters) && CommandLineOf(notepad, parameters, line)) {
            if (line.size() == built.size() && line.back() == L'\0') line.back() = L'"';
            EXPECT_EQ(line, built) << win32::WideToUtf8(line);
            // And the window style the engine asks for: maximised, with the focus (3).
            EXPECT_EQ(parameters.windowFlags & 1u, 1u) << "STARTF_USESHOWWINDOW";
            EXPECT_EQ(parameters.showWindowFlags, 3u);
        } else {
            ADD_FAILURE() << "the parameters of Notepad cannot be read";
        }

        End(notepad);
        EXPECT_TRUE(WaitFor([] { return ChildrenOfThisProcess().empty(); }, 5000));
    }
}

}  // namespace
}  // namespace ostrel::ui::test
