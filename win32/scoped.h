#pragma once
// Owners of Windows resources, and scopes that put back what they changed: kernel handles,
// GDI objects and device contexts, COM references and the COM apartment, 32-bit DIB sections.
// Header only, so that each user links just the system libraries whose calls it makes.
#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace ostrel::win32 {

// Owns one resource and frees it when it goes; moves, never copies. The traits name the
// resource's type, its empty value, which values hold something, and how to free them.
template <typename Traits>
class Scoped {
  public:
    using Type = typename Traits::Type;

    Scoped() noexcept = default;
    explicit Scoped(Type value) noexcept : value_(value) {}
    ~Scoped() { Reset(); }
    Scoped(Scoped&& other) noexcept : value_(other.Release()) {}
    Scoped& operator=(Scoped&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    Type Get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return Traits::Holds(value_); }
    // Hands the resource to another owner (a C run-time descriptor, say) without freeing it.
    Type Release() noexcept { return std::exchange(value_, Traits::kEmpty); }
    void Reset(Type value = Traits::kEmpty) noexcept {
        if (Traits::Holds(value_)) Traits::Free(value_);
        value_ = value;
    }
    // For out-parameters: frees what is held, then lends the place to fill.
    Type* Put() noexcept {
        Reset();
        return &value_;
    }

  private:
    Type value_ = Traits::kEmpty;
};

// A kernel handle. CreateFile reports failure as INVALID_HANDLE_VALUE, most others as null:
// neither is closed.
struct HandleTraits {
    using Type = HANDLE;
    static constexpr HANDLE kEmpty = nullptr;
    static bool Holds(HANDLE handle) noexcept {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static void Free(HANDLE handle) noexcept { ::CloseHandle(handle); }
};
using Handle = Scoped<HandleTraits>;

// A FindFirstFileW search, closed with FindClose; a failed one is INVALID_HANDLE_VALUE.
struct FindTraits : HandleTraits {
    static void Free(HANDLE handle) noexcept { ::FindClose(handle); }
};
using FindHandle = Scoped<FindTraits>;

// A GDI object (font, bitmap, brush, pen), deleted with DeleteObject.
template <typename Object>
struct GdiObjectTraits {
    using Type = Object;
    static constexpr Object kEmpty = nullptr;
    static bool Holds(Object object) noexcept { return object != nullptr; }
    static void Free(Object object) noexcept { ::DeleteObject(object); }
};
using Font = Scoped<GdiObjectTraits<HFONT>>;
using Brush = Scoped<GdiObjectTraits<HBRUSH>>;
using BitmapHandle = Scoped<GdiObjectTraits<HBITMAP>>;

// A memory device context compatible with another one (nullptr: the screen).
struct MemoryDcTraits {
    using Type = HDC;
    static constexpr HDC kEmpty = nullptr;
    static bool Holds(HDC dc) noexcept { return dc != nullptr; }
    static void Free(HDC dc) noexcept { ::DeleteDC(dc); }
};
class MemoryDc : public Scoped<MemoryDcTraits> {
  public:
    explicit MemoryDc(HDC compatibleWith) noexcept : Scoped(::CreateCompatibleDC(compatibleWith)) {}
};

// A window's device context from GetDC (nullptr: the screen's), released with it.
class WindowDc {
  public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const noexcept { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// One reference to a COM interface.
template <typename Interface>
struct ComTraits {
    using Type = Interface*;
    static constexpr Interface* kEmpty = nullptr;
    static bool Holds(Interface* pointer) noexcept { return pointer != nullptr; }
    static void Free(Interface* pointer) noexcept { pointer->Release(); }
};
template <typename Interface>
class ComRef : public Scoped<ComTraits<Interface>> {
  public:
    Interface* operator->() const noexcept { return this->Get(); }
};

// COM, apartment-threaded, on the calling thread for the owner's life: the picture decoder
// and the file dialogs need it.
class ComApartment {
  public:
    ComApartment() noexcept : ok_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (ok_) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool Ok() const noexcept { return ok_; }

  private:
    bool ok_;
};

// Selects an object into a device context and selects the previous one back.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~Selection() {
        if (Ok()) ::SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    bool Ok() const noexcept { return previous_ != nullptr && previous_ != HGDI_ERROR; }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// SaveDC / RestoreDC, for clip regions, colours and modes changed while drawing one control.
class SavedDc {
  public:
    explicit SavedDc(HDC dc) noexcept : dc_(dc), saved_(::SaveDC(dc)) {}
    ~SavedDc() {
        if (saved_) ::RestoreDC(dc_, saved_);
    }
    SavedDc(const SavedDc&) = delete;
    SavedDc& operator=(const SavedDc&) = delete;

  private:
    HDC dc_;
    int saved_;
};

// BeginPaint / EndPaint.
class PaintScope {
  public:
    explicit PaintScope(HWND window) noexcept
        : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    ~PaintScope() { ::EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC Get() const noexcept { return dc_; }
    const RECT& Area() const noexcept { return paint_.rcPaint; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// A 32-bit top-down DIB section: pixels as 0x00RRGGBB, row after row from the top, that can be
// read and changed directly. Empty (no handle, no pixels, 0 x 0) when it could not be made.
class DibSection {
  public:
    DibSection() noexcept = default;
    // `dc` only matters for palette colours, which a 32-bit section has none of.
    DibSection(HDC dc, int width, int height) noexcept {
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        format.bmiHeader.biWidth = width;
        format.bmiHeader.biHeight = -height;  // negative: top-down rows
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_.Reset(::CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap_ || !bits) {
            bitmap_.Reset();
            return;
        }
        pixels_ = static_cast<std::uint32_t*>(bits);
        width_ = width;
        height_ = height;
    }
    DibSection(DibSection&& other) noexcept { *this = std::move(other); }
    DibSection& operator=(DibSection&& other) noexcept {
        if (this != &other) {
            bitmap_ = std::move(other.bitmap_);
            pixels_ = std::exchange(other.pixels_, nullptr);
            width_ = std::exchange(other.width_, 0);
            height_ = std::exchange(other.height_, 0);
        }
        return *this;
    }

    HBITMAP Handle() const noexcept { return bitmap_.Get(); }
    explicit operator bool() const noexcept { return pixels_ != nullptr; }
    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }
    std::uint32_t* Pixels() noexcept { return pixels_; }
    const std::uint32_t* Pixels() const noexcept { return pixels_; }
    std::size_t PixelCount() const noexcept {
        return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    }
    // The pixel at (x, y) from the top-left corner; the caller keeps x and y in range.
    std::uint32_t PixelAt(int x, int y) const noexcept {
        return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                       static_cast<std::size_t>(x)];
    }

  private:
    BitmapHandle bitmap_;
    std::uint32_t* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// A DIB section selected into its own memory DC: an off-screen canvas to draw on with GDI and
// then read or change pixel by pixel (after GdiFlush). At least 1 x 1.
class Canvas : public DibSection {
  public:
    Canvas(HDC compatibleWith, int width, int height) noexcept
        : DibSection(compatibleWith, width > 0 ? width : 1, height > 0 ? height : 1),
          dc_(compatibleWith) {
        if (DibSection::operator bool() && dc_) selected_.emplace(dc_.Get(), Handle());
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC Dc() const noexcept { return dc_.Get(); }
    explicit operator bool() const noexcept { return selected_.has_value(); }

  private:
    // Members go before the section: it is selected out, then the DC deleted, then it goes.
    MemoryDc dc_;
    std::optional<Selection> selected_;
};

}  // namespace ostrel::win32
