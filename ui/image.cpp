#include "image.h"

#include "twips.h"

namespace ostrel::ui {

void Image::Create(HWND form, int left, int top, const Bitmap& picture) {
    picture_ = &picture;
    const int x = TwipsToPixelsX(left);
    const int y = TwipsToPixelsY(top);
    Place(form, RECT{x, y, x + picture.Width(), y + picture.Height()});
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
