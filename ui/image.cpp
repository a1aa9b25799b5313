#include "ui/image.h"

#include "ui/twips.h"

namespace ostrel::ui {

void Image::Create(HWND form, int dpi, const ImageDesign& design) {
    design_ = design;
    Attach(form);
    SetDpi(dpi);
}

void Image::SetDpi(int dpi) {
    dpi_ = dpi;
    const int x = TwipsToPixels(design_.left, dpi);
    const int y = TwipsToPixels(design_.top, dpi);
    const int width = design_.picture ? design_.picture->Shown().Width() : 0;
    const int height = design_.picture ? design_.picture->Shown().Height() : 0;
    Place(RECT{x, y, x + width, y + height});
}

float Image::Width() const {
    return PixelsToTwips(Bounds().right - Bounds().left, dpi_);
}
float Image::Height() const {
    return PixelsToTwips(Bounds().bottom - Bounds().top, dpi_);
}

void Image::Paint(HDC dc) const {
    if (design_.picture) DrawPicture(dc, design_.picture->Shown(), Bounds().left, Bounds().top);
}

}  // namespace ostrel::ui
