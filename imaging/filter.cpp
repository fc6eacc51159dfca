#include "imaging/filter.h"

#include <algorithm>

PLFilter::~PLFilter() = default;

void PLFilter::ApplyInPlace(PLBmp& bmp) const {
    PLAnyBmp result;
    Apply(bmp, result);
    bmp.CreateCopy(result);
}

void PLFilter::Apply(const PLBmp& source, PLBmp& destination) const {
    if (&source != &destination)
        destination.CreateCopy(source);
    ApplyInPlace(destination);
}

PLFilterResizeSharp::~PLFilterResizeSharp() = default;

namespace {

// Mean of the horizontal (p00..p10) and vertical (p00..p01) interpolations; the diagonal
// neighbour is not used.
std::uint8_t Blend(std::uint8_t p00, std::uint8_t p10, std::uint8_t p01, double fx, double fy) {
    double v = (p00 * (1 - fx) + p10 * fx + p00 * (1 - fy) + p01 * fy) / 2;
    return static_cast<std::uint8_t>(v);
}

void Enlarge(const PLBmp& src, PLBmp& dst, double s) {
    const std::int32_t sw = src.GetWidth();
    const std::int32_t sh = src.GetHeight();
    const std::int32_t w = dst.GetWidth();
    const std::int32_t h = dst.GetHeight();
    double y = 0;
    for (std::int32_t j = 0; j < h; ++j, y += s) {
        const auto iy = static_cast<std::int32_t>(y);
        // Rows raised to the 16-pixel minimum can lie below the source: left as created,
        // like the rows a shrink does not reach.
        if (iy >= sh)
            break;
        const double fy = y - iy;
        const std::int32_t iy1 = std::min(iy + 1, sh - 1);
        double x = 0;
        for (std::int32_t i = 0; i < w; ++i, x += s) {
            const auto ix = static_cast<std::int32_t>(x);
            if (ix >= sw)
                break;
            const double fx = x - ix;
            const Pixel32 p00 = src.GetPixel(ix, iy);
            const Pixel32 p10 = src.GetPixel(std::min(ix + 1, sw - 1), iy);
            const Pixel32 p01 = src.GetPixel(ix, iy1);
            dst.SetPixel(i, j,
                         Pixel32{Blend(p00.blue, p10.blue, p01.blue, fx, fy),
                                 Blend(p00.green, p10.green, p01.green, fx, fy),
                                 Blend(p00.red, p10.red, p01.red, fx, fy), 255});
        }
    }
}

void Shrink(const PLBmp& src, PLBmp& dst, double s) {
    const std::int32_t sw = src.GetWidth();
    const std::int32_t sh = src.GetHeight();
    const std::int32_t w = dst.GetWidth();
    const std::int32_t h = dst.GetHeight();
    const std::uint8_t* const* rows = src.GetLineArray();
    double px = -s / 2;
    std::int32_t lastColumn = -1;
    for (std::int32_t i = 0; i < w; ++i) {
        const std::int32_t firstColumn = lastColumn + 1;
        px += s;
        lastColumn = std::min(sw - 1, static_cast<std::int32_t>(px + 1));
        if (firstColumn > lastColumn)
            continue;
        double py = -s / 2;
        std::int32_t lastRow = -1;
        for (std::int32_t j = 0; j < h; ++j) {
            const std::int32_t firstRow = lastRow + 1;
            py += s;
            lastRow = std::min(sh - 1, static_cast<std::int32_t>(py + 1));
            if (firstRow > lastRow)
                continue;
            // The key is one-to-one with the colour, so equal keys are equal colours and the
            // rows can be walked in memory order.
            Pixel32 kept{0, 0, 0, 0};
            std::uint32_t keptKey = 0;
            for (std::int32_t y = firstRow; y <= lastRow; ++y) {
                const std::uint8_t* p =
                    rows[static_cast<std::size_t>(y)] + std::size_t{4} * firstColumn;
                for (std::int32_t x = firstColumn; x <= lastColumn; ++x, p += 4) {
                    const std::uint32_t k =
                        std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]};
                    if (k > keptKey) {
                        keptKey = k;
                        kept = Pixel32{p[0], p[1], p[2], 255};
                    }
                }
            }
            kept.alpha = 255;
            dst.SetPixel(i, j, kept);
        }
    }
}

}  // namespace

void PLFilterResizeSharp::Apply(const PLBmp& sourceIn, PLBmp& destination) const {
    const std::int32_t sw = sourceIn.GetWidth();
    const std::int32_t sh = sourceIn.GetHeight();
    // An empty picture has nothing to sample.
    if (sw <= 0 || sh <= 0)
        return;

    const double xs = static_cast<double>(sw) / newWidth;
    const double ys = static_cast<double>(sh) / newHeight;
    const double m = std::max(xs, ys);
    const double factor = 1 / m;
    if (!(factor > 0))
        return;
    if (factor == 1) {
        destination.CreateCopy(sourceIn);
        return;
    }

    // The pixels are read as 32-bit values, and the destination may be the source itself:
    // work from a 32-bit copy in both cases.
    PLAnyBmp converted;
    const PLBmp* source = &sourceIn;
    if (sourceIn.GetBitsPerPixel() != 32 || &sourceIn == &destination) {
        converted.CreateCopy(sourceIn, 32);
        source = &converted;
    }

    std::int32_t w = newWidth;
    std::int32_t h = newHeight;
    const double aspect = static_cast<double>(sw) / sh;
    if (ys < xs) {
        h = std::max(16, static_cast<std::int32_t>(newWidth / aspect));
    } else if (xs < ys) {
        w = std::max(16, static_cast<std::int32_t>(aspect * newHeight));
    }
    destination.Create(w, h, 32, source->HasAlpha(), source->IsGreyscale(),
                       source->GetResolution());
    PLBmpLock lock(destination, false, true);
    const double s = 1 / factor;
    if (factor > 1) {
        Enlarge(*source, destination, s);
    } else {
        Shrink(*source, destination, s);
    }
}
