#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/quantize.h"
#include "imaging/text_exception.h"

namespace {

// Fills an 8-bit bitmap with a pattern and a distinct colour table.
void FillIndexed(PLBmp& bmp) {
    std::vector<RGBQuad> table(256);
    for (int i = 0; i < 256; ++i) {
        table[i] = RGBQuad{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                           static_cast<std::uint8_t>(i / 2), static_cast<std::uint8_t>(i ^ 0x55)};
    }
    bmp.SetPaletteEntries(table.data());
    for (int y = 0; y < bmp.GetHeight(); ++y) {
        for (int x = 0; x < bmp.GetWidth(); ++x) {
            bmp.GetLineArray()[y][x] = static_cast<std::uint8_t>(x * 7 + y * 13);
        }
    }
}

TEST(Bitmap, NewBitmapsAre16By16GreyWithZeroPixels) {
    CWinBmpEx ex;
    EXPECT_EQ(ex.GetWidth(), 16);
    EXPECT_EQ(ex.GetHeight(), 16);
    EXPECT_EQ(ex.GetBitsPerPixel(), 8);
    ASSERT_EQ(ex.GetPaletteSize(), 256u);
    EXPECT_EQ(ex.GetPaletteEntries()[200], (RGBQuad{200, 200, 200, 255}));
    std::vector<std::uint8_t> zero(ex.GetBitsSize(), 0);
    EXPECT_EQ(std::memcmp(ex.GetBits(), zero.data(), zero.size()), 0);

    PLAnyBmp any;
    EXPECT_EQ(any.GetWidth(), 16);
    EXPECT_EQ(any.GetBytesPerLine(), 16u);
    EXPECT_EQ(any.GetPaletteEntries()[0], (RGBQuad{0, 0, 0, 255}));
    PLWinBmp win;
    EXPECT_EQ(win.GetPaletteEntries()[255], (RGBQuad{255, 255, 255, 255}));
}

struct LayoutCase {
    int width, height, bpp;
    std::size_t winRow, anyRow, paletteSize;
};

TEST(Bitmap, RowLengthsAndPalettesByDepth) {
    const LayoutCase cases[] = {
        {7, 3, 1, 4, 1, 2},   {9, 2, 4, 8, 5, 16}, {3, 3, 24, 12, 9, 0},
        {5, 1, 8, 8, 5, 256}, {3, 2, 16, 8, 6, 0}, {2, 2, 32, 8, 8, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bpp);
        CWinBmpEx win;
        win.Create(c.width, c.height, c.bpp, false, false);
        EXPECT_EQ(win.GetBytesPerLine(), c.winRow);
        EXPECT_EQ(win.GetPaletteSize(), c.paletteSize);
        EXPECT_EQ(win.GetPaletteEntries() != nullptr, c.paletteSize != 0);
        EXPECT_EQ(win.GetBitsSize(), c.winRow * c.height);
        EXPECT_EQ(win.GetMemUsed(), 40 + 4 * c.paletteSize + c.winRow * c.height + 56);
        const BitmapInfoHeader* info = win.GetBitmapInfo();
        EXPECT_EQ(info->size, 40u);
        EXPECT_EQ(info->width, c.width);
        EXPECT_EQ(info->height, c.height);
        EXPECT_EQ(info->planes, 1);
        EXPECT_EQ(info->bitCount, c.bpp);
        EXPECT_EQ(info->compression, 0u);
        EXPECT_EQ(info->sizeImage, 0u);

        PLAnyBmp any;
        any.Create(c.width, c.height, c.bpp, false, false);
        EXPECT_EQ(any.GetBytesPerLine(), c.anyRow);
        EXPECT_EQ(any.GetPaletteSize(), c.paletteSize);
        EXPECT_EQ(any.GetLineArray()[c.height - 1], any.GetPixels() + (c.height - 1) * c.anyRow);
    }
    CWinBmpEx one;
    one.Create(7, 3, 1, false, false);
    EXPECT_EQ(one.GetPaletteEntries()[0], (RGBQuad{0, 0, 0, 255}));
    EXPECT_EQ(one.GetPaletteEntries()[1], (RGBQuad{255, 255, 255, 255}));
    CWinBmpEx four;
    four.Create(9, 2, 4, false, false);
    EXPECT_EQ(four.GetPaletteEntries()[1], (RGBQuad{17, 17, 17, 255}));
}

TEST(Bitmap, WindowsRowsAreBottomUpInMemory) {
    CWinBmpEx bmp;
    bmp.Create(3, 4, 32, false, false, PLPoint{72, 96});
    EXPECT_EQ(bmp.GetResolution(), (PLPoint{72, 96}));
    EXPECT_EQ(bmp.GetLineArray()[0], bmp.GetBits() + 3 * bmp.GetBytesPerLine());
    EXPECT_EQ(bmp.GetLineArray()[3], bmp.GetBits());
    bmp.SetPixel(1, 0, Pixel32::FromRGBA(1, 2, 3, 4));
    const std::uint8_t* top = bmp.GetBits() + 3 * bmp.GetBytesPerLine() + 4;
    EXPECT_EQ(top[0], 3);  // blue first
    EXPECT_EQ(top[2], 1);
    EXPECT_EQ(bmp.GetPixel(1, 0), Pixel32::FromRGBA(1, 2, 3, 4));
    EXPECT_EQ(Pixel32::FromRGBA(1, 2, 3, 4).Value(), 0x04010203u);
}

TEST(Bitmap, CreateRefusesWhatItCannotHoldAndStaysUsable) {
    for (auto [w, h, bpp] : {std::tuple{65536, 1, 8},
                             {60000, 60000, 32},
                             {-1, 4, 8},
                             {4, 4, 2},
                             {4, 4, 0},
                             {4, 4, 12}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h << "x" << bpp);
        CWinBmpEx bmp;
        try {
            bmp.Create(w, h, bpp, false, false);
            FAIL() << "created";
        } catch (const PLTextException& e) {
            EXPECT_EQ(e.GetCode(), PL_ERRNO_MEMORY);
            EXPECT_EQ(e.GetMessage(), "Out of memory creating bitmap.");
        }
        EXPECT_EQ(bmp.GetWidth(), 0);
        EXPECT_EQ(bmp.GetHeight(), 0);
        bmp.Create(2, 2, 8, false, false);
        EXPECT_EQ(bmp.GetWidth(), 2);
    }
    EXPECT_TRUE(PLPixelStoreFits(65535, 2048, 32));
    EXPECT_FALSE(PLPixelStoreFits(65535, 2049, 32));
}

TEST(Bitmap, PaletteEntriesCopyWhatBothSidesHave) {
    CWinBmpEx bmp;
    bmp.Create(2, 2, 32, false, false);
    RGBQuad table[256] = {};
    bmp.SetPaletteEntries(table);  // no colour table: nothing to write
    bmp.SetGreyRamp();
    EXPECT_EQ(bmp.GetPaletteEntries(), nullptr);

    bmp.Create(2, 2, 8, false, false);
    const RGBQuad two[2] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    bmp.SetPaletteEntries(std::span<const RGBQuad>(two));
    EXPECT_EQ(bmp.GetPaletteEntries()[1], (RGBQuad{5, 6, 7, 8}));
    EXPECT_EQ(bmp.GetPaletteEntries()[2], (RGBQuad{2, 2, 2, 255}));
}

TEST(Bitmap, CopyAtSameDepthBetweenPaddedAndUnpaddedRows) {
    PLAnyBmp any;
    any.Create(3, 2, 24, false, false, PLPoint{10, 20});
    for (int y = 0; y < 2; ++y) {
        for (int i = 0; i < 9; ++i)
            any.GetLineArray()[y][i] = static_cast<std::uint8_t>(y * 9 + i);
    }
    CWinBmpEx win;
    win.CreateCopy(any);
    EXPECT_EQ(win.GetBitsPerPixel(), 24);
    EXPECT_EQ(win.GetResolution(), (PLPoint{10, 20}));
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(std::memcmp(win.GetLineArray()[y], any.GetLineArray()[y], 9), 0);
    }
    PLAnyBmp back;
    back.CreateCopy(win);
    EXPECT_EQ(std::memcmp(back.GetPixels(), any.GetPixels(), 18), 0);

