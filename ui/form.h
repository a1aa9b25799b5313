#pragma once
// A form: a top-level window with a background picture, windowless labels and images drawn
// over it, owner-drawn command buttons and other child controls, a tab order among the
// buttons, and the events Load, Paint and MouseDown, with Shown and DropFiles besides (for
// what the program does beyond its designed window). Screen readers find its windowless
// controls as children of its client object (ui/form_accessible.h). No exception leaves its
// window procedure: an error that no handler traps is reported and the program goes on.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "ui/mouse.h"
#include "ui/scaled_picture.h"
#include "win32/scoped.h"

namespace ostrel::ui {

class CommandButton;
class FormAccessible;
class WindowlessControl;

struct FormDesign {
    std::wstring caption;
    int clientWidth = 0;   // twips
    int clientHeight = 0;  // twips
    bool controlBox = true;
    bool maxButton = false;
    bool minButton = false;
    COLORREF backColor = RGB(255, 255, 255);
};

class Form {
  public:
    Form(HINSTANCE instance, FormDesign design);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Creates the window (fixed single border) and its controls; the handle exists from here.
    void Create();
    // Raises Load. Errors it lets through are reported like any other.
    void RaiseLoad();
    // Centres the window on the screen's work area, shows it and gives the focus to the
    // first button in tab order that can take it; then raises Shown.
    void Show();

    HWND hWnd() const { return window_; }
    // The density the window is drawn at: its own, from its creation, and the new one the
    // system names when it moves to a monitor of another density.
    int Dpi() const { return dpi_; }

    std::wstring Caption() const;
    void SetCaption(const std::wstring& caption);
    const std::wstring& Tag() const { return tag_; }
    void SetTag(std::wstring tag) { tag_ = std::move(tag); }
    // Outer size in twips.
    float Width() const;
    void SetWidth(float twips);
    float Height() const;
    void SetHeight(float twips);
    bool ControlBox() const { return design_.controlBox; }
    bool MaxButton() const { return design_.maxButton; }
    bool MinButton() const { return design_.minButton; }
    // Redraws the whole form, its frame and its controls at once.
    void Refresh();

    // When set, the form's going away ends the program (the start-up form).
    void SetEndsProgram(bool ends) { endsProgram_ = ends; }
    // Ends the program at once: the window goes and the message loop stops.
    void End();
    bool Ended() const { return ended_; }

    // Keyboard handling before dispatch (Tab order, Enter on a button, no access keys). True
    // when handled.
    bool PreTranslateMessage(const MSG& message);
    // The form a window belongs to, or nullptr.
    static Form* FromWindow(HWND window);

    // Draws the client area (background and windowless controls) into a device context.
    void PaintClient(HDC dc, const RECT& area) const;

    // Tells screen readers that a windowless control of this form has a new accessible name.
    void ControlNameChanged(const WindowlessControl& control);

  protected:
    virtual void InitializeComponent() {}
    virtual void Form_Load() {}
    virtual void Form_Paint() {}
    virtual void Form_MouseDown(const MouseEventArgs&) {}
    // Once the window shows, after its first paint.
    virtual void Form_Shown() {}
    // Files dropped on a window that accepts them (WM_DROPFILES); the handler owns the handle.
    virtual void Form_DropFiles(HDROP) {}
    // The density changed: the derived form draws its pictures anew at Dpi() and re-places the
    // controls it did not add with AddControl or AddButton; the form re-places those afterwards.
    virtual void Form_DpiChanged() {}
    // Alt+Space: opens a window menu of the form's own and returns true, or returns false to
    // leave the key to the system (which opens the system menu when the window has one).
    virtual bool OpenWindowMenu() { return false; }
    // Reports an error that reached the window procedure.
    virtual void ReportUnhandledError(long number, const std::wstring& description);

    // Destroys the window now; a derived form calls this first in its destructor, so that no
    // message reaches it while its controls are being taken apart.
    void DestroyNow();
    void SetPicture(const ScaledPicture* picture) { picture_ = picture; }
    void AddControl(WindowlessControl& control);  // above those added before
    void AddButton(CommandButton& button);

  private:
    SIZE OuterSize() const;
    void SetOuterSize(SIZE size);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    template <typename Action>
    void Guarded(Action&& action);

    void OnPaint();
    void OnMouseButton(MouseButton button, bool down, POINT point, WPARAM keys);
    bool OnCommand(HWND control, int code);
    bool OnDrawItem(const DRAWITEMSTRUCT& item);
    void OnActivate(bool active);
    void OnSetFocus();
    void OnDestroy();
    void OnDpiChanged(int dpi, const RECT& suggested);
    LRESULT AnswerClientObject(WPARAM objectFlags);
    void DisconnectAccessible();
    void MoveFocus(bool forward);
    bool PressFocusedButton(LPARAM keyFlags);
    void FocusFirstButton();
    WindowlessControl* HitTest(POINT point) const;
    bool OverChildWindow(POINT point) const;
    CommandButton* ButtonFromWindow(HWND window) const;

    HINSTANCE instance_;
    FormDesign design_;
    HWND window_ = nullptr;
    int dpi_ = 96;
    std::wstring tag_;
    const ScaledPicture* picture_ = nullptr;
    std::vector<WindowlessControl*> controls_;  // bottom first
    std::vector<CommandButton*> buttons_;
    // The control that took the current press (nullptr: the form itself) and whether a press
    // is in progress; the release goes there, wherever the pointer is.
    WindowlessControl* pressTarget_ = nullptr;
    bool pressed_ = false;
    HWND focusBeforeDeactivation_ = nullptr;
    bool endsProgram_ = false;
    bool ended_ = false;
    // Made on the first request for the client object; disconnected when the window goes.
    win32::ComRef<FormAccessible> accessible_;
    bool accessibleClosed_ = false;
};

}  // namespace ostrel::ui
