#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/any_pic_decoder.h"
#include "imaging/pcx_decoder.h"
#include "imaging/text_exception.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"
#include "tests/imaging/tool_paths.h"

using folv::testing::DecodeBytes;
using folv::testing::DecodeError;
using folv::testing::ExpectCutsFailCleanly;
using folv::testing::MatchesReference;
using folv::testing::Quote;
using folv::testing::ReadNetpbm;
using folv::testing::RunTool;
using folv::testing::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct PcxSpec {
    std::uint8_t bits = 8;
    std::uint8_t planes = 1;
    std::uint16_t width = 1;
    std::uint16_t height = 1;
    std::uint16_t bytesPerLine = 0;  // 0: just enough
    std::uint8_t encoding = 1;
    Bytes palette16{};  // up to 48 bytes
};

Bytes Pcx(const PcxSpec& s, const Bytes& data) {
    Bytes b(128 + data.size(), 0);
    b[0] = 0x0A;
    b[1] = 5;
    b[2] = s.encoding;
    b[3] = s.bits;
    b[8] = static_cast<std::uint8_t>(s.width - 1);
    b[9] = static_cast<std::uint8_t>((s.width - 1) >> 8);
    b[10] = static_cast<std::uint8_t>(s.height - 1);
    b[11] = static_cast<std::uint8_t>((s.height - 1) >> 8);
    b[12] = 72;
    b[14] = 96;
    std::copy(s.palette16.begin(), s.palette16.end(), b.begin() + 16);
    b[65] = s.planes;
    const std::uint16_t bpl = s.bytesPerLine ? s.bytesPerLine : (s.width * s.bits + 7) / 8;
    b[66] = static_cast<std::uint8_t>(bpl);
    b[67] = static_cast<std::uint8_t>(bpl >> 8);
    std::copy(data.begin(), data.end(), b.begin() + 128);
    return b;
}

// Files written by netpbm and ImageMagick, compared with netpbm's reading of them
// (ImageMagick 6.9 reads one-bit pictures inverted).
struct Written {
    const char* name;
    const char* pipeline;  // {magick} stands for ImageMagick; the source is on standard input
};

class PcxWrittenByTools : public ::testing::TestWithParam<Written> {};

TEST_P(PcxWrittenByTools, DecodesAsNetpbmReadsIt) {
    const Written& w = GetParam();
    FOLV_REQUIRE_IMAGEMAGICK(magick);
    FOLV_REQUIRE_PROGRAM("ppmtopcx");
    FOLV_REQUIRE_PROGRAM("pcxtoppm");
    TempDir dir;
    const auto source = dir / "source.ppm";
    const auto file = dir / "picture.pcx";
    const auto reference = dir / "reference.ppm";
    ASSERT_TRUE(RunTool(magick + " rose: -resize 37x23! " + Quote(source)));
    std::string pipeline = w.pipeline;
    for (std::size_t at; (at = pipeline.find("{magick}")) != std::string::npos;)
        pipeline.replace(at, 8, magick);
    const std::string command = "(" + pipeline + ") < " + Quote(source) + " > " + Quote(file);
    ASSERT_TRUE(RunTool(command)) << command;
    ASSERT_TRUE(RunTool("pcxtoppm " + Quote(file) + " > " + Quote(reference)));

    CWinBmpEx bmp;
    PLAnyPicDecoder decoder;
    decoder.DecodeFile(file.c_str(), bmp);
    EXPECT_EQ(decoder.GetFileType(), PLFileType::Pcx);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 32);
    EXPECT_FALSE(bmp.HasAlpha());
    EXPECT_EQ(bmp.GetPixel(0, 0).alpha, 255);
    EXPECT_TRUE(MatchesReference(bmp, ReadNetpbm(reference)));
}

INSTANTIATE_TEST_SUITE_P(
    Files, PcxWrittenByTools,
    ::testing::Values(Written{"TrueColourPlanes", "ppmtopcx -24bit"},
                      Written{"Palette256", "pnmquant 200 | ppmtopcx -8bit"},
                      Written{"SixteenColourPlanes", "pnmquant 16 | ppmtopcx"},
                      Written{"SixteenColourPacked", "pnmquant 16 | ppmtopcx -packed"},
                      Written{"FourColourPacked", "pnmquant 4 | ppmtopcx -packed"},
                      Written{"FourColourPlanes", "pnmquant 4 | ppmtopcx -planes 2"},
                      Written{"Monochrome", "ppmtopgm | pgmtopbm | ppmtopcx"},
                      Written{"ImageMagickTrueColour", "{magick} ppm:- pcx:-"},
                      Written{"ImageMagickPalette", "{magick} ppm:- -type Palette pcx:-"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(PcxDecoder, RunsAndLiterals) {
    // 8-bit, 5 x 1: a run of three 7s, then 0xBF (only one of the two top bits set: a value)
    // and 0x01.
    Bytes data = {0xC3, 0x07, 0xBF, 0x01, 0x0C};
    Bytes palette(768, 0);
    palette[7 * 3] = 70;
    palette[0xBF * 3 + 1] = 191;
    palette[1 * 3 + 2] = 11;
    data.insert(data.end(), palette.begin(), palette.end());
    CWinBmpEx bmp;
    DecodeBytes(Pcx({.width = 5}, data), bmp);
    ASSERT_EQ(bmp.GetWidth(), 5);
    EXPECT_EQ(bmp.GetResolution(), (PLPoint{72, 96}));
    EXPECT_EQ(bmp.GetPixel(2, 0), (Pixel32{0, 0, 70, 255}));
    EXPECT_EQ(bmp.GetPixel(3, 0), (Pixel32{0, 191, 0, 255}));
    EXPECT_EQ(bmp.GetPixel(4, 0), (Pixel32{11, 0, 0, 255}));
}

TEST(PcxDecoder, The256ColourTableIsTakenFromTheEndOfTheFile) {
    // 2 x 1: the pixel data, two bytes a writer left over, the marker and the table.
    Bytes data = {5, 6, 0xC1, 0x0C, 0x0C};
    Bytes palette(768, 0);
    palette[5 * 3] = 50;
    palette[6 * 3 + 1] = 60;
    data.insert(data.end(), palette.begin(), palette.end());
    CWinBmpEx bmp;
    DecodeBytes(Pcx({.width = 2}, data), bmp);
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{0, 0, 50, 255}));
    EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{0, 60, 0, 255}));
}

