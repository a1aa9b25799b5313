#include "ui/message_boxes.h"

namespace ostrel::ui {

void SystemMessageBoxes::Show(HWND owner, const std::wstring& text, MessageIcon icon,
                              const std::wstring& title) {
    const UINT type = MB_OK | (icon == MessageIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION);
    ::MessageBoxW(owner, text.c_str(), title.empty() ? kAppTitle : title.c_str(), type);
}

std::wstring UnhandledErrorText(long number, const std::wstring& description) {
    return L"Run-time error '" + std::to_wstring(number) + L"':\r\n\r\n" + description;
}

}  // namespace ostrel::ui
