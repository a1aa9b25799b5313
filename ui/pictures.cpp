#include "ui/pictures.h"

#include <wincodec.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "resources/resource_ids.h"

namespace ostrel::ui {
namespace {

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

Bitmap LoadPicture(HINSTANCE module, Picture picture) {
    const int id = ResourceId(picture);

    // Resource memory stays mapped for the module's lifetime; nothing to free.
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(kRcDataType));
    if (info == nullptr) Fail("FindResource", id, HRESULT_FROM_WIN32(GetLastError()));
    const DWORD size = SizeofResource(module, info);
    HGLOBAL loaded = LoadResource(module, info);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0) Fail("LoadResource", id, HRESULT_FROM_WIN32(GetLastError()));

    win32::ComRef<IWICImagingFactory> factory;
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                           IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Put())),
          "creating the imaging factory", id);

    win32::ComRef<IWICStream> stream;
    Check(factory->CreateStream(stream.Put()), "CreateStream", id);
    // WIC only reads through the stream; the buffer parameter is merely declared non-const.
    Check(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), size),
          "InitializeFromMemory", id);

    win32::ComRef<IWICBitmapDecoder> decoder;
    Check(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                           decoder.Put()),
          "CreateDecoderFromStream", id);
    win32::ComRef<IWICBitmapFrameDecode> frame;
    Check(decoder->GetFrame(0, frame.Put()), "GetFrame", id);

    win32::ComRef<IWICFormatConverter> converter;
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

    Bitmap bitmap(nullptr, static_cast<int>(width), static_cast<int>(height));
    if (!bitmap) Fail("CreateDIBSection", id, E_OUTOFMEMORY);

    const UINT stride = width * 4;
    Check(converter->CopyPixels(nullptr, stride, stride * height,
                                reinterpret_cast<BYTE*>(bitmap.Pixels())),
          "CopyPixels", id);

    // 32bppBGR leaves the fourth byte undefined; promise callers a clean 0x00RRGGBB.
    std::uint32_t* pixels = bitmap.Pixels();
    for (std::size_t i = 0; i < bitmap.PixelCount(); ++i) pixels[i] &= 0x00FFFFFFu;
    return bitmap;
}

void DrawPicture(HDC dc, const Bitmap& bitmap, int x, int y) {
    if (bitmap.Handle() == nullptr) return;
    win32::MemoryDc memory(dc);
    if (!memory) return;
    win32::Selection selected(memory.Get(), bitmap.Handle());
    if (!selected.Ok()) return;
    BitBlt(dc, x, y, bitmap.Width(), bitmap.Height(), memory.Get(), 0, 0, SRCCOPY);
}

}  // namespace ostrel::ui
