#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/any_pic_decoder.h"
#include "imaging/bmp_decoder.h"
#include "imaging/text_exception.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"

using folv::testing::ColourAt;
using folv::testing::DecodeBytes;
using folv::testing::Quote;
using folv::testing::ReadFileBytes;
using folv::testing::ReadNetpbm;
using folv::testing::RunTool;
using folv::testing::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// A bitmap file built field by field; the pixel offset is computed unless given.
struct BmpSpec {
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bpp = 8;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;
    std::uint32_t clrUsed = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::vector<RGBQuad> palette;  // written as 3 bytes after a 12-byte header, else 4
    std::vector<std::uint32_t> masks;
    Bytes pixels;
    std::int64_t pixelOffset = -1;
    std::string signature = "BM";
};

Bytes BuildBmp(const BmpSpec& s) {
    Bytes info;
    Put32(info, s.headerSize);
    if (s.headerSize == 12) {
        Put16(info, static_cast<std::uint32_t>(s.width));
        Put16(info, static_cast<std::uint32_t>(s.height));
        Put16(info, 1);
        Put16(info, s.bpp);
    } else {
        Put32(info, static_cast<std::uint32_t>(s.width));
        Put32(info, static_cast<std::uint32_t>(s.height));
        Put16(info, 1);
        Put16(info, s.bpp);
        Put32(info, s.compression);
        Put32(info, static_cast<std::uint32_t>(s.pixels.size()));
        Put32(info, static_cast<std::uint32_t>(s.xPelsPerMeter));
        Put32(info, static_cast<std::uint32_t>(s.yPelsPerMeter));
        Put32(info, s.clrUsed);
        Put32(info, 0);
        info.resize(s.headerSize, 0);
    }
    for (std::uint32_t m : s.masks)
        Put32(info, m);
    for (const RGBQuad& q : s.palette) {
        info.push_back(q.blue);
        info.push_back(q.green);
        info.push_back(q.red);
        if (s.headerSize != 12)
            info.push_back(q.reserved);
    }
    Bytes file(s.signature.begin(), s.signature.end());
    const std::uint32_t offset = s.pixelOffset >= 0 ? static_cast<std::uint32_t>(s.pixelOffset)
                                                    : static_cast<std::uint32_t>(14 + info.size());
    Put32(file, static_cast<std::uint32_t>(14 + info.size() + s.pixels.size()));
    Put32(file, 0);
    Put32(file, offset);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), s.pixels.begin(), s.pixels.end());
    return file;
}

std::vector<RGBQuad> Grey(int count) {
    std::vector<RGBQuad> palette;
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 10);
        palette.push_back(RGBQuad{v, v, v, 0});
    }
    return palette;
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

std::uint8_t Index(const CWinBmpEx& bmp, int x, int y) {
    return bmp.GetLineArray()[y][x];
}

TEST(BmpDecoder, OneBitRowsReadTwoBytesAndPaddingIntoEightBitPixels) {
    BmpSpec s;
    s.width = 10;
    s.height = 2;
    s.bpp = 1;
    s.palette = {RGBQuad{10, 20, 30, 0}, RGBQuad{200, 210, 220, 0}};
    // Bottom row first: 1010101011, then 0000000001.
    s.pixels = {0xAA, 0xC0, 0xEE, 0xEE, 0x00, 0x40, 0xEE, 0xEE};
    CWinBmpEx bmp;
    DecodeBytes(BuildBmp(s), bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 8);
    const std::vector<int> top = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const std::vector<int> bottom = {1, 0, 1, 0, 1, 0, 1, 0, 1, 1};
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(Index(bmp, x, 0), top[x]) << x;
        EXPECT_EQ(Index(bmp, x, 1), bottom[x]) << x;
    }
    // The file's reserved byte does not become alpha.
    EXPECT_EQ(bmp.GetPaletteEntries()[1], (RGBQuad{200, 210, 220, 255}));
    EXPECT_FALSE(bmp.HasAlpha());
}

