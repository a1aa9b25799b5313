#include "tests/ui/window_fixture.h"

#include <commctrl.h>

#include <map>

#include "ui/message_loop.h"
#include "win32/scoped.h"

namespace ostrel::ui::test {

namespace {
WPARAM Flag(MouseButton button) {
    return button == MouseButton::Left    ? MK_LBUTTON
           : button == MouseButton::Right ? MK_RBUTTON
                                          : MK_MBUTTON;
}
UINT DownMessage(MouseButton button) {
    return button == MouseButton::Left    ? WM_LBUTTONDOWN
           : button == MouseButton::Right ? WM_RBUTTONDOWN
                                          : WM_MBUTTONDOWN;
}
UINT UpMessage(MouseButton button) {
    return button == MouseButton::Left    ? WM_LBUTTONUP
           : button == MouseButton::Right ? WM_RBUTTONUP
                                          : WM_MBUTTONUP;
}
}  // namespace

int CountDifferences(const ClientPixels& shot, const Bitmap& bitmap, int left, int top,
                     const RECT& part) {
    int differences = 0;
    for (int y = part.top; y < part.bottom; ++y) {
        for (int x = part.left; x < part.right; ++x) {
            const int sx = left + x, sy = top + y;
            if (sx < 0 || sy < 0 || sx >= shot.width || sy >= shot.height) {
                ++differences;
                continue;
            }
            if ((shot.At(sx, sy) & 0xFFFFFF) != (bitmap.PixelAt(x, y) & 0xFFFFFF)) ++differences;
        }
    }
    return differences;
}

int CountDifferences(const ClientPixels& shot, const Bitmap& bitmap, int left, int top) {
    return CountDifferences(shot, bitmap, left, top, RECT{0, 0, bitmap.Width(), bitmap.Height()});
}

int ShownPosition(const ProgressBar& bar) {
    return static_cast<int>(::SendMessageW(bar.hWnd(), PBM_GETPOS, 0, 0));
}

bool DoEvents() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return false;
        Dispatch(message);
    }
    return true;
}

void WindowTest::StartWindow(User32* seamToUse, std::vector<std::wstring> arguments) {
    form_ =
        std::make_unique<frmDuplicate>(::GetModuleHandleW(nullptr), dialog, boxes, launcher,
                                       seamToUse ? *seamToUse : seam, win32::SystemAnsiCodePage());
    form_->OpenOnceShown(std::move(arguments));
    StartForm(*form_);
    Pump();
}

void WindowTest::TearDown() {
    form_.reset();
    // Whatever the window left behind, a quit request included, goes with it.
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) ::DispatchMessageW(&message);
    }
    for (const std::wstring& file : files_) ::DeleteFileW(file.c_str());
}

void WindowTest::Pump() {
    if (form_ && form_->hWnd()) ::UpdateWindow(form_->hWnd());
    DoEvents();
}

void WindowTest::MouseDown(MouseButton button, POINT client) {
    ::PostMessageW(Hwnd(), DownMessage(button), Flag(button), MAKELPARAM(client.x, client.y));
    Pump();
}

void WindowTest::MouseUp(MouseButton button, POINT client) {
    ::PostMessageW(Hwnd(), UpMessage(button), 0, MAKELPARAM(client.x, client.y));
    Pump();
}

void WindowTest::Click(const CommandButton& button) {
    RECT box{};
    ::GetClientRect(button.hWnd(), &box);
    const POINT centre = Centre(box);
    ::PostMessageW(button.hWnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(centre.x, centre.y));
    ::PostMessageW(button.hWnd(), WM_LBUTTONUP, 0, MAKELPARAM(centre.x, centre.y));
    Pump();
}

void WindowTest::Key(WPARAM key) {
    HWND target = ::GetFocus();
    if (!target) target = Hwnd();
    ::PostMessageW(target, WM_KEYDOWN, key, 1);
    ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    Pump();
}

RECT WindowTest::OuterRect() {
    RECT rect{};
    ::GetWindowRect(Hwnd(), &rect);
    return rect;
}

RECT WindowTest::ClientRect() {
    RECT rect{};
    ::GetClientRect(Hwnd(), &rect);
    return rect;
}

DWORD WindowTest::Style() {
    return static_cast<DWORD>(::GetWindowLongW(Hwnd(), GWL_STYLE));
}

RECT WindowTest::ChildRect(HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

ClientPixels WindowTest::Capture() {
    Pump();
    const RECT client = ClientRect();
    ClientPixels shot;
    shot.width = client.right;
    shot.height = client.bottom;
    const win32::WindowDc source(Hwnd());
    win32::Canvas canvas(source.Get(), shot.width, shot.height);
    ::BitBlt(canvas.Dc(), 0, 0, shot.width, shot.height, source.Get(), 0, 0, SRCCOPY);
    ::GdiFlush();
    shot.pixels.assign(canvas.Pixels(),
                       canvas.Pixels() + static_cast<std::size_t>(shot.width) * shot.height);
    return shot;
}

std::wstring WindowTest::TempPath(const std::wstring& name) {
    wchar_t folder[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + L"ostrel-ui-" +
                        std::to_wstring(::GetCurrentProcessId()) + L"-" + name;
    files_.push_back(path);
    return path;
}

std::wstring WindowTest::WriteList(const std::string& bytes, const std::wstring& extension) {
    const std::wstring path = TempPath(L"list" + std::to_wstring(files_.size()) + extension);
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return path;
}

std::string WindowTest::ReadFile(const std::wstring& path) {
    std::string bytes;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
}

const Bitmap& WindowTest::PictureOf(Picture picture) {
    static std::map<Picture, Bitmap> loaded;
    auto found = loaded.find(picture);
    if (found == loaded.end())
        found = loaded.emplace(picture, LoadPicture(::GetModuleHandleW(nullptr), picture)).first;
    return found->second;
}

}  // namespace ostrel::ui::test
