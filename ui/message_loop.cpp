#include "ui/message_loop.h"

#include <windows.h>

#include "ui/form.h"

namespace ostrel::ui {

void Dispatch(const MSG& message) {
    Form* form = Form::FromWindow(::GetAncestor(message.hwnd, GA_ROOT));
    if (form && form->PreTranslateMessage(message)) return;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

int RunMessageLoop() {
    MSG message{};
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        Dispatch(message);
    }
    return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}

void StartForm(Form& form) {
    form.Create();
    form.RaiseLoad();
    if (form.Ended() || !form.hWnd()) return;
    form.Show();
}

int RunStartupForm(Form& form) {
    form.SetEndsProgram(true);
    StartForm(form);
    if (form.Ended() || !form.hWnd()) return 0;
    return RunMessageLoop();
}

}  // namespace ostrel::ui
