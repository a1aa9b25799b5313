#include "ui/image.h"

#include "ui/twips.h"

namespace ostrel::ui {

void Image::Create(HWND form, const ImageDesign& design) {
    picture_ = design.picture;
    buttonName_ = design.buttonName;
    const int x = TwipsToPixelsX(design.left);
    const int y = TwipsToPixelsY(design.top);
    const int width = picture_ ? picture_->Width() : 0;
    const int height = picture_ ? picture_->Height() : 0;
    Place(form, RECT{x, y, x + width, y + height});
}

float Image::Width() const {
    return PixelsToTwipsX(Bounds().right - Bounds().left);
}
float Image::Height() const {
    return PixelsToTwipsY(Bounds().bottom - Bounds().top);
}

void Image::Paint(HDC dc) const {
    if (picture_) DrawPicture(dc, *picture_, Bounds().left, Bounds().top);
}

}  // namespace ostrel::ui
