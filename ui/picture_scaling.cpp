#include "ui/picture_scaling.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace ostrel::ui {
namespace {

// Catmull-Rom: 1 at 0 and 0 at every other whole step, so samples at their own places stay
// exact; sharper than a linear filter, with little ringing.
double CatmullRom(double x) {
    x = std::fabs(x);
    if (x < 1) return (1.5 * x - 2.5) * x * x + 1;
    if (x < 2) return ((-0.5 * x + 2.5) * x - 4) * x + 2;
    return 0;
}

struct Tap {
    int index;
    double weight;
};

// For each of `to` output places, the source places and weights that make it.
std::vector<std::vector<Tap>> FilterTaps(int from, int to) {
    const double scale = static_cast<double>(to) / from;
    const double widen = scale < 1 ? 1 / scale : 1;
    const double support = 2 * widen;
    std::vector<std::vector<Tap>> taps(static_cast<std::size_t>(to));
    for (int i = 0; i < to; ++i) {
        const double centre = (i + 0.5) / scale - 0.5;
        std::vector<Tap>& row = taps[static_cast<std::size_t>(i)];
        double total = 0;
        for (int j = static_cast<int>(std::ceil(centre - support));
             j <= static_cast<int>(std::floor(centre + support)); ++j) {
            const double weight = CatmullRom((j - centre) / widen);
            if (weight == 0) continue;
            row.push_back(Tap{std::clamp(j, 0, from - 1), weight});
            total += weight;
        }
        for (Tap& tap : row) tap.weight /= total;
    }
    return taps;
}

std::uint32_t Channel(double value) {
    return static_cast<std::uint32_t>(std::lround(std::clamp(value, 0.0, 255.0)));
}

}  // namespace

Bitmap Resample(const Bitmap& source, int width, int height) {
    Bitmap result(nullptr, width, height);
    if (!result || !source) return result;
    const int sourceWidth = source.Width();
    const int sourceHeight = source.Height();
    const auto across = FilterTaps(sourceWidth, width);
    const auto down = FilterTaps(sourceHeight, height);

    // Across first, into three channels of full precision; then down.
    std::vector<double> rows(static_cast<std::size_t>(sourceHeight) * width * 3);
    for (int y = 0; y < sourceHeight; ++y) {
        for (int x = 0; x < width; ++x) {
            double r = 0, g = 0, b = 0;
            for (const Tap& tap : across[static_cast<std::size_t>(x)]) {
                const std::uint32_t pixel = source.PixelAt(tap.index, y);
                r += tap.weight * ((pixel >> 16) & 0xFF);
                g += tap.weight * ((pixel >> 8) & 0xFF);
                b += tap.weight * (pixel & 0xFF);
            }
            double* out = &rows[(static_cast<std::size_t>(y) * width + x) * 3];
            out[0] = r;
            out[1] = g;
            out[2] = b;
        }
    }
    std::uint32_t* pixels = result.Pixels();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double r = 0, g = 0, b = 0;
            for (const Tap& tap : down[static_cast<std::size_t>(y)]) {
                const double* in = &rows[(static_cast<std::size_t>(tap.index) * width + x) * 3];
                r += tap.weight * in[0];
                g += tap.weight * in[1];
                b += tap.weight * in[2];
            }
            pixels[static_cast<std::size_t>(y) * width + x] =
                (Channel(r) << 16) | (Channel(g) << 8) | Channel(b);
        }
    }
    return result;
}

namespace {

// Where a source place (column or row) starts at the new size: the first half counted from
// the near edge, the second half mirrored from the far one, so the drawing stays symmetric.
class Places {
  public:
    Places(int from, int to, int stroke) : from_(from), to_(to), stroke_(stroke) {}
    int operator()(int place) const {
        if (place < from_ / 2) return place * to_ / from_;
        return to_ - stroke_ - (from_ - 1 - place) * to_ / from_;
    }

  private:
    int from_, to_, stroke_;
};

}  // namespace

Bitmap RedrawLineArt(const Bitmap& source, int width, int height, int stroke) {
    Bitmap result(nullptr, width, height);
    if (!result || !source) return result;
    const int sourceWidth = source.Width();
    const int sourceHeight = source.Height();
    const std::uint32_t field = source.PixelAt(0, 0);
    std::fill(result.Pixels(), result.Pixels() + result.PixelCount(), field);

    const Places column(sourceWidth, width, stroke);
    const Places row(sourceHeight, height, stroke);
    const auto isStroke = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < sourceWidth && y < sourceHeight &&
               source.PixelAt(x, y) != field;
    };
    const auto dot = [&](int left, int top, std::uint32_t colour) {
        for (int y = std::max(top, 0); y < std::min(top + stroke, height); ++y) {
            for (int x = std::max(left, 0); x < std::min(left + stroke, width); ++x)
                result.Pixels()[static_cast<std::size_t>(y) * width + x] = colour;
        }
    };
    // A straight run of dots from one source pixel's place to its neighbour's.
    const auto join = [&](int x0, int y0, int x1, int y1, std::uint32_t colour) {
        const int left = column(x0), top = row(y0);
        const int dx = column(x1) - left, dy = row(y1) - top;
        const int steps = std::max({std::abs(dx), std::abs(dy), 1});
        for (int i = 0; i <= steps; ++i) {
            dot(left + static_cast<int>(std::lround(static_cast<double>(i) * dx / steps)),
                top + static_cast<int>(std::lround(static_cast<double>(i) * dy / steps)), colour);
        }
    };
    // Four stroke pixels in a square are two diagonals crossing.
    const auto inSquare = [&](int x, int y) {
        return isStroke(x, y) && isStroke(x + 1, y) && isStroke(x, y + 1) && isStroke(x + 1, y + 1);
    };

    for (int y = 0; y < sourceHeight; ++y) {
        for (int x = 0; x < sourceWidth; ++x) {
            if (!isStroke(x, y)) continue;
            const std::uint32_t colour = source.PixelAt(x, y);
            dot(column(x), row(y), colour);
            const bool squareAbove = inSquare(x, y - 1);
            const bool squareBelow = inSquare(x, y);
            const bool squareLeft = inSquare(x - 1, y);
            if (isStroke(x + 1, y) && !squareAbove && !squareBelow) join(x, y, x + 1, y, colour);
            if (isStroke(x, y + 1) && !squareLeft && !squareBelow) join(x, y, x, y + 1, colour);
            if (isStroke(x + 1, y + 1)) join(x, y, x + 1, y + 1, colour);
            if (isStroke(x - 1, y + 1)) join(x, y, x - 1, y + 1, colour);
        }
    }
    return result;
}

}  // namespace ostrel::ui
