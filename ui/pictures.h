// The window's built-in pictures: decoding them from the module's resources and drawing them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace ostrel::ui {

enum class Picture { Background, ButtonFace, MinUp, MinDown, CloseUp, CloseDown };

// A decoded picture: a 32-bpp top-down DIB section owning its HBITMAP (move-only).
// A default-constructed Bitmap is empty: no handle, 0 x 0.
class Bitmap {
  public:
    Bitmap() noexcept = default;
    // Takes ownership of a top-down 32-bpp DIB section whose pixel memory is `pixels`.
    Bitmap(HBITMAP handle, std::uint32_t* pixels, int width, int height) noexcept;
    ~Bitmap();

    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    HBITMAP Handle() const noexcept { return handle_; }
    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }
    // Width() * Height() pixels, 0x00RRGGBB each, row-major from the top row down.
    const std::uint32_t* Pixels() const noexcept { return pixels_; }
    // The pixel at (x, y) from the top-left corner; the caller keeps x and y in range.
    std::uint32_t PixelAt(int x, int y) const noexcept {
        return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                       static_cast<std::size_t>(x)];
    }

  private:
    void Reset() noexcept;

    HBITMAP handle_ = nullptr;
    std::uint32_t* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// Decodes a picture built into `module`'s resources (ostrel.rc) with the Windows Imaging
// Component; JPEGs and bitmaps alike. The calling thread must have initialised COM
// (CoInitializeEx, apartment-threaded) and keep it initialised while this runs.
// Throws std::runtime_error when the resource is missing or cannot be decoded.
Bitmap LoadPicture(HINSTANCE module, Picture picture);

// Draws `bitmap` unscaled with its top-left corner at (x, y) of `dc`. An empty bitmap draws
// nothing.
void DrawPicture(HDC dc, const Bitmap& bitmap, int x, int y);

}  // namespace ostrel::ui