    CWinBmpEx indexed;
    indexed.Create(5, 3, 8, false, true);
    FillIndexed(indexed);
    CWinBmpEx copy;
    copy.CreateCopy(indexed);
    EXPECT_TRUE(copy.IsGreyscale());
    EXPECT_EQ(std::memcmp(copy.GetPaletteEntries(), indexed.GetPaletteEntries(), 1024), 0);
    EXPECT_EQ(std::memcmp(copy.GetBits(), indexed.GetBits(), copy.GetBitsSize()), 0);

    std::vector<std::uint8_t> before(copy.GetBits(), copy.GetBits() + copy.GetBitsSize());
    copy.CreateCopy(copy, 0);
    copy.CreateCopy(copy, 8);
    EXPECT_EQ(std::vector<std::uint8_t>(copy.GetBits(), copy.GetBits() + copy.GetBitsSize()),
              before);
}

TEST(Bitmap, ConversionTo32And24Bits) {
    CWinBmpEx indexed;
    indexed.Create(4, 2, 8, false, false, PLPoint{5, 6});
    indexed.GetPaletteEntries()[5] = RGBQuad{10, 20, 30, 0};
    indexed.GetLineArray()[1][2] = 5;
    CWinBmpEx wide;
    wide.CreateCopy(indexed, 32);
    EXPECT_EQ(wide.GetBitsPerPixel(), 32);
    EXPECT_EQ(wide.GetPixel(2, 1), (Pixel32{10, 20, 30, 0}));
    EXPECT_EQ(wide.GetPixel(0, 0), (Pixel32{0, 0, 0, 255}));
    EXPECT_EQ(wide.GetResolution(), (PLPoint{5, 6}));

    CWinBmpEx rgb;
    rgb.Create(2, 1, 24, false, false);
    std::uint8_t* line = rgb.GetLineArray()[0];
    const std::uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
    std::memcpy(line, bytes, 6);
    wide.CreateCopy(rgb, 32);
    EXPECT_EQ(wide.GetPixel(0, 0), (Pixel32{1, 2, 3, 255}));
    EXPECT_EQ(wide.GetPixel(1, 0), (Pixel32{4, 5, 6, 255}));
    EXPECT_FALSE(wide.HasAlpha());

    CWinBmpEx mono;
    mono.Create(10, 1, 1, false, false);
    mono.GetPaletteEntries()[1] = RGBQuad{9, 8, 7, 6};
    mono.GetLineArray()[0][1] = 0x40;  // pixel 9
    wide.CreateCopy(mono, 32);
    EXPECT_EQ(wide.GetPixel(9, 0), (Pixel32{9, 8, 7, 6}));
    EXPECT_EQ(wide.GetPixel(8, 0), (Pixel32{0, 0, 0, 255}));

    CWinBmpEx alpha;
    alpha.Create(1, 1, 32, true, false);
    alpha.SetPixel(0, 0, Pixel32{1, 2, 3, 4});
    CWinBmpEx bgr;
    bgr.CreateCopy(alpha, 24);
    EXPECT_FALSE(bgr.HasAlpha());
    EXPECT_EQ(bgr.GetLineArray()[0][2], 3);

    // In place: the pixels being converted are not freed first.
    indexed.CreateCopy(indexed, 32);
    EXPECT_EQ(indexed.GetPixel(2, 1), (Pixel32{10, 20, 30, 0}));
}

