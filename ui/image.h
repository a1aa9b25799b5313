#pragma once
// An image control: a picture shown at its own size, no border. Windowless, so images can lie
// one over another; the upper one hides the lower one while it is visible.
#include "ui/pictures.h"
#include "ui/windowless_control.h"

namespace ostrel::ui {

struct ImageDesign {
    int left = 0;  // twips
    int top = 0;
    const Bitmap* picture = nullptr;  // its size is the image's
};

class Image final : public WindowlessControl {
  public:
    void Create(HWND form, const ImageDesign& design);

    // Size in twips.
    float Width() const;
    float Height() const;

    void Paint(HDC dc) const override;

  private:
    const Bitmap* picture_ = nullptr;
};

}  // namespace ostrel::ui
