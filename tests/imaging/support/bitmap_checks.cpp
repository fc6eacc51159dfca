#include "tests/imaging/support/bitmap_checks.h"

#include <cstdlib>
#include <exception>
#include <memory>
#include <sstream>

#include "imaging/any_pic_decoder.h"
#include "imaging/text_exception.h"

namespace folv::testing {

Pixel32 ColourAt(const PLBmp& bmp, int x, int y) {
    const std::uint8_t* row = bmp.GetLineArray()[y];
    const int depth = bmp.GetBitsPerPixel();
    if (depth == 32)
        return reinterpret_cast<const Pixel32*>(row)[x];
    if (depth == 24)
        return Pixel32{row[3 * x], row[3 * x + 1], row[3 * x + 2], 255};
    unsigned index = 0;
    if (depth == 8)
        index = row[x];
    else if (depth == 4)
        index = (x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4;
    else if (depth == 1)
        index = (row[x / 8] >> (7 - x % 8)) & 1;
    const RGBQuad entry = bmp.GetPaletteEntries()[index];
    return Pixel32{entry.blue, entry.green, entry.red, entry.reserved};
}

namespace {

struct Expected {
    int red, green, blue, alpha;
};

Expected ReferenceAt(const RefImage& ref, int x, int y) {
    switch (ref.channels) {
        case 1:
        case 2: {
            const int grey = ref.At8(x, y, 0);
            return {grey, grey, grey, ref.channels == 2 ? ref.At8(x, y, 1) : 255};
        }
        default:
            return {ref.At8(x, y, 0), ref.At8(x, y, 1), ref.At8(x, y, 2),
                    ref.channels == 4 ? ref.At8(x, y, 3) : 255};
    }
}

}  // namespace

::testing::AssertionResult MatchesReference(const PLBmp& bmp, const RefImage& reference,
                                            int tolerance, bool withAlpha) {
    if (bmp.GetWidth() != reference.width || bmp.GetHeight() != reference.height) {
        return ::testing::AssertionFailure()
               << "size " << bmp.GetWidth() << " x " << bmp.GetHeight() << ", reference "
               << reference.width << " x " << reference.height;
    }
    for (int y = 0; y < reference.height; ++y) {
        for (int x = 0; x < reference.width; ++x) {
            const Pixel32 got = ColourAt(bmp, x, y);
            const Expected want = ReferenceAt(reference, x, y);
            const bool close = std::abs(got.red - want.red) <= tolerance &&
                               std::abs(got.green - want.green) <= tolerance &&
                               std::abs(got.blue - want.blue) <= tolerance &&
                               (!withAlpha || std::abs(got.alpha - want.alpha) <= tolerance);
            if (!close) {
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is rgba(" << int{got.red} << ", "
                       << int{got.green} << ", " << int{got.blue} << ", " << int{got.alpha}
                       << "), reference rgba(" << want.red << ", " << want.green << ", "
                       << want.blue << ", " << want.alpha << ")";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

double MeanDifference(const PLBmp& bmp, const RefImage& reference) {
    double sum = 0;
    for (int y = 0; y < reference.height; ++y) {
        for (int x = 0; x < reference.width; ++x) {
            const Pixel32 got = ColourAt(bmp, x, y);
            const Expected want = ReferenceAt(reference, x, y);
            sum += std::abs(got.red - want.red) + std::abs(got.green - want.green) +
                   std::abs(got.blue - want.blue);
        }
    }
    return sum / (3.0 * reference.width * reference.height);
}

void DecodeBytes(const std::vector<std::uint8_t>& bytes, PLBmp& bmp) {
    PLAnyPicDecoder decoder;
    decoder.DecodeMemory(bytes.data(), bytes.size(), bmp, 0);
}

int DecodeError(const std::vector<std::uint8_t>& bytes) {
    CWinBmpEx bmp;
    try {
        DecodeBytes(bytes, bmp);
    } catch (const PLTextException& e) {
        return e.GetCode();
    }
    return 0;
}

void ExpectCutsFailCleanly(const std::vector<std::uint8_t>& bytes, std::size_t stride) {
    PLAnyPicDecoder decoder;
    for (std::size_t length = 0; length < bytes.size(); length += stride) {
        // Exactly `length` bytes on the heap, so that a read past them is caught.
        std::unique_ptr<std::uint8_t[]> cut(new std::uint8_t[length == 0 ? 1 : length]);
        std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length), cut.get());
        CWinBmpEx bmp;
        try {
            decoder.DecodeMemory(cut.get(), length, bmp, 0);
        } catch (const PLTextException&) {
            continue;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "cut at " << length << " of " << bytes.size()
                          << " bytes threw a foreign exception: " << e.what();
            return;
        }
    }
}

}  // namespace folv::testing
