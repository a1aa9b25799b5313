#pragma once
// A control without a window of its own: the form paints it over its background and routes
// mouse presses inside its rectangle to it. Later-added controls lie above earlier ones.
#include <windows.h>

#include <functional>
#include <string>

#include "ui/mouse.h"

namespace ostrel::ui {

// What a screen reader is told a windowless control is; a control with None is not shown to it.
enum class AccessibleRole { None, StaticText, PushButton };

class WindowlessControl {
  public:
    WindowlessControl() = default;
    virtual ~WindowlessControl() = default;
    WindowlessControl(const WindowlessControl&) = delete;
    WindowlessControl& operator=(const WindowlessControl&) = delete;

    // The rectangle in the form's client pixels.
    const RECT& Bounds() const { return bounds_; }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    virtual void Paint(HDC dc) const = 0;
    // Takes the place, size and font the design gives at the window's new density.
    virtual void SetDpi(int dpi) = 0;

    virtual AccessibleRole Role() const { return AccessibleRole::None; }
    virtual std::wstring AccessibleName() const { return {}; }

    std::function<void(const MouseEventArgs&)> MouseDown;
    std::function<void(const MouseEventArgs&)> MouseUp;

  protected:
    void Attach(HWND form) { form_ = form; }
    // Moves the control; the form repaints where it was and where it is.
    void Place(const RECT& bounds);
    // Repaints the form under the rectangle, background first, so that nothing is left behind.
    void Invalidate() const;
    // Tells screen readers that AccessibleName has changed.
    void RaiseNameChange() const;

  private:
    HWND form_ = nullptr;
    RECT bounds_{};
    bool visible_ = true;
};

}  // namespace ostrel::ui
