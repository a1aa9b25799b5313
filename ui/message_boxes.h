#pragma once
// Modal message boxes with only an OK button, owned by the window.
#include <windows.h>

#include <array>
#include <cstddef>
#include <string>

#include "engine/collaborators.h"

namespace ostrel::ui {

// The product's name (ostrel::kAppTitle) in UTF-16: the application title and the window's
// caption.
inline constexpr auto kAppTitleText = [] {
    std::array<wchar_t, sizeof ostrel::kAppTitle> wide{};
    for (std::size_t i = 0; i < wide.size(); ++i) wide[i] = ostrel::kAppTitle[i];
    return wide;
}();
inline constexpr const wchar_t* kAppTitle = kAppTitleText.data();

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // An empty title stands for the application title.
    virtual void Show(HWND owner, const std::wstring& text, MessageIcon icon,
                      const std::wstring& title) = 0;
    // A question with Yes and No, carrying the application title; true for Yes.
    virtual bool AskYesNo(HWND owner, const std::wstring& text) = 0;
};

class SystemMessageBoxes final : public MessageBoxes {
  public:
    void Show(HWND owner, const std::wstring& text, MessageIcon icon,
              const std::wstring& title) override;
    bool AskYesNo(HWND owner, const std::wstring& text) override;
};

// How an error that no handler trapped is worded: its number and its description.
std::wstring UnhandledErrorText(long number, const std::wstring& description);

}  // namespace ostrel::ui