TEST(Bitmap, ConversionTo8And1Bits) {
    CWinBmpEx mono;
    mono.Create(9, 1, 1, false, false);
    mono.GetPaletteEntries()[0] = RGBQuad{1, 1, 1, 1};
    mono.GetLineArray()[0][0] = 0xA0;
    mono.GetLineArray()[0][1] = 0x80;
    CWinBmpEx indexed;
    indexed.CreateCopy(mono, 8);
    EXPECT_EQ(indexed.GetPaletteEntries()[0], (RGBQuad{1, 1, 1, 1}));
    EXPECT_EQ(indexed.GetPaletteEntries()[1], (RGBQuad{255, 255, 255, 255}));
    const std::uint8_t expected[9] = {1, 0, 1, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(indexed.GetLineArray()[0], expected, 9), 0);

    indexed.GetPaletteEntries()[0] = RGBQuad{127, 127, 127, 255};
    indexed.GetPaletteEntries()[1] = RGBQuad{0, 200, 0, 255};
    CWinBmpEx back;
    back.CreateCopy(indexed, 1);
    EXPECT_EQ(back.GetPaletteEntries()[0], (RGBQuad{255, 255, 255, 255}));
    EXPECT_EQ(back.GetPaletteEntries()[1], (RGBQuad{0, 0, 0, 255}));
    // Dark entry 0 becomes black (1); entry 1 has green 200 and stays white (0).
    EXPECT_EQ(back.GetLineArray()[0][0], 0x5F);
    EXPECT_EQ(back.GetLineArray()[0][1], 0x00);

    CWinBmpEx colour;
    colour.Create(3, 1, 32, false, false);
    colour.SetPixel(0, 0, Pixel32::FromRGBA(255, 0, 0));
    colour.SetPixel(1, 0, Pixel32::FromRGBA(0, 0, 0));
    colour.SetPixel(2, 0, Pixel32::FromRGBA(255, 255, 255));
    CWinBmpEx reduced;
    reduced.CreateCopy(colour, 8);
    EXPECT_EQ(reduced.GetBitsPerPixel(), 8);
    for (int x = 0; x < 3; ++x) {
        Pixel32 in = colour.GetPixel(x, 0);
        RGBQuad out = reduced.GetPaletteEntries()[reduced.GetLineArray()[0][x]];
        EXPECT_EQ(out, (RGBQuad{in.blue, in.green, in.red, 255}));
    }
    EXPECT_EQ(PLFilterQuantize::CubeIndex(130, 20, 250), 3 * 36 + 0 * 6 + 5);
}

