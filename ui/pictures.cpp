#include "pictures.h"

#include <wincodec.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

#include "resource_ids.h"

namespace ostrel::ui {
namespace {

// Owns one COM interface reference.
template <typename T>
class ComRef {
  public:
    ComRef() noexcept = default;
    ~ComRef() { Release(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* Get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    // For out-parameters: drops any current reference first.
    T** Put() noexcept {
        Release();
        return &ptr_;
    }

  private:
    void Release() noexcept {
        if (ptr_ != nullptr) {
            ptr_->Release();
            ptr_ = nullptr;
        }
    }

    T* ptr_ = nullptr;
};

// A memory DC that is deleted on scope exit.
class MemoryDc {
  public:
    explicit MemoryDc(HDC compatible) noexcept : dc_(CreateCompatibleDC(compatible)) {}
    ~MemoryDc() {
        if (dc_ != nullptr) DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC Get() const noexcept { return dc_; }

  private:
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back on scope exit.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selection() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    bool Ok() const noexcept { return previous_ != nullptr && previous_ != HGDI_ERROR; }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// RT_RCDATA as a number, so the wide lookup does not depend on the UNICODE setting.
constexpr WORD kRcDataType = 10;

int ResourceId(Picture picture) {
    switch (picture) {
        case Picture::Background:
            return IDB_BACKGROUND;
        case Picture::ButtonFace:
            return IDB_BUTTON_FACE;
        case Picture::MinUp:
            return IDB_MIN_UP;
        case Picture::MinDown:
            return IDB_MIN_DOWN;
        case Picture::CloseUp:
            return IDB_CLOSE_UP;
        case Picture::CloseDown:
            return IDB_CLOSE_DOWN;
    }
    throw std::runtime_error("unknown picture");
}

[[noreturn]] void Fail(const char* what, int id, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    throw std::runtime_error(std::string("picture ") + std::to_string(id) + ": " + what +
                             " failed (" + code + ")");
}

void Check(HRESULT hr, const char* what, int id) {
    if (FAILED(hr)) Fail(what, id, hr);
}

}  // namespace

Bitmap::Bitmap(HBITMAP handle, std::uint32_t* pixels, int width, int height) noexcept
    : handle_(handle), pixels_(pixels), width_(width), height_(height) {}

Bitmap::~Bitmap() {
    Reset();
}

Bitmap::Bitmap(Bitmap&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      pixels_(std::exchange(other.pixels_, nullptr)),
      width_(std::exchange(other.width_, 0)),
      height_(std::exchange(other.height_, 0)) {}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
    if (this != &other) {
        Reset();
        handle_ = std::exchange(other.handle_, nullptr);
        pixels_ = std::exchange(other.pixels_, nullptr);
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
    }
    return *this;
}

void Bitmap::Reset() noexcept {
    if (handle_ != nullptr) DeleteObject(handle_);
    handle_ = nullptr;
    pixels_ = nullptr;
    width_ = 0;
    height_ = 0;
}

Bitmap LoadPicture(HINSTANCE module, Picture picture) {
    const int id = ResourceId(picture);

    // Resource memory stays mapped for the module's lifetime; nothing to free.
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(kRcDataType));
    if (info == nullptr) Fail("FindResource", id, HRESULT_FROM_WIN32(GetLastError()));
    const DWORD size = SizeofResource(module, info);
    HGLOBAL loaded = LoadResource(module, info);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0) Fail("LoadResource", id, HRESULT_FROM_WIN32(GetLastError()));

    ComRef<IWICImagingFactory> factory;
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                           IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Put())),
          "creating the imaging factory", id);

    ComRef<IWICStream> stream;
    Check(factory->CreateStream(stream.Put()), "CreateStream", id);
    // WIC only reads through the stream; the buffer parameter is merely declared non-const.
    Check(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size),
          "InitializeFromMemory", id);

    ComRef<IWICBitmapDecoder> decoder;
    Check(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                           decoder.Put()),
          "CreateDecoderFromStream", id);
    ComRef<IWICBitmapFrameDecode> frame;
    Check(decoder->GetFrame(0, frame.Put()), "GetFrame", id);

    ComRef<IWICFormatConverter> converter;
    Check(factory->CreateFormatConverter(converter.Put()), "CreateFormatConverter", id);
    Check(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone,
                                nullptr, 0.0, WICBitmapPaletteTypeCustom),
          "converting to 32 bpp", id);

    UINT width = 0;
    UINT height = 0;
    Check(converter->GetSize(&width, &height), "GetSize", id);
    if (width == 0 || height == 0 || width > 0x4000 || height > 0x4000) {
        Fail("checking the size", id, E_UNEXPECTED);
    }

    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = static_cast<LONG>(width);
    format.bmiHeader.biHeight = -static_cast<LONG>(height);  // negative: top-down rows
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP handle = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (handle == nullptr || bits == nullptr) Fail("CreateDIBSection", id, E_OUTOFMEMORY);
    Bitmap bitmap(handle, static_cast<std::uint32_t*>(bits), static_cast<int>(width),
                  static_cast<int>(height));

    const UINT stride = width * 4;
    Check(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)),
          "CopyPixels", id);

    // 32bppBGR leaves the fourth byte undefined; promise callers a clean 0x00RRGGBB.
    std::uint32_t* pixels = static_cast<std::uint32_t*>(bits);
    const std::size_t count = static_cast<std::size_t>(width) * height;
    for (std::size_t i = 0; i < count; ++i) pixels[i] &= 0x00FFFFFFu;
    return bitmap;
}

void DrawPicture(HDC dc, const Bitmap& bitmap, int x, int y) {
    if (bitmap.Handle() == nullptr) return;
    MemoryDc memory(dc);
    if (memory.Get() == nullptr) return;
    Selection selected(memory.Get(), bitmap.Handle());
    if (!selected.Ok()) return;
    BitBlt(dc, x, y, bitmap.Width(), bitmap.Height(), memory.Get(), 0, 0, SRCCOPY);
}

}  // namespace ostrel::ui
