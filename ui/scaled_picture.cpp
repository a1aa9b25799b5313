#include "ui/scaled_picture.h"

#include <algorithm>

#include "ui/picture_scaling.h"
#include "ui/twips.h"

namespace ostrel::ui {

ScaledPicture::ScaledPicture(HINSTANCE module, Picture picture)
    : picture_(picture), designed_(LoadPicture(module, picture)) {
    SetDpi(kDesignDpi);
}

void ScaledPicture::SetDpi(int dpi) {
    if (dpi == dpi_) return;
    const int width = DesignPixelsToPixels(designed_.Width(), dpi);
    const int height = DesignPixelsToPixels(designed_.Height(), dpi);
    switch (picture_) {
        case Picture::Background:
        case Picture::ButtonFace:
            shown_ = Resample(designed_, width, height);
            break;
        default:
            shown_ =
                RedrawLineArt(designed_, width, height, std::max(1, DesignPixelsToPixels(1, dpi)));
            break;
    }
    dpi_ = dpi;
}

}  // namespace ostrel::ui
