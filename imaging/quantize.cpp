#include "imaging/quantize.h"

PLFilterQuantize::~PLFilterQuantize() = default;

namespace {

std::uint8_t Level(std::uint8_t v) {
    return static_cast<std::uint8_t>((v * 5 + 127) / 255);
}

}  // namespace

std::uint8_t PLFilterQuantize::CubeIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>(Level(red) * 36 + Level(green) * 6 + Level(blue));
}

void PLFilterQuantize::Apply(const PLBmp& sourceIn, PLBmp& destination) const {
    PLAnyBmp copy;
    const PLBmp* source = &sourceIn;
    if (&sourceIn == &destination) {
        copy.CreateCopy(sourceIn);
        source = &copy;
    }
    const std::int32_t w = source->GetWidth();
    const std::int32_t h = source->GetHeight();
    destination.Create(w, h, 8, false, source->IsGreyscale(), source->GetResolution());
    RGBQuad table[256];
    for (int i = 0; i < 256; ++i) {
        if (i < 216) {
            table[i] = RGBQuad{static_cast<std::uint8_t>(i % 6 * 51),
                               static_cast<std::uint8_t>(i / 6 % 6 * 51),
                               static_cast<std::uint8_t>(i / 36 * 51), 255};
        } else {
            table[i] = RGBQuad{0, 0, 0, 255};
        }
    }
    destination.SetPaletteEntries(table);
    PLBmpLock lock(destination, false, true);
    for (std::int32_t y = 0; y < h; ++y) {
        std::uint8_t* out = destination.GetLineArray()[static_cast<std::size_t>(y)];
        for (std::int32_t x = 0; x < w; ++x) {
            Pixel32 p = source->GetPixelColour(x, y);
            out[x] = CubeIndex(p.red, p.green, p.blue);
        }
    }
}
