#include "ui/message_boxes.h"

namespace ostrel::ui {

void SystemMessageBoxes::Show(HWND owner, const std::wstring& text, MessageIcon icon,
                              const std::wstring& title) {
    const UINT type = MB_OK | (icon == MessageIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION);
    ::MessageBoxW(owner, text.c_str(), title.empty() ? kAppTitle : title.c_str(), type);
}

// Worded and marked as the Save dialog's own question about replacing a file; No is the
// default, so that Enter keeps the file.
bool SystemMessageBoxes::AskYesNo(HWND owner, const std::wstring& text) {
    return ::MessageBoxW(owner, text.c_str(), kAppTitle,
                         MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

std::wstring UnhandledErrorText(long number, const std::wstring& description) {
    return L"Run-time error '" + std::to_wstring(number) + L"':\r\n\r\n" + description;
}

}  // namespace ostrel::ui
