#pragma once
// An image control: a picture shown at its own size, no border. Windowless, so images can lie
// one over another; the upper one hides the lower one while it is visible.
#include <string>

#include "ui/pictures.h"
#include "ui/windowless_control.h"

namespace ostrel::ui {

struct ImageDesign {
    int left = 0;  // twips
    int top = 0;
    const Bitmap* picture = nullptr;  // its size is the image's
    // For an image that acts as a button: the name screen readers know the button by.
    std::wstring buttonName{};
};

class Image final : public WindowlessControl {
  public:
    void Create(HWND form, const ImageDesign& design);

    // Size in twips.
    float Width() const;
    float Height() const;

    void Paint(HDC dc) const override;
    AccessibleRole Role() const override {
        return buttonName_.empty() ? AccessibleRole::None : AccessibleRole::PushButton;
    }
    std::wstring AccessibleName() const override { return buttonName_; }

  private:
    const Bitmap* picture_ = nullptr;
    std::wstring buttonName_;
};

}  // namespace ostrel::ui
