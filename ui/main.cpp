// Ostrel's entry point: it only hands control to the forms layer, with frmDuplicate as the
// start-up form.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <exception>
#include <string>
#include <vector>

#include "engine/failure.h"
#include "engine/runs/scratch_file.h"
#include "ui/file_dialog.h"
#include "ui/frm_duplicate.h"
#include "ui/launcher.h"
#include "ui/message_boxes.h"
#include "ui/message_loop.h"
#include "ui/user32.h"
#include "win32/ansi_code_page.h"
#include "win32/scoped.h"
#include "win32/wide_string.h"

namespace {
// The program's arguments after its own name, in UTF-16 whatever the code page, as Explorer
// passes them for "Open with", "Send to" or files dropped on the program's icon.
std::vector<std::wstring> ProgramArguments() {
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!argv) return arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(argv[i]);
    ::LocalFree(argv);
    return arguments;
}

// Scratch files that a crash of the system left in the temporary folder.
void ClearScratchFilesLeftBehind() noexcept {
    try {
        ostrel::ClearAbandonedScratchFiles(ostrel::TemporaryFolder());
    } catch (...) {
        // No memory for the folder's name: only a clean-up.
    }
}

void ReportStartFailure(long number, const std::wstring& description) {
    ::MessageBoxW(nullptr, ostrel::ui::UnhandledErrorText(number, description).c_str(),
                  ostrel::ui::kAppTitle, MB_OK | MB_ICONERROR);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ClearScratchFilesLeftBehind();
    // COM for the picture decoder and the file dialogs, for the life of the program.
    ostrel::win32::ComApartment com;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    try {
        ostrel::ui::CommonDialog cmdlgP;
        ostrel::ui::SystemMessageBoxes messageBoxes;
        ostrel::ui::ProcessLauncher launcher;
        ostrel::ui::SystemUser32 user32;
        ostrel::ui::frmDuplicate form(instance, cmdlgP, messageBoxes, launcher, user32,
                                      ostrel::win32::SystemAnsiCodePage());
        form.OpenOnceShown(ProgramArguments());
        return ostrel::ui::RunStartupForm(form);
    } catch (...) {
        const ostrel::RuntimeError error = ostrel::FailureOf(std::current_exception());
        ReportStartFailure(error.Number(), ostrel::win32::Utf8ToWide(error.Description()));
    }
    return 1;
}