TEST(BmpDecoder, FourBitOddWidthTakesHighNibbleOfLastByte) {
    BmpSpec s;
    s.width = 3;
    s.bpp = 4;
    s.palette = Grey(16);
    s.pixels = {0x12, 0x3F, 0, 0};
    CWinBmpEx bmp;
    DecodeBytes(BuildBmp(s), bmp);
    EXPECT_EQ(Index(bmp, 0, 0), 1);
    EXPECT_EQ(Index(bmp, 1, 0), 2);
    EXPECT_EQ(Index(bmp, 2, 0), 3);
}

TEST(BmpDecoder, ColoursUsedDecidesPaletteLengthAndWhereRowsStart) {
    BmpSpec s;
    s.width = 4;
    s.clrUsed = 16;
    s.palette = Grey(16);
    s.pixels = {15, 3, 0, 9};
    s.pixelOffset = 0;  // a lying offset: the rows follow the palette
    CWinBmpEx bmp;
    DecodeBytes(BuildBmp(s), bmp);
    EXPECT_EQ(Index(bmp, 0, 0), 15);
    EXPECT_EQ(Index(bmp, 3, 0), 9);
    EXPECT_EQ(bmp.GetPaletteEntries()[15], (RGBQuad{150, 150, 150, 255}));
    // Entries the file does not fill are zero.
    EXPECT_EQ(bmp.GetPaletteEntries()[16], (RGBQuad{0, 0, 0, 0}));
}

TEST(BmpDecoder, PixelOffsetPastThePaletteIsHonoured) {
    BmpSpec s;
    s.width = 2;
    s.clrUsed = 2;
    s.palette = Grey(2);
    s.pixels = {0xEE, 0xEE, 1, 0, 0, 0};  // two bytes of gap, then the row
    s.pixelOffset = 14 + 40 + 8 + 2;
    CWinBmpEx bmp;
    DecodeBytes(BuildBmp(s), bmp);
    EXPECT_EQ(Index(bmp, 0, 0), 1);
    EXPECT_EQ(Index(bmp, 1, 0), 0);
}

TEST(BmpDecoder, PaletteOfMoreThan256ColoursKeepsTheFirst256) {
    for (const std::int64_t offset : {std::int64_t{-1}, std::int64_t{0}}) {
        BmpSpec s;
        s.width = 2;
        s.clrUsed = 300;
        for (int i = 0; i < 300; ++i)
            s.palette.push_back(RGBQuad{static_cast<std::uint8_t>(i), 1, 2, 0});
        s.pixels = {255, 7, 0, 0};
        s.pixelOffset = offset;
        CWinBmpEx bmp;
        DecodeBytes(BuildBmp(s), bmp);
        EXPECT_EQ(Index(bmp, 0, 0), 255) << offset;
        EXPECT_EQ(Index(bmp, 1, 0), 7) << offset;
        EXPECT_EQ(bmp.GetPaletteEntries()[255], (RGBQuad{255, 1, 2, 255}));
    }
}

