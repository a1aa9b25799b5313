#include "ui/file_dialog.h"

#include <cderr.h>
#include <commdlg.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/failure.h"

namespace ostrel::ui {

namespace {
// One file type; the pairs end with an empty string.
constexpr wchar_t kFilter[] = L"Text Documents (*.txt)\0*.txt\0";
constexpr wchar_t kDefaultExtension[] = L"txt";
}  // namespace

void CommonDialog::ShowOpen(HWND owner) {
    Show(owner, false);
}

void CommonDialog::ShowSave(HWND owner) {
    Show(owner, true);
}

void CommonDialog::Show(HWND owner, bool save) {
    std::vector<wchar_t> buffer(kPathCapacity, L'\0');
    std::char_traits<wchar_t>::copy(buffer.data(), fileName_.data(),
                                    std::min<std::size_t>(fileName_.size(), kPathCapacity - 1));

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = kPathCapacity;
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (save) {
        // The dialog appends ".txt" to a name typed without an extension, and asks about
        // replacing the file of the name it gives back, the appended one included.
        ofn.lpstrDefExt = kDefaultExtension;
        ofn.Flags |= OFN_OVERWRITEPROMPT;
    }

    const BOOL chosen = save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
    if (!chosen) {
        const DWORD code = ::CommDlgExtendedError();
        if (code == 0) throw RuntimeError(err::kCancelled, "Cancel was selected.");
        if (code == FNERR_BUFFERTOOSMALL)
            throw RuntimeError(err::kNameTooLong, "The file name is too long.");
        throw RuntimeError(err::kDialogFailed, "The file dialog could not be shown (code " +
                                                   std::to_string(code) + ").");
    }
    fileName_ = buffer.data();
}

}  // namespace ostrel::ui
