#pragma once
// A built-in picture at the density of the window that shows it.
#include <windows.h>

#include "ui/pictures.h"

namespace ostrel::ui {

// The designed pixels (96 dpi), and the picture drawn from them at the current density: the
// background and the button face resampled smoothly, the image buttons' line drawings redrawn
// sharp with strokes one pixel of the density wide. Shown() stays the same object when the
// density changes, so controls may hold on to it.
class ScaledPicture {
  public:
    ScaledPicture(HINSTANCE module, Picture picture);
    ScaledPicture(const ScaledPicture&) = delete;
    ScaledPicture& operator=(const ScaledPicture&) = delete;

    void SetDpi(int dpi);
    const Bitmap& Shown() const { return shown_; }

  private:
    Picture picture_;
    Bitmap designed_;
    Bitmap shown_;
    int dpi_ = 0;
};

}  // namespace ostrel::ui
