#pragma once

// Checks shared by the decoder tests: a decoded bitmap against a reference picture, and
// decoding every cut-off prefix of a file.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"
#include "tests/imaging/support/external_images.h"

namespace folv::testing {

// The colour of a pixel whatever the bitmap's depth: through the palette (its reserved byte
// as alpha) up to 8 bits, alpha 255 for 24 bits.
Pixel32 ColourAt(const PLBmp& bmp, int x, int y);

// Every pixel's red, green and blue (and alpha when `withAlpha`) within `tolerance` of the
// reference; the message names the first pixel that is not.
::testing::AssertionResult MatchesReference(const PLBmp& bmp, const RefImage& reference,
                                            int tolerance = 0, bool withAlpha = false);

// Mean absolute difference over red, green and blue of every pixel.
double MeanDifference(const PLBmp& bmp, const RefImage& reference);

// Decodes `bytes` through the front end into `bmp` (throws what the decoder throws).
void DecodeBytes(const std::vector<std::uint8_t>& bytes, PLBmp& bmp);

// The code of the PLTextException that decoding `bytes` throws, or 0 when it decodes.
int DecodeError(const std::vector<std::uint8_t>& bytes);

// Decodes every `stride`-th prefix of `bytes`, each from a buffer of exactly its length, and
// fails the test when one ends in anything but a picture or PLTextException.
void ExpectCutsFailCleanly(const std::vector<std::uint8_t>& bytes, std::size_t stride = 1);

}  // namespace folv::testing
