#pragma once
// The common file dialog cmdlgP: Open and Save for text documents. Cancelling either throws
// RuntimeError 32755; the file name stays between one dialog and the next.
#include <windows.h>

#include <string>

namespace ostrel::ui {

class FileDialog {
  public:
    virtual ~FileDialog() = default;
    virtual void ShowOpen(HWND owner) = 0;
    virtual void ShowSave(HWND owner) = 0;
    virtual std::wstring FileName() const = 0;
};

class CommonDialog final : public FileDialog {
  public:
    void ShowOpen(HWND owner) override;
    void ShowSave(HWND owner) override;
    std::wstring FileName() const override { return fileName_; }

    // Room for the longest path the system accepts.
    static constexpr unsigned kPathCapacity = 32768;

  private:
    void Show(HWND owner, bool save);
    std::wstring fileName_;
};

}  // namespace ostrel::ui
