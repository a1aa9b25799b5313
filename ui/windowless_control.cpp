#include "ui/windowless_control.h"

#include "ui/form.h"

namespace ostrel::ui {

void WindowlessControl::SetVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    Invalidate();
}

void WindowlessControl::Place(const RECT& bounds) {
    Invalidate();
    bounds_ = bounds;
    Invalidate();
}

void WindowlessControl::Invalidate() const {
    if (form_) ::InvalidateRect(form_, &bounds_, FALSE);
}

void WindowlessControl::RaiseNameChange() const {
    if (Form* form = Form::FromWindow(form_)) form->ControlNameChanged(*this);
}

}  // namespace ostrel::ui
