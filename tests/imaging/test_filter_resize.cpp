#include <gtest/gtest.h>

#include <cstring>

#include "imaging/bitmap.h"
#include "imaging/filter.h"

namespace {

constexpr Pixel32 kBlack = Pixel32::FromRGBA(0, 0, 0);
constexpr Pixel32 kWhite = Pixel32::FromRGBA(255, 255, 255);

void Fill(PLBmp& bmp, Pixel32 p) {
    for (int y = 0; y < bmp.GetHeight(); ++y) {
        for (int x = 0; x < bmp.GetWidth(); ++x)
            bmp.SetPixel(x, y, p);
    }
}

void MakePicture(CWinBmpEx& bmp, int w, int h, Pixel32 p = kBlack) {
    bmp.Create(w, h, 32, false, false);
    Fill(bmp, p);
}

bool RowIsZero(const CWinBmpEx& bmp, int row) {
    const std::uint8_t* line = bmp.GetLineArray()[row];
    for (std::size_t i = 0; i < bmp.GetBytesPerLine(); ++i) {
        if (line[i] != 0)
            return false;
    }
    return true;
}

TEST(FilterResizeSharp, OutputSizeKeepsTheProportions) {
    struct Case {
        int w, h, nw, nh, ew, eh;
    };
    const Case cases[] = {
        {200, 100, 100, 100, 100, 50},  // shrink, the width decides
        {40, 30, 100, 70, 93, 70},      // enlarge by 7/3, the height decides
        {1000, 10, 100, 100, 100, 16},  // derived height raised to 16
        {10, 1000, 100, 100, 16, 100},  // derived width raised to 16
        {50, 50, 20, 20, 20, 20},       // equal ratios: the filter's size
        {10, 10, 87, 65, 65, 65},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " -> " << c.nw << "x" << c.nh);
        CWinBmpEx source;
        source.Create(c.w, c.h, 32, false, false);
        CWinBmpEx out;
        out.CreateFilteredCopy(source, PLFilterResizeSharp(c.nw, c.nh));
        EXPECT_EQ(out.GetWidth(), c.ew);
        EXPECT_EQ(out.GetHeight(), c.eh);
        EXPECT_EQ(out.GetBitsPerPixel(), 32);
    }
}

TEST(FilterResizeSharp, ScaleOfOneCopiesAtTheSourceDepth) {
    CWinBmpEx source;
    source.Create(100, 50, 8, false, true, PLPoint{7, 8});
    source.GetLineArray()[3][4] = 99;
    source.GetPaletteEntries()[99] = RGBQuad{1, 2, 3, 4};
    CWinBmpEx out;
    out.CreateFilteredCopy(source, PLFilterResizeSharp(100, 50));
    EXPECT_EQ(out.GetBitsPerPixel(), 8);
    EXPECT_EQ(out.GetResolution(), (PLPoint{7, 8}));
    EXPECT_EQ(std::memcmp(out.GetBits(), source.GetBits(), source.GetBitsSize()), 0);
    EXPECT_EQ(out.GetPaletteEntries()[99], (RGBQuad{1, 2, 3, 4}));
}

TEST(FilterResizeSharp, NonPositiveSizeLeavesTheDestination) {
    CWinBmpEx source;
    MakePicture(source, 20, 10, kWhite);
    CWinBmpEx empty;
    empty.Create(0, 0, 32, false, false);
    for (auto [nw, nh] : {std::pair{0, 50}, {50, 0}, {-4, -4}, {0, 0}}) {
        CWinBmpEx out;
        MakePicture(out, 3, 2, kWhite);
        out.CreateFilteredCopy(source, PLFilterResizeSharp(nw, nh));
        EXPECT_EQ(out.GetWidth(), 3);
        EXPECT_EQ(out.GetHeight(), 2);
        out.CreateFilteredCopy(empty, PLFilterResizeSharp(10, 10));
        EXPECT_EQ(out.GetWidth(), 3);
    }
}

TEST(FilterResizeSharp, ShrinkKeepsTheGreatestKeyOfEachBlock) {
    // Blocks of 4 with s = 4: columns 0-3 and 4-7.
    CWinBmpEx source;
    MakePicture(source, 8, 8);
    source.SetPixel(5, 6, kWhite);
    CWinBmpEx out;
    PLFilterResizeSharp filter(2, 2);
    out.CreateFilteredCopy(source, filter);
    ASSERT_EQ(out.GetWidth(), 2);
    EXPECT_EQ(out.GetPixel(1, 1), kWhite);
    EXPECT_EQ(out.GetPixel(0, 0), kBlack);
    EXPECT_EQ(out.GetPixel(1, 0), kBlack);

    Fill(source, kWhite);
    source.SetPixel(5, 6, kBlack);
    out.CreateFilteredCopy(source, filter);  // the filter can be used again
    EXPECT_EQ(out.GetPixel(1, 1), kWhite);

    // Blue weighs most: (0, 0, 1) beats pure red; the first of equal keys wins.
    Fill(source, Pixel32::FromRGBA(255, 0, 0, 7));
    source.SetPixel(2, 2, Pixel32::FromRGBA(0, 0, 1, 9));
    source.SetPixel(6, 6, Pixel32::FromRGBA(0, 0, 0, 200));
    out.CreateFilteredCopy(source, filter);
    EXPECT_EQ(out.GetPixel(0, 0), Pixel32::FromRGBA(0, 0, 1, 255));
    EXPECT_EQ(out.GetPixel(1, 1), Pixel32::FromRGBA(255, 0, 0, 255));
}