TEST(Bitmap, PackedDibRoundTripAndDamagedOnes) {
    CWinBmpEx bmp;
    bmp.Create(5, 3, 8, false, false);
    FillIndexed(bmp);
    std::vector<std::uint8_t> dib = bmp.CopyToGlobalMemory();
    ASSERT_EQ(dib.size(), 40 + 1024 + bmp.GetBitsSize());
    PLWinBmp copy;
    copy.CreateFromPackedDib(dib);
    EXPECT_EQ(copy.GetWidth(), 5);
    EXPECT_EQ(std::memcmp(copy.GetPaletteEntries(), bmp.GetPaletteEntries(), 1024), 0);
    EXPECT_EQ(std::memcmp(copy.GetBits(), bmp.GetBits(), bmp.GetBitsSize()), 0);
    EXPECT_EQ(copy.CopyToGlobalMemory(), dib);

    // Truncated pixels are kept as far as they go; a short or lying header is refused.
    dib.resize(40 + 1024 + 3);
    copy.CreateFromPackedDib(dib);
    EXPECT_EQ(copy.GetBits()[3], 0);
    std::vector<std::uint8_t> lying(dib.begin(), dib.begin() + 40);
    lying[0] = 200;
    EXPECT_THROW(copy.CreateFromPackedDib(lying), PLTextException);
    EXPECT_THROW(copy.CreateFromPackedDib(std::span(dib).first(39)), PLTextException);
}

TEST(Bitmap, LogicalPaletteFollowsTheColourTable) {
    CWinBmpEx bmp;
    bmp.Create(2, 2, 4, false, false);
    EXPECT_EQ(bmp.GetColourCount(), 16u);
    const PLLogicalPalette* first = bmp.GetPalette();
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->entries.size(), 16u);
    EXPECT_EQ(first->entries[1], (RGBQuad{17, 17, 17, 0}));
    EXPECT_EQ(bmp.GetPalette(), first);
    bmp.GetPaletteEntries()[1] = RGBQuad{1, 2, 3, 4};
    bmp.ResetPalette();
    EXPECT_EQ(bmp.GetPalette()->entries[1], (RGBQuad{1, 2, 3, 0}));

    bmp.Create(2, 2, 32, false, false);
    EXPECT_EQ(bmp.GetColourCount(), std::size_t{1} << 24);
    bmp.ResetPalette();
    EXPECT_EQ(bmp.GetPalette()->entries.size(), 216u);
}

TEST(Bitmap, ReleasedSectionBelongsToTheCaller) {
    CWinBmpEx bmp;
    bmp.Create(4, 4, 32, false, false);
    bmp.SetPixel(0, 3, Pixel32{1, 2, 3, 4});
    std::unique_ptr<std::uint8_t[]> pixels = bmp.ReleaseSection();
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], 1);
    EXPECT_EQ(bmp.GetWidth(), 16);
    EXPECT_EQ(bmp.GetBitsPerPixel(), 8);
}

}  // namespace
