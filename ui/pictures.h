// The window's built-in pictures: decoding them from the module's resources and drawing them.
#pragma once

#include <windows.h>

#include "win32/scoped.h"

namespace ostrel::ui {

enum class Picture { Background, ButtonFace, MinUp, MinDown, CloseUp, CloseDown };

// A decoded picture: a 32-bpp top-down DIB section owning its HBITMAP (move-only). A
// default-constructed Bitmap is empty: no handle, 0 x 0.
using Bitmap = win32::DibSection;

// Decodes a picture built into `module`'s resources (ostrel.rc) with the Windows Imaging
// Component; JPEGs and bitmaps alike. The calling thread must have initialised COM
// (CoInitializeEx, apartment-threaded) and keep it initialised while this runs.
// Throws std::runtime_error when the resource is missing or cannot be decoded.
Bitmap LoadPicture(HINSTANCE module, Picture picture);

// Draws `bitmap` unscaled with its top-left corner at (x, y) of `dc`. An empty bitmap draws
// nothing.
void DrawPicture(HDC dc, const Bitmap& bitmap, int x, int y);

}  // namespace ostrel::ui
