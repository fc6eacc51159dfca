#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/png_decoder.h"
#include "imaging/text_exception.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"

using folv::testing::ColourAt;
using folv::testing::DecodeBytes;
using folv::testing::MatchesReference;
using folv::testing::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

using Written = folv::testing::WrittenPicture;

Written Write(const TempDir& dir, const std::string& command, bool withAlpha = false) {
    return folv::testing::WriteWithTools(dir, command, "picture.png", withAlpha);
}

struct ToolCase {
    const char* name;
    const char* program;
    const char* command;
    bool withAlpha;
    int depth;  // of the bitmap
    bool hasAlpha;
    bool greyscale;
    int tolerance;  // 16-bit samples are cut to their high byte, ImageMagick rounds
};

class PngFromTools : public ::testing::TestWithParam<ToolCase> {};

TEST_P(PngFromTools, MatchesTheReference) {
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
    if (c.depth == 32 && !c.hasAlpha) {
        EXPECT_EQ(ColourAt(bmp, 5, 5).alpha, 255);
    }
    folv::testing::ExpectCutsFailCleanly(w.bytes, w.bytes.size() > 3000 ? 5 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PngFromTools,
    ::testing::Values(
        ToolCase{"grey1", "convert",
                 "convert %i -colorspace Gray -threshold 50% -define png:color-type=0 "
                 "-define png:bit-depth=1 %o",
                 false, 8, false, true, 0},
        ToolCase{"grey4", "convert",
                 "convert %i -colorspace Gray -depth 4 -define png:color-type=0 "
                 "-define png:bit-depth=4 %o",
                 false, 8, false, true, 0},
        ToolCase{"grey8", "convert", "convert %i -colorspace Gray -define png:color-type=0 %o",
                 false, 8, false, true, 0},
        ToolCase{"grey16", "convert", "convert %i -colorspace Gray -depth 16 PNG48:%o", false, 32,
                 false, false, 1},
        ToolCase{"grey16_type0", "pnmtopng",
                 "convert %i -colorspace Gray -depth 16 pgm:- | pnmtopng > %o", false, 8, false,
                 true, 1},
        ToolCase{"palette", "convert", "convert %i -colors 40 PNG8:%o", false, 8, false, false, 0},
        ToolCase{"palette4", "pnmtopng", "pnmquant 12 %i | pnmtopng > %o", false, 8, false, false,
                 0},
        ToolCase{"rgb", "convert", "convert %i PNG24:%o", false, 32, false, false, 0},
        ToolCase{"rgb_interlaced", "convert", "convert %i -interlace PNG PNG24:%o", false, 32,
                 false, false, 0},
        ToolCase{"rgb16", "convert", "convert %i -depth 16 PNG48:%o", false, 32, false, false, 1},
        ToolCase{"rgba", "convert", "convert %i PNG32:%o", true, 32, true, false, 0},
        ToolCase{"rgba16_interlaced", "convert", "convert %i -interlace PNG PNG64:%o", true, 32,
                 true, false, 1},
        ToolCase{"grey_alpha", "convert", "convert %i -colorspace Gray -define png:color-type=4 %o",
                 true, 32, true, false, 0},
        ToolCase{"netpbm_interlaced", "pnmtopng", "pnmtopng -interlace %i > %o", false, 32, false,
                 false, 0}),
    [](const ::testing::TestParamInfo<ToolCase>& p) { return std::string(p.param.name); });

// Rewrites the IHDR chunk's fields and its checksum.
void PatchHeader(Bytes& png, std::uint32_t width, std::uint32_t height) {
    ASSERT_GE(png.size(), 33u);
    ASSERT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
        png[20 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
    }
    const uLong crc = crc32(0, png.data() + 12, 17);
    for (int i = 0; i < 4; ++i)
        png[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
}

std::int32_t DecodeError(const Bytes& bytes) {
    CWinBmpEx bmp;
    try {
        DecodeBytes(bytes, bmp);
    } catch (const PLTextException& e) {
        return e.GetCode();
    }
    return 0;
}

class PngDecoder : public ::testing::Test {
  protected:
    void SetUp() override { FOLV_REQUIRE_PROGRAM("convert"); }
    TempDir dir;
};

TEST_F(PngDecoder, GreyPalettesAreRamps) {
    const Written two = Write(dir,
                              "convert %i -colorspace Gray -depth 2 -define png:color-type=0 "
                              "-define png:bit-depth=2 %o");
    CWinBmpEx bmp;
    DecodeBytes(two.bytes, bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 8);
    for (int i = 0; i < 4; ++i) {
        const auto v = static_cast<std::uint8_t>(85 * i);
        EXPECT_EQ(bmp.GetPaletteEntries()[i], (RGBQuad{v, v, v, 255}));
    }
    for (int y = 0; y < bmp.GetHeight(); ++y)
        for (int x = 0; x < bmp.GetWidth(); ++x)
            ASSERT_LE(bmp.GetLineArray()[y][x], 3);

    FOLV_REQUIRE_PROGRAM("pnmtopng");
    const Written sixteen =
        Write(dir, "convert %i -colorspace Gray -depth 16 pgm:- | pnmtopng > %o");
    DecodeBytes(sixteen.bytes, bmp);
    EXPECT_EQ(bmp.GetPaletteEntries()[0], (RGBQuad{0, 0, 0, 255}));
    EXPECT_EQ(bmp.GetPaletteEntries()[128], (RGBQuad{128, 128, 128, 255}));
    EXPECT_EQ(bmp.GetPaletteEntries()[255], (RGBQuad{255, 255, 255, 255}));
}

TEST_F(PngDecoder, PhysicalDensityBecomesDotsPerInch) {
    const Written w = Write(dir, "convert %i -units PixelsPerInch -density 72x150 PNG24:%o");
    CWinBmpEx bmp;
    DecodeBytes(w.bytes, bmp);
    EXPECT_EQ(bmp.GetResolution(), (PLPoint{72, 150}));
}

TEST_F(PngDecoder, DamagedFilesCarryTheirCodes) {
    const Written w = Write(dir, "convert %i PNG24:%o");

    Bytes huge = w.bytes;
    PatchHeader(huge, 60000, 60000);
    EXPECT_EQ(DecodeError(huge), PL_ERRNO_MEMORY);

    Bytes tooWide = w.bytes;
    PatchHeader(tooWide, 0x7FFFFFFF, 1);
    EXPECT_EQ(DecodeError(tooWide), PL_ERRFORMAT_UNKNOWN);

    Bytes badChecksum = w.bytes;
    badChecksum[29] ^= 0xFF;
    EXPECT_EQ(DecodeError(badChecksum), PL_ERRFORMAT_UNKNOWN);

    const Bytes truncated(w.bytes.begin(), w.bytes.end() - 40);
    EXPECT_EQ(DecodeError(truncated), PL_ERREND_OF_FILE);

    // Damaged image data fails its checksum.
    Bytes badData = w.bytes;
    const std::string text(badData.begin(), badData.end());
    const std::size_t idat = text.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    badData[idat + 10] ^= 0x5A;
    EXPECT_EQ(DecodeError(badData), PL_ERRFORMAT_UNKNOWN);
}

TEST_F(PngDecoder, DecoderIsReusableAfterAFailure) {
    const Written w = Write(dir, "convert %i PNG32:%o", true);
    PLPNGDecoder decoder;
    const Bytes cut(w.bytes.begin(), w.bytes.begin() + 50);
    CWinBmpEx bmp;
    EXPECT_THROW(decoder.DecodeMemory(cut.data(), cut.size(), bmp, 0), PLTextException);
    decoder.DecodeMemory(w.bytes.data(), w.bytes.size(), bmp, 0);
    EXPECT_TRUE(MatchesReference(bmp, w.reference, 0, true));
}

}  // namespace
