#include "ui/windowless_control.h"

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

}  // namespace ostrel::ui
