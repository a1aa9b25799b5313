#include "ui/form.h"

#include <windowsx.h>

#include <algorithm>
#include <exception>
#include <iterator>

#include "engine/failure.h"
#include "ui/accessible_ids.h"
#include "ui/command_button.h"
#include "ui/form_accessible.h"
#include "ui/message_boxes.h"
#include "ui/twips.h"
#include "ui/window_text.h"
#include "ui/windowless_control.h"
#include "win32/scoped.h"
#include "win32/wide_string.h"

namespace ostrel::ui {

namespace {
constexpr wchar_t kClassName[] = L"OstrelForm";

ATOM RegisterFormClass(HINSTANCE instance, WNDPROC procedure) {
    static ATOM atom = 0;
    if (atom) return atom;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;  // no CS_DBLCLKS: every press is a MouseDown
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.lpszClassName = kClassName;  // no icon: the system's default window glyph
    atom = ::RegisterClassExW(&windowClass);
    return atom;
}

DWORD DesignStyle(const FormDesign& design) {
    // Fixed single border: a caption frame that cannot be sized by its edges.
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
    if (design.controlBox) style |= WS_SYSMENU;
    if (design.minButton) style |= WS_MINIMIZEBOX;
    if (design.maxButton) style |= WS_MAXIMIZEBOX;
    return style;
}

int ShiftState(WPARAM keys) {
    int shift = 0;
    if (keys & MK_SHIFT) shift |= vbShiftMask;
    if (keys & MK_CONTROL) shift |= vbCtrlMask;
    if (::GetKeyState(VK_MENU) < 0) shift |= vbAltMask;
    return shift;
}

WPARAM ButtonFlag(MouseButton button) {
    switch (button) {
        case MouseButton::Left:
            return MK_LBUTTON;
        case MouseButton::Right:
            return MK_RBUTTON;
        default:
            return MK_MBUTTON;
    }
}
}  // namespace

Form::Form(HINSTANCE instance, FormDesign design)
    : instance_(instance), design_(std::move(design)) {}

Form::~Form() {
    DestroyNow();
}

void Form::DestroyNow() {
    if (!window_) return;
    HWND window = window_;
    // Messages sent while the window goes (focus, activation) find no form to dispatch to.
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    window_ = nullptr;
    DisconnectAccessible();
    controls_.clear();
    buttons_.clear();
    ::DestroyWindow(window);
    if (endsProgram_) ::PostQuitMessage(0);
}

void Form::Create() {
    const ATOM atom = RegisterFormClass(instance_, &Form::WindowProc);
    if (!atom) throw RuntimeError(err::kInternalError, "The window class could not be registered.");
    const DWORD style = DesignStyle(design_);
    ::CreateWindowExW(0, kClassName, design_.caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                      0, 0, nullptr, nullptr, instance_, this);
    if (!window_) throw RuntimeError(err::kInternalError, "The window could not be created.");
    // Sized once it exists: only then is its density, that of its monitor, known.
    dpi_ = WindowDpi(window_);
    const SIZE outer = OuterSizeForClient(
        SIZE{TwipsToPixels(design_.clientWidth, dpi_), TwipsToPixels(design_.clientHeight, dpi_)},
        style, dpi_);
    SetOuterSize(outer);
    InitializeComponent();
}

void Form::RaiseLoad() {
    Guarded([this] { Form_Load(); });
}

void Form::Show() {
    RECT outer{};
    ::GetWindowRect(window_, &outer);
    RECT work{};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        work = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const int x = work.left + ((work.right - work.left) - width) / 2;
    const int y = work.top + ((work.bottom - work.top) - height) / 2;
    ::SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(window_, SW_SHOW);
    ::UpdateWindow(window_);
    FocusFirstButton();
    Guarded([this] { Form_Shown(); });
}

std::wstring Form::Caption() const {
    return WindowText(window_);
}

void Form::SetCaption(const std::wstring& caption) {
    ::SetWindowTextW(window_, caption.c_str());
}

SIZE Form::OuterSize() const {
    RECT outer{};
    ::GetWindowRect(window_, &outer);
    return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}

void Form::SetOuterSize(SIZE size) {
    ::SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

float Form::Width() const {
    return PixelsToTwips(OuterSize().cx, dpi_);
}

void Form::SetWidth(float twips) {
    SetOuterSize(SIZE{TwipsToPixels(twips, dpi_), OuterSize().cy});
}

float Form::Height() const {
    return PixelsToTwips(OuterSize().cy, dpi_);
}

void Form::SetHeight(float twips) {
    SetOuterSize(SIZE{OuterSize().cx, TwipsToPixels(twips, dpi_)});
}

void Form::Refresh() {
    ::RedrawWindow(window_, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void Form::End() {
    ended_ = true;
    if (window_) ::DestroyWindow(window_);
    ::PostQuitMessage(0);
}

void Form::AddControl(WindowlessControl& control) {
    controls_.push_back(&control);
}

void Form::AddButton(CommandButton& button) {
    buttons_.push_back(&button);
    std::stable_sort(buttons_.begin(), buttons_.end(),
                     [](const CommandButton* a, const CommandButton* b) {
                         return a->TabIndex() < b->TabIndex();
                     });
}

Form* Form::FromWindow(HWND window) {
    if (!window) return nullptr;
    wchar_t name[32] = {};
    if (!::GetClassNameW(window, name, static_cast<int>(std::size(name)))) return nullptr;
    if (std::wstring_view(name) != kClassName) return nullptr;
    return reinterpret_cast<Form*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

void Form::ReportUnhandledError(long number, const std::wstring& description) {
    SystemMessageBoxes().Show(window_, UnhandledErrorText(number, description), MessageIcon::Error,
                              design_.caption);
}

template <typename Action>
void Form::Guarded(Action&& action) {
    try {
        action();
    } catch (...) {
        try {
            const RuntimeError error = FailureOf(std::current_exception());
            ReportUnhandledError(error.Number(), win32::Utf8ToWide(error.Description()));
        } catch (...) {
            // Nothing more can be said; the program goes on.
        }
    }
}

LRESULT CALLBACK Form::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Form* form = nullptr;
    if (message == WM_NCCREATE) {
        form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    } else {
        form = reinterpret_cast<Form*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!form) return ::DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    bool done = false;
    form->Guarded([&] {
        result = form->HandleMessage(message, wParam, lParam);
        done = true;
    });
    return done ? result : 0;
}

LRESULT Form::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT draws every pixel, background included
        case WM_PRINTCLIENT: {
            RECT client{};
            ::GetClientRect(window_, &client);
            PaintClient(reinterpret_cast<HDC>(wParam), client);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            OnMouseButton(MouseButton::Left, message == WM_LBUTTONDOWN,
                          POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, wParam);
            return 0;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            OnMouseButton(MouseButton::Right, message == WM_RBUTTONDOWN,
                          POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, wParam);
            return 0;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            OnMouseButton(MouseButton::Middle, message == WM_MBUTTONDOWN,
                          POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, wParam);
            return 0;
        case WM_COMMAND:
            if (lParam && OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam))) return 0;
            break;
        case WM_DRAWITEM:
            if (OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
            break;
        case WM_ACTIVATE:
            OnActivate(LOWORD(wParam) != WA_INACTIVE);
            break;
        case WM_SETFOCUS:
            OnSetFocus();
            return 0;
        case WM_DROPFILES:
            Form_DropFiles(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_DPICHANGED:
            OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_GETOBJECT:
            if (static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT)) {
                if (const LRESULT answer = AnswerClientObject(wParam)) return answer;
            }
            break;
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_NCDESTROY:
            ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
            {
                HWND window = window_;
                window_ = nullptr;
                return ::DefWindowProcW(window, message, wParam, lParam);
            }
        default:
            break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void Form::PaintClient(HDC dc, const RECT& area) const {
    win32::Brush back(::CreateSolidBrush(design_.backColor));
    ::FillRect(dc, &area, back.Get());
    if (picture_) DrawPicture(dc, picture_->Shown(), 0, 0);
    for (const WindowlessControl* control : controls_) {
        RECT overlap{};
        if (control->Visible() && ::IntersectRect(&overlap, &control->Bounds(), &area))
            control->Paint(dc);
    }
}

void Form::OnPaint() {
    {
        win32::PaintScope paint(window_);
        const RECT area = paint.Area();
        const int width = area.right - area.left;
        const int height = area.bottom - area.top;
        if (width > 0 && height > 0) {
            // Drawn off screen first, so labels never show over a half-drawn background.
            win32::Canvas canvas(paint.Get(), width, height);
            if (canvas) {
                POINT previous{};
                ::SetViewportOrgEx(canvas.Dc(), -area.left, -area.top, &previous);
                PaintClient(canvas.Dc(), area);
                ::SetViewportOrgEx(canvas.Dc(), previous.x, previous.y, nullptr);
                ::BitBlt(paint.Get(), area.left, area.top, width, height, canvas.Dc(), 0, 0,
                         SRCCOPY);
            } else {
                PaintClient(paint.Get(), area);
            }
        }
    }
    // Paint is not raised while the window is minimised.
    if (window_ && !::IsIconic(window_)) Form_Paint();
}

WindowlessControl* Form::HitTest(POINT point) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        if ((*it)->Visible() && ::PtInRect(&(*it)->Bounds(), point)) return *it;
    }
    return nullptr;
}

bool Form::OverChildWindow(POINT point) const {
    // A disabled child passes its presses to the form; they still do not reach the background.
    HWND child = ::ChildWindowFromPointEx(window_, point, CWP_SKIPINVISIBLE);
    return child && child != window_;
}

void Form::OnMouseButton(MouseButton button, bool down, POINT point, WPARAM keys) {
    const WPARAM held = keys & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON);
    WindowlessControl* target = nullptr;
    if (down) {
        // A press with no other button held starts afresh; another button joins the press.
        if (!pressed_ || (held & ~ButtonFlag(button)) == 0) {
            if (OverChildWindow(point)) return;
            pressTarget_ = HitTest(point);
            pressed_ = true;
            ::SetCapture(window_);
        }
        target = pressTarget_;
    } else {
        if (!pressed_ && OverChildWindow(point)) return;
        target = pressed_ ? pressTarget_ : HitTest(point);
        if (held == 0) {
            pressed_ = false;
            pressTarget_ = nullptr;
            if (::GetCapture() == window_) ::ReleaseCapture();
        }
    }

    MouseEventArgs args;
    args.Button = button;
    args.Shift = ShiftState(keys);
    if (target) {
        args.X = PixelsToTwips(point.x - target->Bounds().left, dpi_);
        args.Y = PixelsToTwips(point.y - target->Bounds().top, dpi_);
        const auto& handler = down ? target->MouseDown : target->MouseUp;
        if (handler) handler(args);
    } else {
        args.X = PixelsToTwips(point.x, dpi_);
        args.Y = PixelsToTwips(point.y, dpi_);
        if (down) Form_MouseDown(args);
    }
}

CommandButton* Form::ButtonFromWindow(HWND window) const {
    for (CommandButton* button : buttons_) {
        if (button->hWnd() == window) return button;
    }
    return nullptr;
}

bool Form::OnCommand(HWND control, int code) {
    CommandButton* button = ButtonFromWindow(control);
    if (!button) return false;
    if (code == BN_CLICKED && button->Click) button->Click();
    return true;
}

bool Form::OnDrawItem(const DRAWITEMSTRUCT& item) {
    const CommandButton* button = ButtonFromWindow(item.hwndItem);
    if (!button) return false;
    button->Draw(item);
    return true;
}

void Form::OnActivate(bool active) {
    if (active) return;
    HWND focus = ::GetFocus();
    if (focus && ::IsChild(window_, focus)) focusBeforeDeactivation_ = focus;
}

void Form::OnSetFocus() {
    HWND previous = focusBeforeDeactivation_;
    if (previous && ::IsWindow(previous) && ::IsChild(window_, previous) &&
        ::IsWindowEnabled(previous) && ::IsWindowVisible(previous)) {
        ::SetFocus(previous);
        return;
    }
    FocusFirstButton();
}

void Form::OnDpiChanged(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    Form_DpiChanged();
    for (WindowlessControl* control : controls_) control->SetDpi(dpi);
    for (CommandButton* button : buttons_) button->SetDpi(dpi);
    ::SetWindowPos(window_, nullptr, suggested.left, suggested.top,
                   suggested.right - suggested.left, suggested.bottom - suggested.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    Refresh();
}

void Form::OnDestroy() {
    DisconnectAccessible();
    if (endsProgram_) ::PostQuitMessage(0);
}

LRESULT Form::AnswerClientObject(WPARAM objectFlags) {
    if (accessibleClosed_) return 0;
    if (!accessible_) accessible_.Reset(FormAccessible::Create(window_, controls_));
    if (!accessible_) return 0;  // the system's own client object, then
    return ::LresultFromObject(kIidAccessible, objectFlags,
                               static_cast<IAccessible*>(accessible_.Get()));
}

void Form::DisconnectAccessible() {
    accessibleClosed_ = true;
    if (!accessible_) return;
    accessible_->Disconnect();
    accessible_.Reset();
}

void Form::ControlNameChanged(const WindowlessControl& control) {
    if (window_) RaiseNameChange(window_, controls_, control);
}

void Form::FocusFirstButton() {
    for (CommandButton* button : buttons_) {
        if (::IsWindowEnabled(button->hWnd()) && ::IsWindowVisible(button->hWnd())) {
            ::SetFocus(button->hWnd());
            return;
        }
    }
}

void Form::MoveFocus(bool forward) {
    const int count = static_cast<int>(buttons_.size());
    if (count == 0) return;
    HWND focus = ::GetFocus();
    int current = -1;
    for (int i = 0; i < count; ++i) {
        if (buttons_[static_cast<std::size_t>(i)]->hWnd() == focus) current = i;
    }
    if (current < 0) current = forward ? count - 1 : 0;
    for (int step = 1; step <= count; ++step) {
        const int index = ((current + (forward ? step : -step)) % count + count) % count;
        HWND candidate = buttons_[static_cast<std::size_t>(index)]->hWnd();
        if (::IsWindowEnabled(candidate) && ::IsWindowVisible(candidate)) {
            ::SetFocus(candidate);
            return;
        }
    }
}

// Enter presses the focused command button, as Space does and as in every dialog: the click
// the button would send. A key held down presses once.
bool Form::PressFocusedButton(LPARAM keyFlags) {
    HWND focus = ::GetFocus();
    const CommandButton* button = ButtonFromWindow(focus);
    if (!button) return false;
    constexpr LPARAM kWasDown = LPARAM{1} << 30;
    if (!(keyFlags & kWasDown) && ::IsWindowEnabled(focus))
        ::SendMessageW(window_, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(focus), BN_CLICKED),
                       reinterpret_cast<LPARAM>(focus));
    return true;
}

bool Form::PreTranslateMessage(const MSG& message) {
    if (!window_ || (message.hwnd != window_ && !::IsChild(window_, message.hwnd))) return false;
    switch (message.message) {
        case WM_KEYDOWN:
            if (message.wParam == VK_TAB && ::GetKeyState(VK_CONTROL) >= 0) {
                MoveFocus(::GetKeyState(VK_SHIFT) >= 0);
                return true;
            }
            if (message.wParam == VK_RETURN) return PressFocusedButton(message.lParam);
            return false;
        case WM_SYSCHAR: {
            // No caption defines an access key. Alt+Space opens the window menu: the form's own
            // if it has one, else the system menu (which needs the title bar's system-menu bit).
            if (message.wParam != L' ') return true;
            bool opened = true;  // an error in the menu is reported; the key is spent
            Guarded([&] { opened = OpenWindowMenu(); });
            return opened;
        }
        default:
            return false;
    }
}

}  // namespace ostrel::ui