TEST(BmpDecoder, TrueColourDepths) {
    struct Case {
        const char* name;
        std::uint16_t bpp;
        std::uint32_t compression;
        std::vector<std::uint32_t> masks;
        Bytes pixel;
        Pixel32 expected;
        bool hasAlpha;
    };
    const std::vector<Case> cases = {
        {"24 bits", 24, 0, {}, {1, 2, 3}, Pixel32{1, 2, 3, 255}, false},
        {"32 bits keep alpha", 32, 0, {}, {1, 2, 3, 4}, Pixel32{1, 2, 3, 4}, true},
        {"32 bits, zero alpha is opaque", 32, 0, {}, {1, 2, 3, 0}, Pixel32{1, 2, 3, 255}, true},
        {"16 bits 5-5-5", 16, 0, {}, {0xFF, 0x7F}, Pixel32{248, 248, 248, 255}, false},
        {"16 bits 5-6-5 drops a green bit",
         16,
         3,
         {0xF800, 0x07E0, 0x001F},
         {0xFF, 0xFF},
         Pixel32{248, 248, 248, 255},
         false},
        {"16 bits masks of 5-5-5",
         16,
         3,
         {0x7C00, 0x03E0, 0x001F},
         {0x1F, 0x00},
         Pixel32{248, 0, 0, 255},
         false},
        {"16 bits 4-4-4",
         16,
         3,
         {0x0F00, 0x00F0, 0x000F},
         {0x0F, 0x0F},
         Pixel32{255, 0, 255, 255},
         false},
        {"32 bits other masks",
         32,
         3,
         {0x000000FF, 0x0000FF00, 0x00FF0000},
         {1, 2, 3, 9},
         Pixel32{3, 2, 1, 255},
         true},
    };
    for (const Case& c : cases) {
        BmpSpec s;
        s.width = 1;
        s.bpp = c.bpp;
        s.compression = c.compression;
        s.masks = c.masks;
        s.pixels = c.pixel;
        s.pixels.resize(4, 0);
        CWinBmpEx bmp;
        DecodeBytes(BuildBmp(s), bmp);
        EXPECT_EQ(bmp.GetBitsPerPixel(), 32) << c.name;
        EXPECT_EQ(ColourAt(bmp, 0, 0), c.expected) << c.name;
        EXPECT_EQ(bmp.HasAlpha(), c.hasAlpha) << c.name;
    }
}

TEST(BmpDecoder, Rle8RunsAbsoluteBlocksAndClipping) {
    struct Case {
        const char* name;
        std::int32_t width, height;
        Bytes stream;
        std::vector<std::vector<int>> rows;  // top row first
    };
    const std::vector<Case> cases = {
        {"run", 3, 1, {0x03, 0x41, 0x00, 0x00, 0x00, 0x01}, {{0x41, 0x41, 0x41}}},
        {"odd absolute block skips a byte",
         4,
         1,
         {0x00, 0x03, 1, 2, 3, 0xEE, 0x01, 0x09, 0x00, 0x01},
         {{1, 2, 3, 9}}},
        {"even absolute block skips none",
         4,
         1,
         {0x00, 0x04, 1, 2, 3, 4, 0x00, 0x01},
         {{1, 2, 3, 4}}},
        {"run past the row is cut",
         2,
         2,
         {0x05, 7, 0x00, 0x00, 0x01, 8, 0x00, 0x01},
         {{8, 0}, {7, 7}}},
        {"absolute block past the row is cut",
         2,
         1,
         {0x00, 0x03, 4, 5, 6, 0x00, 0x00, 0x01},
         {{4, 5}}},
        {"rows past the picture end it", 1, 1, {0x01, 3, 0x00, 0x00, 0x01, 9}, {{3}}},
    };
    for (const Case& c : cases) {
        BmpSpec s;
        s.width = c.width;
        s.height = c.height;
        s.compression = 1;
        s.palette = Grey(256);
        s.pixels = c.stream;
        CWinBmpEx bmp;
        DecodeBytes(BuildBmp(s), bmp);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                EXPECT_EQ(Index(bmp, x, y), c.rows[y][x]) << c.name << " at " << x << ", " << y;
    }
}

TEST(BmpDecoder, Rle4RunsAlternateNibblesAndKeepTheRowBuffer) {
    BmpSpec s;
    s.width = 5;
    s.height = 2;
    s.bpp = 4;
    s.compression = 2;
    s.palette = Grey(16);
    // Bottom row: run of 5 alternating 1 and 2; top row: absolute 3 pixels 7, 8, 9 (two bytes
    // that need no pad byte), the rest kept from the row below; then the end of the picture.
    s.pixels = {0x05, 0x12, 0x00, 0x00, 0x00, 0x03, 0x78, 0x90, 0x00, 0x01};
    CWinBmpEx bmp;
    DecodeBytes(BuildBmp(s), bmp);
    const std::vector<int> bottom = {1, 2, 1, 2, 1};
    const std::vector<int> top = {7, 8, 9, 2, 1};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(Index(bmp, x, 1), bottom[x]) << x;
        EXPECT_EQ(Index(bmp, x, 0), top[x]) << x;
    }
}

