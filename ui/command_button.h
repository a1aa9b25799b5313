#pragma once
// A graphical command button: an owner-drawn push button whose face is a picture behind its
// centred caption. Pressed, focused and disabled looks are drawn here.
#include <windows.h>

#include <functional>
#include <string>

#include "ui/fonts.h"
#include "ui/pictures.h"
#include "ui/scaled_picture.h"
#include "ui/twips.h"
#include "win32/scoped.h"

namespace ostrel::ui {

struct CommandButtonDesign {
    int id = 0;  // the command id its clicks carry
    TwipsBox place;
    // Doubled ampersands, as the window text keeps them; each pair draws as one ampersand.
    std::wstring caption;
    FontDesign font;
    int tabIndex = 0;
    bool enabled = true;
    const ScaledPicture* picture = nullptr;  // the face behind the caption
};

class CommandButton {
  public:
    CommandButton() = default;
    // The child window goes with its form.
    CommandButton(const CommandButton&) = delete;
    CommandButton& operator=(const CommandButton&) = delete;

    void Create(HWND form, int dpi, const CommandButtonDesign& design);
    // Takes the place, size and font the design gives at the window's new density.
    void SetDpi(int dpi);

    HWND hWnd() const { return window_; }
    int TabIndex() const { return tabIndex_; }
    bool Enabled() const;
    void SetEnabled(bool enabled);
    std::wstring Caption() const;
    HFONT FontHandle() const { return font_.Get(); }

    // Draws the button for WM_DRAWITEM.
    void Draw(const DRAWITEMSTRUCT& item) const;

    std::function<void()> Click;

  private:
    HWND window_ = nullptr;
    int tabIndex_ = 0;
    TwipsBox place_;
    FontDesign fontDesign_;
    int dpi_ = 0;
    const ScaledPicture* face_ = nullptr;
    win32::Font font_;
};

// The text a caption shows: "&&" becomes "&", and a single "&" (an access key) is dropped.
std::wstring DisplayedCaption(const std::wstring& caption);

// Turns the pixels of a DIB section into a light grey of their own brightness.
void GreyOut(win32::DibSection& pixels);

}  // namespace ostrel::ui
