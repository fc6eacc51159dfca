#pragma once

#include <cstdint>
#include <string_view>

// Enhanced metafiles are drawn by turning them into SVG and rasterizing that; the rasterizer
// lives in a library of its own (imaging/render/), which installs itself when it is linked in,
// so that imaging itself needs no window toolkit.
class PLSvgRasterizer {
  public:
    virtual ~PLSvgRasterizer();

    // Draws `svg` scaled to width x height over `rows` (height rows of width 32-bit pixels,
    // blue, green, red, alpha, top row first). False when it cannot draw it here.
    virtual bool Rasterize(std::string_view svg, std::int32_t width, std::int32_t height,
                           std::uint8_t* const* rows) = 0;
};

// The rasterizer in use; none unless a rendering library has installed one.
PLSvgRasterizer* PLGetSvgRasterizer();
// Installs `rasterizer` (not owned; none uninstalls) and returns the one it replaces.
PLSvgRasterizer* PLSetSvgRasterizer(PLSvgRasterizer* rasterizer);
