#include "gdi.h"

namespace ostrel::ui {

Canvas::Canvas(HDC compatibleWith, int width, int height)
    : width_(width > 0 ? width : 1), height_(height > 0 ? height : 1), dc_(compatibleWith) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ =
        BitmapHandle(::CreateDIBSection(compatibleWith, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bitmap_ && dc_.Get()) {
        pixels_ = static_cast<DWORD*>(bits);
        previous_ = ::SelectObject(dc_.Get(), bitmap_.Get());
    }
}

Canvas::~Canvas() {
    if (previous_ && dc_.Get()) ::SelectObject(dc_.Get(), previous_);
}

}  // namespace ostrel::ui
