#pragma once

// Colour reduction from 16, 24 or 32 bits to an 8-bit palette picture, used by
// PLBmp::CreateCopy. A fixed 6 x 6 x 6 colour cube (entries 0 to 215), nearest level per
// channel, no dithering: the system never asks for this conversion, so it is kept simple and
// exact rather than adaptive.

#include <cstdint>

#include "imaging/filter.h"

class PLFilterQuantize : public PLFilter {
  public:
    // The two settings of PLBmp are accepted and kept; the cube does not use them.
    PLFilterQuantize(std::int32_t ditherType = 0, std::int32_t paletteType = 2)
        : ditherType_(ditherType), paletteType_(paletteType) {}
    ~PLFilterQuantize() override;

    // destination becomes an 8-bit picture of the source's size.
    void Apply(const PLBmp& source, PLBmp& destination) const override;

    std::int32_t GetDitherType() const { return ditherType_; }
    std::int32_t GetPaletteType() const { return paletteType_; }

    // Palette index of a colour in the cube.
    static std::uint8_t CubeIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

  private:
    std::int32_t ditherType_;
    std::int32_t paletteType_;
};
