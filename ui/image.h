#pragma once
// An image control: a picture shown at its own size, no border. Windowless, so images can lie
// one over another; the upper one hides the lower one while it is visible.
#include <string>

#include "ui/scaled_picture.h"
#include "ui/windowless_control.h"

namespace ostrel::ui {

struct ImageDesign {
    int left = 0;  // twips
    int top = 0;
    const ScaledPicture* picture = nullptr;  // its size is the image's
    // For an image that acts as a button: the name screen readers know the button by.
    std::wstring buttonName{};
};

class Image final : public WindowlessControl {
  public:
    // The picture is already drawn at `dpi`.
    void Create(HWND form, int dpi, const ImageDesign& design);

    // Size in twips.
    float Width() const;
    float Height() const;

    void Paint(HDC dc) const override;
    void SetDpi(int dpi) override;
    AccessibleRole Role() const override {
        return design_.buttonName.empty() ? AccessibleRole::None : AccessibleRole::PushButton;
    }
    std::wstring AccessibleName() const override { return design_.buttonName; }

  private:
    ImageDesign design_;
    int dpi_ = 0;
};

}  // namespace ostrel::ui
