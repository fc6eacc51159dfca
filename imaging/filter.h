#pragma once

// Filters take a bitmap and make another. The preview cell fits pictures with
// PLFilterResizeSharp.

#include <cstdint>

#include "imaging/bitmap.h"

class PLFilter : public PLObject {
  public:
    ~PLFilter() override;

    // The defaults are written in terms of each other: a concrete filter overrides at least
    // one of them.
    // Filters into a temporary and copies the result back.
    virtual void ApplyInPlace(PLBmp& bmp) const;
    // Copies source into destination (when they differ), then filters it in place.
    virtual void Apply(const PLBmp& source, PLBmp& destination) const;

  protected:
    PLFilter() = default;
};

// Base of the resizing filters; not a filter of its own.
class PLFilterResize : public PLFilter {
  public:
    std::int32_t GetNewWidth() const { return newWidth; }
    std::int32_t GetNewHeight() const { return newHeight; }

  protected:
    PLFilterResize(std::int32_t width, std::int32_t height) : newWidth(width), newHeight(height) {}

    std::int32_t newWidth;
    std::int32_t newHeight;
};

// Fits a picture into newWidth x newHeight with its proportions kept (the side that does not
// decide gets at least 16 pixels). Shrinking keeps the pixel with the greatest key
// (blue * 65536 + green * 256 + red) of each block, so no new colours arise; enlarging
// interpolates between neighbours. The result is 32 bits, alpha 255; a source of another
// depth is converted first. A scale of exactly 1 copies; a non-positive one leaves the
// destination as it was.
class PLFilterResizeSharp : public PLFilterResize {
  public:
    PLFilterResizeSharp(std::int32_t width, std::int32_t height) : PLFilterResize(width, height) {}
    ~PLFilterResizeSharp() override;

    void Apply(const PLBmp& source, PLBmp& destination) const override;
};