TEST(PcxDecoder, PlanesOfOneBitIndexTheHeaderPalette) {
    // 8 x 1, 4 planes: pixel x has index x (plane i holds bit i).
    Bytes palette16(48);
    for (int i = 0; i < 16; ++i) {
        palette16[3 * i] = static_cast<std::uint8_t>(i * 16);
        palette16[3 * i + 2] = static_cast<std::uint8_t>(255 - i);
    }
    const Bytes planes = {0x55, 0x33, 0x0F, 0x00};
    CWinBmpEx bmp;
    DecodeBytes(Pcx({.bits = 1, .planes = 4, .width = 8, .palette16 = palette16}, planes), bmp);
    for (int x = 0; x < 8; ++x) {
        const int index =
            ((0x55 >> (7 - x)) & 1) | ((0x33 >> (7 - x)) & 1) << 1 | ((0x0F >> (7 - x)) & 1) << 2;
        EXPECT_EQ(bmp.GetPixel(x, 0), (Pixel32{static_cast<std::uint8_t>(255 - index), 0,
                                               static_cast<std::uint8_t>(index * 16), 255}))
            << x;
    }
    // One plane of one bit is black and white whatever the palette says.
    DecodeBytes(Pcx({.bits = 1, .width = 2, .palette16 = palette16}, {0x40}), bmp);
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{0, 0, 0, 255}));
    EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{255, 255, 255, 255}));
}

TEST(PcxDecoder, ACutFileShowsItsUpperPartOnBlack) {
    // 24 bits, 2 x 2: the first row complete, the second cut after one byte of red.
    CWinBmpEx bmp;
    DecodeBytes(Pcx({.planes = 3, .width = 2, .height = 2}, {10, 11, 20, 21, 30, 31, 40}), bmp);
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{30, 20, 10, 255}));
    EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{31, 21, 11, 255}));
    EXPECT_EQ(bmp.GetPixel(0, 1), (Pixel32{0, 0, 40, 255}));
    EXPECT_EQ(bmp.GetPixel(1, 1), (Pixel32{0, 0, 0, 255}));
}

TEST(PcxDecoder, RefusesWhatItCannotRead) {
    struct Case {
        const char* name;
        Bytes file;
        int code;
    };
    Bytes noPixels = Pcx({}, {1});
    noPixels[4] = 5;  // x minimum beyond x maximum
    const Case cases[] = {
        {"run past the picture", Pcx({.width = 2}, {0xC3, 0x07}), 7},
        {"five planes", Pcx({.bits = 1, .planes = 5, .width = 8}, Bytes(5, 0)), 2},
        {"eight bits in two planes", Pcx({.planes = 2}, {1, 2}), 2},
        {"four bits in three planes", Pcx({.bits = 4, .planes = 3, .width = 2}, {1, 2, 3}), 7},
        {"lines shorter than the width", Pcx({.width = 9, .bytesPerLine = 8}, Bytes(9, 1)), 2},
        {"no pixels", noPixels, 2},
        {"256 colours without their palette", Pcx({.width = 2}, {1, 2, 0x0C}), 11},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeError(c.file), c.code) << c.name;

    PLPCXDecoder decoder;
    Bytes wrongEncoding = Pcx({.encoding = 2}, {1});
    CWinBmpEx bmp;
    try {
        decoder.DecodeMemory(wrongEncoding.data(), wrongEncoding.size(), bmp);
        FAIL() << "decoded";
    } catch (const PLTextException& e) {
        EXPECT_EQ(e.GetCode(), 1);
        EXPECT_EQ(e.GetMessage(), "Decoder error: File has unknown encoding scheme.\n");
    }
}

TEST(PcxDecoder, EveryCutFailsCleanly) {
    Bytes data = {0xC2, 5, 6, 0xC1, 7, 8, 0x0C};
    data.resize(data.size() + 768, 3);
    ExpectCutsFailCleanly(Pcx({.width = 3, .height = 2}, data));
    ExpectCutsFailCleanly(Pcx({.bits = 1, .planes = 3, .width = 8, .height = 2}, {0xC6, 0xAA}));
}

}  // namespace
