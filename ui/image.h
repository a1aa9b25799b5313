#pragma once
// An image control: a picture shown at its own size, no border. Windowless, so images can lie
// one over another; the upper one hides the lower one while it is visible.
#include "pictures.h"
#include "windowless_control.h"

namespace ostrel::ui {

class Image final : public WindowlessControl {
  public:
    // Places the image at (left, top) twips; its size is the picture's.
    void Create(HWND form, int left, int top, const Bitmap& picture);

    // Size in twips.
    float Width() const;
    float Height() const;

    void Paint(HDC dc) const override;

  private:
    const Bitmap* picture_ = nullptr;
};

}  // namespace ostrel::ui
