#pragma once
// A transparent label: left-aligned text in the window's background, wrapping at word
// boundaries within its rectangle, no border, no automatic sizing.
#include <string>

#include "scoped.h"
#include "windowless_control.h"

namespace ostrel::ui {

class Label final : public WindowlessControl {
  public:
    // Places the label (rectangle in twips) on the form with its caption and font.
    void Create(HWND form, int left, int top, int width, int height, std::wstring caption,
                double points, int weight);

    const std::wstring& Caption() const { return caption_; }
    void SetCaption(std::wstring caption);
    HFONT FontHandle() const { return font_.Get(); }

    void Paint(HDC dc) const override;

  private:
    std::wstring caption_;
    win32::Font font_;
};

}  // namespace ostrel::ui
