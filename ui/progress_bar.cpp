#include "ui/progress_bar.h"

#include <commctrl.h>

#include <cmath>
#include <limits>

#include "ui/twips.h"

namespace ostrel::ui {

namespace {
int ToPosition(float value) {
    if (std::isnan(value)) return 0;
    const double rounded = std::floor(static_cast<double>(value) + 0.5);
    if (rounded <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    if (rounded >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return static_cast<int>(rounded);
}
}  // namespace

void ProgressBar::Create(HWND form, int dpi, const ProgressBarDesign& design, User32& user32) {
    user32_ = &user32;
    place_ = design.place;
    const RECT box = TwipsRect(place_, dpi);
    window_ = ::CreateWindowExW(
        0, PROGRESS_CLASSW, L"", WS_CHILD | PBS_SMOOTH, box.left, box.top, box.right - box.left,
        box.bottom - box.top, form, nullptr,
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(form, GWLP_HINSTANCE)), nullptr);
    min_ = 0;
    max_ = design.max;
    value_ = 0;
    ApplyRange();
}

void ProgressBar::SetDpi(int dpi) {
    const RECT box = TwipsRect(place_, dpi);
    ::MoveWindow(window_, box.left, box.top, box.right - box.left, box.bottom - box.top, TRUE);
}

void ProgressBar::ApplyRange() {
    ::SendMessageW(window_, PBM_SETRANGE32, static_cast<WPARAM>(ToPosition(min_)),
                   static_cast<LPARAM>(ToPosition(max_)));
    shownPosition_ = static_cast<int>(::SendMessageW(window_, PBM_GETPOS, 0, 0));
    SyncPosition();
}

void ProgressBar::SyncPosition() {
    const int position = ToPosition(value_);
    if (position == shownPosition_) return;
    ::SendMessageW(window_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    shownPosition_ = position;
}

void ProgressBar::SetValue(float value) {
    value_ = value;
    MaybeRepaint();
}

void ProgressBar::SetMin(float min) {
    min_ = min;
    ApplyRange();
}

void ProgressBar::SetMax(float max) {
    max_ = max;
    ApplyRange();
}

bool ProgressBar::Visible() const {
    return ::IsWindowVisible(window_) != FALSE;
}

void ProgressBar::SetVisible(bool visible) {
    SyncPosition();
    ::ShowWindow(window_, visible ? SW_SHOWNA : SW_HIDE);
    if (visible) {
        ::RedrawWindow(::GetParent(window_), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        lastRepaint_ = ::GetTickCount64();
        changesSinceCheck_ = 0;
    }
}

void ProgressBar::MaybeRepaint() {
    if (++changesSinceCheck_ < kChangesPerClockCheck) return;
    changesSinceCheck_ = 0;
    const std::uint64_t now = ::GetTickCount64();
    if (now - lastRepaint_ < kMinRepaintIntervalMs) return;
    lastRepaint_ = now;
    SyncPosition();
    if (!::IsWindowVisible(window_)) return;
    // Whatever part of the window is waiting to be drawn, not the bar alone: a dialog closed
    // over the window just before the read leaves its picture there until then.
    user32_->RedrawWindow(::GetParent(window_), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Looking at the queue, without taking anything from it, tells the system the program is
    // alive, so a long read does not get the window marked "Not Responding"; no user event is
    // handled before the read ends.
    MSG peeked;
    ::PeekMessageW(&peeked, nullptr, 0, 0, PM_NOREMOVE | PM_NOYIELD);
}

}  // namespace ostrel::ui
