#include "ui/twips.h"

#include <cmath>

#include "win32/scoped.h"

namespace ostrel::ui {

int WindowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0) return static_cast<int>(dpi);
    }
    const win32::WindowDc screen(nullptr);
    const int dpi = screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : kDesignDpi;
}

SIZE OuterSizeForClient(SIZE client, DWORD style, int dpi) {
    using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpiFunction>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    RECT outer{0, 0, client.cx, client.cy};
    if (!adjustForDpi || !adjustForDpi(&outer, style, FALSE, 0, static_cast<UINT>(dpi)))
        ::AdjustWindowRectEx(&outer, style, FALSE, 0);
    return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}

int TwipsToPixels(double twips, int dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

float PixelsToTwips(double pixels, int dpi) {
    return static_cast<float>(pixels * kTwipsPerInch / dpi);
}

int DesignPixelsToPixels(int pixels, int dpi) {
    return TwipsToPixels(static_cast<double>(pixels) * kTwipsPerInch / kDesignDpi, dpi);
}

RECT TwipsRect(const TwipsBox& box, int dpi) {
    const int x = TwipsToPixels(box.left, dpi);
    const int y = TwipsToPixels(box.top, dpi);
    return RECT{x, y, x + TwipsToPixels(box.width, dpi), y + TwipsToPixels(box.height, dpi)};
}

}  // namespace ostrel::ui
