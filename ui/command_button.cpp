#include "ui/command_button.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include "ui/fonts.h"
#include "ui/twips.h"
#include "ui/window_text.h"

namespace ostrel::ui {

void CommandButton::Create(HWND form, int dpi, const CommandButtonDesign& design) {
    face_ = design.picture;
    tabIndex_ = design.tabIndex;
    place_ = design.place;
    fontDesign_ = design.font;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
    if (!design.enabled) style |= WS_DISABLED;
    window_ = ::CreateWindowExW(
        0, L"BUTTON", design.caption.c_str(), style, 0, 0, 0, 0, form,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)),
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(form, GWLP_HINSTANCE)), nullptr);
    SetDpi(dpi);
}

void CommandButton::SetDpi(int dpi) {
    dpi_ = dpi;
    // The button lets go of its old font only once it holds the new one.
    win32::Font font = CreateVerdana(fontDesign_, dpi);
    if (window_) ::SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
    font_ = std::move(font);
    const RECT box = TwipsRect(place_, dpi);
    if (window_)
        ::MoveWindow(window_, box.left, box.top, box.right - box.left, box.bottom - box.top, TRUE);
}

bool CommandButton::Enabled() const {
    return ::IsWindowEnabled(window_) != FALSE;
}

void CommandButton::SetEnabled(bool enabled) {
    ::EnableWindow(window_, enabled ? TRUE : FALSE);
}

std::wstring CommandButton::Caption() const {
    return WindowText(window_);
}

std::wstring DisplayedCaption(const std::wstring& caption) {
    std::wstring shown;
    shown.reserve(caption.size());
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&') {
            if (i + 1 < caption.size() && caption[i + 1] == L'&') {
                shown += L'&';
                ++i;
            }
            continue;
        }
        shown += caption[i];
    }
    return shown;
}

void GreyOut(win32::DibSection& pixels) {
    std::uint32_t* pixel = pixels.Pixels();
    for (std::size_t i = 0; i < pixels.PixelCount(); ++i) {
        const std::uint32_t c = pixel[i];
        const std::uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
        const std::uint32_t luma = (r * 77 + g * 150 + b * 29) >> 8;
        const std::uint32_t light = (luma + 2 * 0xC0) / 3;  // washed towards light grey
        pixel[i] = (light << 16) | (light << 8) | light;
    }
}

namespace {
constexpr int kTextMargin = 2;  // design pixels between the border and the caption
constexpr int kFocusInset = 3;  // design pixels from the edge to the focus mark
}  // namespace

void CommandButton::Draw(const DRAWITEMSTRUCT& item) const {
    const int width = item.rcItem.right - item.rcItem.left;
    const int height = item.rcItem.bottom - item.rcItem.top;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0;

    win32::Canvas canvas(item.hDC, width, height);
    if (!canvas) return;
    HDC dc = canvas.Dc();
    // The face and caption sink by a pixel of the density while pressed.
    const int pixel = DesignPixelsToPixels(1, dpi_);
    const int shift = pressed ? pixel : 0;
    const int margin = DesignPixelsToPixels(kTextMargin, dpi_);
    ::PatBlt(dc, 0, 0, width, height, WHITENESS);
    if (face_) DrawPicture(dc, face_->Shown(), shift, shift);
    ::GdiFlush();
    if (disabled) GreyOut(canvas);

    RECT box{0, 0, width, height};
    ::DrawEdge(dc, &box, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);

    const std::wstring text = DisplayedCaption(Caption());
    ::SetBkMode(dc, TRANSPARENT);
    {
        win32::Selection font(dc, font_.Get());
        // A caption wider than the button wraps at word boundaries; the block stays centred.
        const UINT format = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
        RECT measured{0, 0, width - 2 * margin, 0};
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured,
                    format | DT_CALCRECT);
        const int textHeight = measured.bottom - measured.top;
        const int top = (height - textHeight) / 2 + shift;
        RECT textBox{margin + shift, top, width - margin + shift, top + textHeight};
        if (disabled) {
            RECT etched = textBox;
            ::OffsetRect(&etched, pixel, pixel);
            ::SetTextColor(dc, ::GetSysColor(COLOR_3DHILIGHT));
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &etched, format);
            ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
        } else {
            ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
        }
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textBox, format);
    }
    if (focused && !disabled) {
        const int inset = DesignPixelsToPixels(kFocusInset, dpi_);
        RECT mark{inset, inset, width - inset, height - inset};
        ::SetTextColor(dc, RGB(0, 0, 0));
        ::SetBkColor(dc, RGB(255, 255, 255));
        ::DrawFocusRect(dc, &mark);
    }
    ::BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, dc, 0, 0, SRCCOPY);
}

}  // namespace ostrel::ui
