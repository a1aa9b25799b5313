#pragma once
// The real frmDuplicate window in this process, shown on the display, with a recording seam
// over the real window-system calls and fakes for dialogs, message boxes and launching.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/ui/fakes.h"
#include "tests/ui/recording_user32.h"
#include "ui/frm_duplicate.h"
#include "win32/ansi_code_page.h"

namespace ostrel::ui::test {

// The client area as it shows on screen, 0x00RRGGBB per pixel.
struct ClientPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// Pixels of `bitmap` that differ from the client area at (left, top); 0 when it shows unscaled.
int CountDifferences(const ClientPixels& shot, const Bitmap& bitmap, int left, int top,
                     const RECT& part);
int CountDifferences(const ClientPixels& shot, const Bitmap& bitmap, int left, int top);

// The position the progress control itself shows (PBM_GETPOS).
int ShownPosition(const ProgressBar& bar);

// Handles every pending message as the program's loop would, then returns; false when the
// program was asked to end.
bool DoEvents();

class WindowTest : public ::testing::Test {
  protected:
    void TearDown() override;

    // Creates and shows the window as the program does; `seam` defaults to the recording one,
    // `arguments` are the program's command-line arguments.
    void StartWindow(User32* seam = nullptr, std::vector<std::wstring> arguments = {});

    frmDuplicate& Form() { return *form_; }
    HWND Hwnd() { return form_->hWnd(); }

    // Handles every pending message, painting included.
    void Pump();
    // Posts a press or release of a mouse button (MouseButton::Left ...) at a client point.
    void MouseDown(MouseButton button, POINT client);
    void MouseUp(MouseButton button, POINT client);
    void Click(const CommandButton& button);
    void Key(WPARAM key);

    RECT OuterRect();
    RECT ClientRect();
    DWORD Style();
    RECT ChildRect(HWND child);  // in client pixels
    ClientPixels Capture();
    static POINT Centre(const RECT& rect) {
        return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }

    // A list file with these exact bytes, removed after the test.
    std::wstring WriteList(const std::string& bytes, const std::wstring& extension = L".txt");
    std::string ReadFile(const std::wstring& path);
    std::wstring TempPath(const std::wstring& name);

    static const Bitmap& PictureOf(Picture picture);

    SystemUser32 real;
    RecordingUser32 seam{real};
    FakeFileDialog dialog;
    FakeMessageBoxes boxes;
    FakeLauncher launcher;

  private:
    std::unique_ptr<frmDuplicate> form_;
    std::vector<std::wstring> files_;
};

}  // namespace ostrel::ui::test
