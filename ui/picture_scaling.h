#pragma once
// Drawing a decoded picture at another size: photographs through a cubic filter, two-colour
// line drawings stroke by stroke, sharp.
#include "ui/pictures.h"

namespace ostrel::ui {

// `source` resampled to width x height with a Catmull-Rom cubic filter, widened to cover
// every source pixel when shrinking. At the source's own size the pixels come out unchanged.
Bitmap Resample(const Bitmap& source, int width, int height);

// A line drawing (strokes on a field of one colour, the colour of its top-left pixel) drawn
// anew at width x height with strokes `stroke` pixels wide and no blended pixel. Each stroke
// pixel of `source` becomes a stroke-wide dot, and neighbouring dots are joined by straight
// runs; where two diagonals cross (four stroke pixels in a square), only the diagonals are
// joined. The places keep the drawing's left-right and top-bottom symmetry, and a one-pixel
// step of the source is `stroke` pixels at the new size. At the source's own size, with
// strokes one pixel wide, the pixels come out unchanged.
Bitmap RedrawLineArt(const Bitmap& source, int width, int height, int stroke);

}  // namespace ostrel::ui