TEST(FilterResizeSharp, ShrinkBlocksFollowEachOther) {
    // With s = 2 over 200 columns the blocks are 0-2, 3-4, ..., 197-198, 199.
    CWinBmpEx source;
    MakePicture(source, 200, 2);
    CWinBmpEx out;
    const int probes[][2] = {{2, 0}, {3, 1}, {198, 98}, {199, 99}};
    for (auto [column, block] : probes) {
        Fill(source, kBlack);
        source.SetPixel(column, 1, kWhite);
        out.CreateFilteredCopy(source, PLFilterResizeSharp(100, 1));
        ASSERT_EQ(out.GetWidth(), 100);
        ASSERT_EQ(out.GetHeight(), 1);  // equal ratios
        for (int x = 0; x < 100; ++x) {
            EXPECT_EQ(out.GetPixel(x, 0), x == block ? kWhite : kBlack)
                << "column " << column << ", output " << x;
        }
    }
}

TEST(FilterResizeSharp, RowsNoSourceReachesStayAsCreated) {
    CWinBmpEx source;
    MakePicture(source, 1000, 10, kWhite);
    CWinBmpEx out;
    out.CreateFilteredCopy(source, PLFilterResizeSharp(100, 100));
    ASSERT_EQ(out.GetHeight(), 16);
    EXPECT_EQ(out.GetPixel(50, 0), kWhite);
    EXPECT_EQ(out.GetPixel(50, 1), kWhite);
    for (int row = 2; row < 16; ++row)
        EXPECT_TRUE(RowIsZero(out, row)) << row;

    // Enlarged past the source's last row by the 16-pixel minimum: never read below it.
    CWinBmpEx line;
    MakePicture(line, 100, 1, kWhite);
    out.CreateFilteredCopy(line, PLFilterResizeSharp(800, 100));
    ASSERT_EQ(out.GetWidth(), 800);
    ASSERT_EQ(out.GetHeight(), 16);
    EXPECT_EQ(out.GetPixel(799, 7), kWhite);
    for (int row = 8; row < 16; ++row)
        EXPECT_TRUE(RowIsZero(out, row)) << row;
}

TEST(FilterResizeSharp, EnlargeMeansHorizontalAndVerticalInterpolation) {
    CWinBmpEx source;
    MakePicture(source, 2, 1);
    source.SetPixel(1, 0, kWhite);
    CWinBmpEx out;
    out.CreateFilteredCopy(source, PLFilterResizeSharp(4, 2));
    ASSERT_EQ(out.GetWidth(), 4);
    ASSERT_EQ(out.GetHeight(), 2);
    const int expected[] = {0, 63, 255, 255};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            auto v = static_cast<std::uint8_t>(expected[x]);
            EXPECT_EQ(out.GetPixel(x, y), Pixel32::FromRGBA(v, v, v, 255)) << x << "," << y;
        }
    }

    // 2 x 2 to 4 x 4: the diagonal neighbour is not used.
    CWinBmpEx square;
    MakePicture(square, 2, 2);
    square.SetPixel(1, 1, kWhite);
    out.CreateFilteredCopy(square, PLFilterResizeSharp(4, 4));
    EXPECT_EQ(out.GetPixel(1, 1), kBlack);
    square.SetPixel(1, 0, Pixel32::FromRGBA(200, 100, 40));
    out.CreateFilteredCopy(square, PLFilterResizeSharp(4, 4));
    // x = 0.5, y = 0.5: (0 * 0.5 + c * 0.5 + 0 * 0.5 + 0 * 0.5) / 2 = c / 4
    EXPECT_EQ(out.GetPixel(1, 1), Pixel32::FromRGBA(50, 25, 10, 255));
}

TEST(FilterResizeSharp, OtherDepthsAndTheSourceItselfAreHandled) {
    CWinBmpEx indexed;
    indexed.Create(8, 8, 8, false, false);
    indexed.GetPaletteEntries()[3] = RGBQuad{0, 0, 255, 255};
    indexed.GetLineArray()[6][5] = 3;
    CWinBmpEx out;
    out.CreateFilteredCopy(indexed, PLFilterResizeSharp(2, 2));
    ASSERT_EQ(out.GetBitsPerPixel(), 32);
    EXPECT_EQ(out.GetPixel(1, 1), Pixel32::FromRGBA(255, 0, 0, 255));

    CWinBmpEx self;
    MakePicture(self, 8, 8);
    self.SetPixel(5, 6, kWhite);
    self.CreateFilteredCopy(self, PLFilterResizeSharp(2, 2));
    ASSERT_EQ(self.GetWidth(), 2);
    EXPECT_EQ(self.GetPixel(1, 1), kWhite);
}

}  // namespace
