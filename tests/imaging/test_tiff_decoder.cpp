#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/any_pic_decoder.h"
#include "imaging/text_exception.h"
#include "imaging/tiff_decoder.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"

using folv::testing::DecodeBytes;
using folv::testing::MatchesReference;
using folv::testing::MeanDifference;
using folv::testing::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

using Written = folv::testing::WrittenPicture;

Written Write(const TempDir& dir, const std::string& command, bool withAlpha = false,
              const std::string& referenceOptions = "") {
    return folv::testing::WriteWithTools(dir, command, "picture.tif", withAlpha, referenceOptions);
}

struct ToolCase {
    const char* name;
    const char* program;
    const char* command;
    bool withAlpha;
    int depth;
    bool hasAlpha;
    bool greyscale;
    int tolerance;
};

class TiffFromTools : public ::testing::TestWithParam<ToolCase> {};

TEST_P(TiffFromTools, MatchesTheReference) {
    const ToolCase& c = GetParam();
    FOLV_REQUIRE_PROGRAM("convert");
    FOLV_REQUIRE_PROGRAM(c.program);
    TempDir dir;
    const Written w = Write(dir, c.command, c.withAlpha);
    CWinBmpEx bmp;
    DecodeBytes(w.bytes, bmp);
    EXPECT_EQ(bmp.GetBitsPerPixel(), c.depth);
    EXPECT_EQ(bmp.HasAlpha(), c.hasAlpha);
    EXPECT_EQ(bmp.IsGreyscale(), c.greyscale);
    EXPECT_TRUE(MatchesReference(bmp, w.reference, c.tolerance, c.hasAlpha));
    folv::testing::ExpectCutsFailCleanly(w.bytes, w.bytes.size() > 3000 ? 11 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TiffFromTools,
    ::testing::Values(
        ToolCase{"rgb", "convert", "convert %i %o", false, 32, false, false, 0},
        ToolCase{"rgb_lzw", "convert", "convert %i -compress LZW %o", false, 32, false, false, 0},
        ToolCase{"rgb_deflate", "convert", "convert %i -compress Zip %o", false, 32, false, false,
                 0},
        ToolCase{"rgb_packbits_tiled", "tiffcp",
                 "convert %i %o.in.tif && tiffcp -c packbits -t -w 16 -l 16 %o.in.tif %o", false,
                 32, false, false, 0},
        ToolCase{"rgb_tiled", "convert", "convert %i -define tiff:tile-geometry=16x16 %o", false,
                 32, false, false, 0},
        ToolCase{"rgb_planes", "convert", "convert %i -interlace Plane %o", false, 32, false, false,
                 0},
        ToolCase{"rgb16", "convert", "convert %i -depth 16 %o", false, 32, false, false, 1},
        ToolCase{"rgba", "convert", "convert %i %o", true, 32, true, false, 0},
        ToolCase{"rgba_planes", "convert", "convert %i -interlace Plane %o", true, 32, true, false,
                 0},
        ToolCase{"jpeg", "convert", "convert %i -compress JPEG -quality 95 %o", false, 32, false,
                 false, 12},
        ToolCase{"grey8", "convert", "convert %i -colorspace Gray %o", false, 8, false, true, 0},
        ToolCase{"grey8_lzw_rows", "tiffcp",
                 "convert %i -colorspace Gray %o.in.tif && tiffcp -c lzw -r 3 %o.in.tif %o", false,
                 8, false, true, 0},
        ToolCase{"grey4", "pnmtotiff", "ppmtopgm %i | pnmdepth 15 | pnmtotiff > %o", false, 8,
                 false, true, 0},
        ToolCase{"grey2", "pnmtotiff", "ppmtopgm %i | pnmdepth 3 | pnmtotiff > %o", false, 8, false,
                 true, 0},
        ToolCase{"grey16", "convert", "convert %i -colorspace Gray -depth 16 %o", false, 32, false,
                 true, 1},
        ToolCase{"grey_alpha", "convert", "convert %i -colorspace Gray %o", true, 8, false, true,
                 0},
        ToolCase{"palette", "convert", "convert %i -colors 50 -type palette %o", false, 8, false,
                 false, 0},
        ToolCase{"bilevel_min_is_white", "pnmtotiff",
                 "ppmtopgm %i | pgmtopbm | pnmtotiff -miniswhite > %o", false, 1, false, true, 0},
        ToolCase{"bilevel_min_is_black", "pnmtotiff",
                 "ppmtopgm %i | pgmtopbm | pnmtotiff -minisblack > %o", false, 1, false, true, 0},
        ToolCase{"bilevel_group4", "pnmtotiff", "ppmtopgm %i | pgmtopbm | pnmtotiff -g4 > %o",
                 false, 1, false, true, 0}),
    [](const ::testing::TestParamInfo<ToolCase>& p) { return std::string(p.param.name); });

class TiffDecoder : public ::testing::Test {
  protected:
    void SetUp() override { FOLV_REQUIRE_PROGRAM("convert"); }
    TempDir dir;
};

TEST_F(TiffDecoder, MinIsWhitePaletteRunsFromWhiteToBlack) {
    FOLV_REQUIRE_PROGRAM("pnmtotiff");
    const Written w = Write(dir, "ppmtopgm %i | pgmtopbm | pnmtotiff -miniswhite > %o");
    CWinBmpEx bmp;
    DecodeBytes(w.bytes, bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 1);
    EXPECT_EQ(bmp.GetPaletteEntries()[0], (RGBQuad{255, 255, 255, 255}));
    EXPECT_EQ(bmp.GetPaletteEntries()[1], (RGBQuad{0, 0, 0, 255}));
}

TEST_F(TiffDecoder, SixteenBitColourMapIsScaled) {
    const Written w = Write(dir, "convert %i -colors 8 -type palette %o");
    CWinBmpEx bmp;
    DecodeBytes(w.bytes, bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 8);
    // ImageMagick writes 16-bit colour maps; white is 0xFFFF in each channel.
    bool sawBright = false;
    for (int i = 0; i < 256; ++i)
        sawBright = sawBright || bmp.GetPaletteEntries()[i].red > 200;
    EXPECT_TRUE(sawBright);
    EXPECT_TRUE(MatchesReference(bmp, w.reference));
}

TEST_F(TiffDecoder, CmykPictureComesOutInColour) {
    const Written w = Write(dir, "convert %i -colorspace CMYK %o", false, "-colorspace sRGB");
    CWinBmpEx bmp;
    DecodeBytes(w.bytes, bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 32);
    // Four samples of a separated picture are no alpha.
    EXPECT_FALSE(bmp.HasAlpha());
    EXPECT_LT(MeanDifference(bmp, w.reference), 3.0);
}

TEST_F(TiffDecoder, ResolutionInInchesAndCentimetres) {
    struct Case {
        const char* options;
        PLPoint expected;
    };
    for (const Case& c : {Case{"-units PixelsPerInch -density 300x150", {300, 150}},
                          Case{"-units PixelsPerCentimeter -density 118.11", {300, 300}},
                          Case{"-units PixelsPerInch -density 1", {0, 0}}}) {
        const Written w = Write(dir, std::string("convert %i ") + c.options + " %o");
        CWinBmpEx bmp;
        DecodeBytes(w.bytes, bmp);
        EXPECT_EQ(bmp.GetResolution(), c.expected) << c.options;
    }
}

// An EPS file with a TIFF preview: 30-byte header, PostScript, then the TIFF.
Bytes WrapInEps(const Bytes& tiff) {
    const std::string postscript = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 37 23\n";
    Bytes eps = {0xC5, 0xD0, 0xD3, 0xC6};
    const auto put32 = [&eps](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            eps.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put32(30);
    put32(static_cast<std::uint32_t>(postscript.size()));
    put32(0);
    put32(0);
    put32(static_cast<std::uint32_t>(30 + postscript.size()));
    put32(static_cast<std::uint32_t>(tiff.size()));
    eps.push_back(0xFF);
    eps.push_back(0xFF);
    eps.insert(eps.end(), postscript.begin(), postscript.end());
    eps.insert(eps.end(), tiff.begin(), tiff.end());
    return eps;
}

TEST_F(TiffDecoder, EpsPreviewDecodesFromItsOffset) {
    for (const char* command : {"convert %i -compress LZW %o", "convert %i -colorspace Gray %o"}) {
        const Written w = Write(dir, command);
        const Bytes eps = WrapInEps(w.bytes);
        PLAnyPicDecoder decoder;
        CWinBmpEx bmp;
        decoder.DecodeMemory(eps.data(), eps.size(), bmp, 0);
        EXPECT_EQ(decoder.GetFileType(), PLFileType::EpsTiff);
        EXPECT_TRUE(MatchesReference(bmp, w.reference)) << command;
        folv::testing::ExpectCutsFailCleanly(eps, 13);
    }
}

TEST_F(TiffDecoder, DamagedFilesFailWithCodes) {
    const Written w = Write(dir, "convert %i %o");
    const auto code = [](const Bytes& bytes) {
        CWinBmpEx bmp;
        try {
            DecodeBytes(bytes, bmp);
        } catch (const PLTextException& e) {
            return e.GetCode();
        }
        return 0;
    };
    const Bytes badOffset = {0x49, 0x49, 0x2A, 0x00, 0xFF, 0xFF, 0xFF, 0x0F};
    EXPECT_NE(code(badOffset), 0);
    const Bytes headerOnly = {0x4D, 0x4D, 0x00, 0x2A};
    EXPECT_NE(code(headerOnly), 0);
    // The pixel data missing altogether: the first rows cannot be read.
    const Bytes noPixels(w.bytes.begin(), w.bytes.begin() + 8);
    EXPECT_NE(code(noPixels), 0);
}

TEST_F(TiffDecoder, DecoderIsReusableAfterAFailure) {
    const Written w = Write(dir, "convert %i -compress LZW %o");
    PLTIFFDecoder decoder;
    const Bytes garbage = {0x49, 0x49, 0x2A, 0x00, 8, 0, 0, 0, 0xFF, 0xFF};
    CWinBmpEx bmp;
    EXPECT_THROW(decoder.DecodeMemory(garbage.data(), garbage.size(), bmp, 0), PLTextException);
    decoder.DecodeMemory(w.bytes.data(), w.bytes.size(), bmp, 0);
    EXPECT_TRUE(MatchesReference(bmp, w.reference));
}

}  // namespace
