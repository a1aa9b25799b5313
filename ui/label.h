#pragma once
// A transparent label: left-aligned text in the window's background, wrapping at word
// boundaries within its rectangle, no border, no automatic sizing.
#include <string>

#include "ui/fonts.h"
#include "ui/twips.h"
#include "ui/windowless_control.h"
#include "win32/scoped.h"

namespace ostrel::ui {

struct LabelDesign {
    TwipsBox place;
    std::wstring caption;
    FontDesign font;
};

class Label final : public WindowlessControl {
  public:
    void Create(HWND form, int dpi, const LabelDesign& design);

    const std::wstring& Caption() const { return caption_; }
    void SetCaption(std::wstring caption);
    HFONT FontHandle() const { return font_.Get(); }

    void Paint(HDC dc) const override;
    void SetDpi(int dpi) override;
    // Its caption, read as static text.
    AccessibleRole Role() const override { return AccessibleRole::StaticText; }
    std::wstring AccessibleName() const override { return caption_; }

  private:
    TwipsBox place_;
    FontDesign fontDesign_;
    std::wstring caption_;
    win32::Font font_;
};

}  // namespace ostrel::ui
