#pragma once
// The progress bar: a horizontal comctl32 progress control whose Min, Max and Value are kept
// here as single-precision numbers. The event loop does not run while a list is read, so the
// bar has the window redraw whatever of it is invalid (the bar included) now and then, at most
// about 30 times a second, through the window-system seam. The control itself is told the value
// only then, or when the bar shows or hides: some implementations repaint on every position change,
// which would cost more than reading the line.
#include <windows.h>

#include <cstdint>

#include "ui/twips.h"
#include "ui/user32.h"

namespace ostrel::ui {

struct ProgressBarDesign {
    TwipsBox place;
    float max = 100;  // the range starts at 0
};

class ProgressBar {
  public:
    ProgressBar() = default;
    // The child window goes with its form.
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Creates the bar hidden; its repaints while the loop does not run go through `user32`.
    void Create(HWND form, int dpi, const ProgressBarDesign& design, User32& user32);
    // Takes the place the design gives at the window's new density.
    void SetDpi(int dpi);

    HWND hWnd() const { return window_; }
    float Value() const { return value_; }
    void SetValue(float value);
    void SetMin(float min);
    void SetMax(float max);
    bool Visible() const;
    void SetVisible(bool visible);

    // Clock checks happen once per this many value changes, never per change.
    static constexpr unsigned kChangesPerClockCheck = 128;
    static constexpr std::uint64_t kMinRepaintIntervalMs = 33;

  private:
    void ApplyRange();
    void SyncPosition();
    void MaybeRepaint();

    HWND window_ = nullptr;
    TwipsBox place_;
    User32* user32_ = nullptr;
    float value_ = 0;
    int shownPosition_ = 0;
    float min_ = 0;
    float max_ = 100;
    unsigned changesSinceCheck_ = 0;
    std::uint64_t lastRepaint_ = 0;
};

}  // namespace ostrel::ui
