#include "ui/label.h"

#include <utility>

#include "ui/fonts.h"
#include "ui/twips.h"

namespace ostrel::ui {

void Label::Create(HWND form, int dpi, const LabelDesign& design) {
    place_ = design.place;
    fontDesign_ = design.font;
    caption_ = design.caption;
    Attach(form);
    SetDpi(dpi);
}

void Label::SetDpi(int dpi) {
    font_ = CreateVerdana(fontDesign_, dpi);
    Place(TwipsRect(place_, dpi));
}

void Label::SetCaption(std::wstring caption) {
    if (caption == caption_) return;
    caption_ = std::move(caption);
    Invalidate();
    RaiseNameChange();
}

void Label::Paint(HDC dc) const {
    win32::SavedDc saved(dc);
    RECT box = Bounds();
    ::IntersectClipRect(dc, box.left, box.top, box.right, box.bottom);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    win32::Selection font(dc, font_.Get());
    ::DrawTextW(dc, caption_.c_str(), static_cast<int>(caption_.size()), &box,
                DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
}

}  // namespace ostrel::ui