TEST(BmpDecoder, FailuresCarryTheirCodes) {
    BmpSpec delta8;
    delta8.width = 2;
    delta8.compression = 1;
    delta8.palette = Grey(256);
    delta8.pixels = {0x00, 0x02, 0x01, 0x01, 0x00, 0x01};
    BmpSpec delta4 = delta8;
    delta4.bpp = 4;
    delta4.compression = 2;
    delta4.palette = Grey(16);
    BmpSpec badDepth;
    badDepth.bpp = 7;
    badDepth.pixels = {0, 0, 0, 0};
    BmpSpec noWidth;
    noWidth.width = 0;
    BmpSpec huge;
    huge.width = 60000;
    huge.height = 60000;
    huge.bpp = 24;
    huge.pixels = {0, 0, 0, 0};
    BmpSpec hugeOs2 = huge;
    hugeOs2.headerSize = 12;
    hugeOs2.width = 65535;
    hugeOs2.height = 65535;
    BmpSpec shortRows;
    shortRows.width = 4;
    shortRows.height = 3;
    shortRows.bpp = 24;
    shortRows.pixels.assign(20, 0);
    BmpSpec hugePalette;
    hugePalette.clrUsed = 0xFFFFFFFF;
    hugePalette.palette = Grey(2);
    hugePalette.pixelOffset = 0;

    struct Case {
        const char* name;
        Bytes bytes;
        std::int32_t code;
    };
    const std::vector<Case> cases = {
        {"RLE8 delta escape", BuildBmp(delta8), PL_ERRFORMAT_NOT_SUPPORTED},
        {"RLE4 delta escape", BuildBmp(delta4), PL_ERRFORMAT_NOT_SUPPORTED},
        {"7 bits per pixel", BuildBmp(badDepth), PL_ERRFORMAT_UNKNOWN},
        {"no width", BuildBmp(noWidth), PL_ERRFORMAT_UNKNOWN},
        {"huge picture", BuildBmp(huge), PL_ERRNO_MEMORY},
        {"huge OS/2 picture", BuildBmp(hugeOs2), PL_ERRNO_MEMORY},
        {"rows missing", BuildBmp(shortRows), PL_ERREND_OF_FILE},
        {"palette larger than the file", BuildBmp(hugePalette), PL_ERREND_OF_FILE},
        {"BM and four bytes", Bytes{'B', 'M', 1, 2, 3, 4}, PL_ERREND_OF_FILE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeError(c.bytes), c.code) << c.name;
}

TEST(BmpDecoder, WrongSignatureFromTheDecoderItself) {
    const Bytes bytes = {'X', 'Y', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    PLBmpDecoder decoder;
    CWinBmpEx bmp;
    try {
        decoder.DecodeMemory(bytes.data(), bytes.size(), bmp, 0);
        FAIL() << "no exception";
    } catch (const PLTextException& e) {
        EXPECT_EQ(e.GetCode(), PL_ERRWRONG_SIGNATURE);
        EXPECT_EQ(e.GetMessage(), "Decoder error: Bitmap decoder: This isn't a bitmap.\n");
    }
}

TEST(BmpDecoder, HeadersOfOtherKinds) {
    // OS/2 core header with a 3-byte palette and the offset to skip to.
    BmpSpec os2;
    os2.headerSize = 12;
    os2.width = 2;
    os2.bpp = 1;
    os2.palette = {RGBQuad{1, 2, 3, 0}, RGBQuad{4, 5, 6, 0}};
    os2.pixels = {0xAB, 0xCD, 0x40, 0, 0, 0};
    os2.pixelOffset = 14 + 12 + 6 + 2;
    // A version 5 header: 4-byte palette entries.
    BmpSpec v5;
    v5.headerSize = 124;
    v5.width = 2;
    v5.bpp = 1;
    v5.palette = {RGBQuad{1, 2, 3, 0}, RGBQuad{4, 5, 6, 0}};
    v5.pixels = {0x40, 0, 0, 0};
    // An array header in front of the first bitmap, with the offset counted from the start.
    BmpSpec array = v5;
    array.headerSize = 40;
    array.pixelOffset = 14 + 14 + 40 + 8;
    Bytes arrayBytes = {'B', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Bytes inner = BuildBmp(array);
    arrayBytes.insert(arrayBytes.end(), inner.begin(), inner.end());

    for (const Bytes& bytes : {BuildBmp(os2), BuildBmp(v5), arrayBytes}) {
        CWinBmpEx bmp;
        DecodeBytes(bytes, bmp);
        EXPECT_EQ(ColourAt(bmp, 0, 0), (Pixel32{1, 2, 3, 255}));
        EXPECT_EQ(ColourAt(bmp, 1, 0), (Pixel32{4, 5, 6, 255}));
    }
}

TEST(BmpDecoder, TopDownRowsAndResolution) {
    BmpSpec s;
    s.width = 1;
    s.height = -2;
    s.clrUsed = 2;
    s.palette = Grey(2);
    s.pixels = {1, 0, 0, 0, 0, 0, 0, 0};  // top row first
    s.xPelsPerMeter = 2835;
    s.yPelsPerMeter = 39;  // one dot per inch: unknown
    CWinBmpEx bmp;
    DecodeBytes(BuildBmp(s), bmp);
    EXPECT_EQ(bmp.GetHeight(), 2);
    EXPECT_EQ(Index(bmp, 0, 0), 1);
    EXPECT_EQ(Index(bmp, 0, 1), 0);
    EXPECT_EQ(bmp.GetResolution(), (PLPoint{72, 0}));
}

TEST(BmpDecoder, HandMadeFilesCutAnywhereFailCleanly) {
    BmpSpec rle;
    rle.width = 7;
    rle.height = 3;
    rle.compression = 1;
    rle.palette = Grey(256);
    rle.pixels = {0x03, 1, 0x00, 0x03, 1, 2, 3, 0, 0x00, 0x00, 0x09, 2, 0x00, 0x00, 0x00, 0x01};
    BmpSpec rle4 = rle;
    rle4.bpp = 4;
    rle4.compression = 2;
    rle4.palette = Grey(16);
    BmpSpec fields;
    fields.width = 3;
    fields.height = 2;
    fields.bpp = 16;
    fields.compression = 3;
    fields.masks = {0xF800, 0x07E0, 0x001F};
    fields.pixels.assign(16, 0x5A);
    for (const BmpSpec& s : {rle, rle4, fields})
        folv::testing::ExpectCutsFailCleanly(BuildBmp(s));
}

// Files written by ImageMagick and netpbm, compared pixel for pixel with ImageMagick's own
// reading of them.
struct ToolCase {
    const char* name;
    const char* program;
    const char* command;  // %s: the output file
};

class BmpFromTools : public ::testing::TestWithParam<ToolCase> {};

TEST_P(BmpFromTools, MatchesTheReference) {
    const ToolCase& c = GetParam();
    FOLV_REQUIRE_PROGRAM(c.program);
    FOLV_REQUIRE_PROGRAM("convert");
    TempDir dir;
    const auto file = dir / "picture.bmp";
    const auto pam = dir / "reference.pam";
    const auto ppm = dir / "source.ppm";
    ASSERT_TRUE(RunTool("convert rose: -resize 37x23! " + Quote(ppm)));
    std::string command = c.command;
    for (auto at = command.find("%i"); at != std::string::npos; at = command.find("%i"))
        command.replace(at, 2, Quote(ppm));
    for (auto at = command.find("%o"); at != std::string::npos; at = command.find("%o"))
        command.replace(at, 2, Quote(file));
    ASSERT_TRUE(RunTool(command)) << command;
    ASSERT_TRUE(RunTool("convert " + Quote(file) + " -depth 8 " + Quote(pam)));

    const auto bytes = ReadFileBytes(file);
    CWinBmpEx bmp;
    DecodeBytes(bytes, bmp);
    const auto reference = ReadNetpbm(pam);
    const std::string name = c.name;
    if (name.find("565") != std::string::npos || name.find("555") != std::string::npos) {
        // Five-bit channels come out shifted, not scaled: 31 gives 248.
        const bool green6 = name.find("565") != std::string::npos;
        for (int y = 0; y < reference.height; ++y) {
            for (int x = 0; x < reference.width; ++x) {
                const Pixel32 got = ColourAt(bmp, x, y);
                const auto five = [](int v) { return (v * 31 + 127) / 255 << 3; };
                const int g = green6 ? ((reference.At8(x, y, 1) * 63 + 127) / 255) >> 1 << 3
                                     : five(reference.At8(x, y, 1));
                ASSERT_EQ(got.red, five(reference.At8(x, y, 0))) << x << ", " << y;
                ASSERT_EQ(got.green, g) << x << ", " << y;
                ASSERT_EQ(got.blue, five(reference.At8(x, y, 2))) << x << ", " << y;
            }
        }
    } else {
        EXPECT_TRUE(folv::testing::MatchesReference(bmp, reference, 0, reference.channels == 4));
    }
    folv::testing::ExpectCutsFailCleanly(bytes, bytes.size() > 4000 ? 7 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BmpFromTools,
    ::testing::Values(
        ToolCase{"netpbm_1bit", "ppmtobmp", "ppmtopgm %i | pgmtopbm | ppmtobmp -bpp 1 > %o"},
        ToolCase{"netpbm_4bit", "ppmtobmp", "pnmquant 16 %i | ppmtobmp -bpp 4 > %o"},
        ToolCase{"netpbm_8bit", "ppmtobmp", "pnmquant 200 %i | ppmtobmp -bpp 8 > %o"},
        ToolCase{"netpbm_24bit", "ppmtobmp", "ppmtobmp -bpp 24 %i > %o"},
        ToolCase{"netpbm_os2_8bit", "ppmtobmp", "pnmquant 100 %i | ppmtobmp -os2 -bpp 8 > %o"},
        ToolCase{"netpbm_os2_24bit", "ppmtobmp", "ppmtobmp -os2 -bpp 24 %i > %o"},
        ToolCase{"magick_bmp3_24bit", "convert", "convert %i BMP3:%o"},
        ToolCase{"magick_bmp3_palette", "convert", "convert %i -colors 60 -type palette BMP3:%o"},
        ToolCase{"magick_bmp3_rle8", "convert",
                 "convert %i -colors 60 -type palette -compress RLE BMP3:%o"},
        ToolCase{"magick_v5_24bit", "convert", "convert %i BMP:%o"},
        ToolCase{"magick_v5_palette", "convert", "convert %i -colors 30 -type palette BMP:%o"},
        ToolCase{"magick_v5_alpha", "convert",
                 "convert %i -alpha set -channel A -fx 'i/w' +channel BMP:%o"},
        ToolCase{"magick_565", "convert", "convert %i -define bmp:subtype=RGB565 BMP:%o"},
        ToolCase{"magick_555", "convert", "convert %i -define bmp:subtype=RGB555 BMP:%o"}),
    [](const ::testing::TestParamInfo<ToolCase>& p) { return std::string(p.param.name); });

}  // namespace
