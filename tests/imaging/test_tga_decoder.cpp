#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/any_pic_decoder.h"
#include "imaging/text_exception.h"
#include "imaging/tga_decoder.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"
#include "tests/imaging/tool_paths.h"

using folv::testing::ColourAt;
using folv::testing::DecodeBytes;
using folv::testing::DecodeError;
using folv::testing::ExpectCutsFailCleanly;
using folv::testing::HaveProgram;
using folv::testing::MatchesReference;
using folv::testing::Quote;
using folv::testing::ReadNetpbm;
using folv::testing::RunTool;
using folv::testing::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct TgaSpec {
    std::uint8_t idLength = 0;
    std::uint8_t colourMapType = 0;
    std::uint8_t imageType = 2;
    std::uint16_t mapFirst = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t mapEntrySize = 0;
    std::uint16_t width = 1;
    std::uint16_t height = 1;
    std::uint8_t pixelDepth = 24;
    std::uint8_t descriptor = 0;
};

Bytes Tga(const TgaSpec& s, const Bytes& rest) {
    Bytes b = {s.idLength,
               s.colourMapType,
               s.imageType,
               static_cast<std::uint8_t>(s.mapFirst),
               static_cast<std::uint8_t>(s.mapFirst >> 8),
               static_cast<std::uint8_t>(s.mapLength),
               static_cast<std::uint8_t>(s.mapLength >> 8),
               s.mapEntrySize,
               0,
               0,
               0,
               0,
               static_cast<std::uint8_t>(s.width),
               static_cast<std::uint8_t>(s.width >> 8),
               static_cast<std::uint8_t>(s.height),
               static_cast<std::uint8_t>(s.height >> 8),
               s.pixelDepth,
               s.descriptor};
    b.insert(b.end(), s.idLength, 'x');
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

// Files written by ImageMagick and netpbm, each compared with netpbm's reading of it
// (ImageMagick 6.9 reads and writes the row order of TGA files upside down, so its own
// reading is no reference).
struct Written {
    const char* name;
    const char* tool;     // "convert" or a netpbm program
    const char* options;  // for convert: between input and output; netpbm: after the program
    int depth;            // of the decoded bitmap
    bool alpha;           // compare alpha too
};

class TgaWrittenByTools : public ::testing::TestWithParam<Written> {};

TEST_P(TgaWrittenByTools, DecodesAsNetpbmReadsIt) {
    const Written& w = GetParam();
    FOLV_REQUIRE_IMAGEMAGICK(magick);
    FOLV_REQUIRE_PROGRAM("tgatoppm");
    TempDir dir;
    const auto source = dir / "source.ppm";
    const auto file = dir / "picture.tga";
    const auto reference = dir / "reference.ppm";
    const auto referenceAlpha = dir / "alpha.pgm";
    ASSERT_TRUE(RunTool(magick + " rose: -resize 37x23! " + Quote(source)));
    std::string command;
    if (std::string(w.tool) == "convert") {
        std::string input = Quote(source);
        if (w.alpha) {
            // An alpha channel that changes across the picture.
            input +=
                " \\( -size 37x23 gradient:white-black \\) -alpha off -compose CopyOpacity "
                "-composite";
        }
        command = magick + " " + input + " " + w.options + " " + Quote(file);
    } else {
        if (!HaveProgram(w.tool))
            GTEST_SKIP() << "netpbm's " << w.tool << " is not installed";
        // Colour-mapped TGA files hold at most 256 colours.
        command = "pnmquant 256 " + Quote(source) + " | " + w.tool + " " + w.options + " > " +
                  Quote(file);
    }
    ASSERT_TRUE(RunTool(command)) << command;
    ASSERT_TRUE(RunTool("tgatoppm -alphaout=" + Quote(referenceAlpha) + " " + Quote(file) + " > " +
                        Quote(reference)));

    CWinBmpEx bmp;
    PLAnyPicDecoder decoder;
    decoder.DecodeFile(file.c_str(), bmp);
    EXPECT_EQ(decoder.GetFileType(), PLFileType::Tga);
    EXPECT_EQ(bmp.GetBitsPerPixel(), w.depth);
    EXPECT_TRUE(MatchesReference(bmp, ReadNetpbm(reference)));
    if (w.alpha) {
        EXPECT_TRUE(bmp.HasAlpha());
        const auto alpha = ReadNetpbm(referenceAlpha);
        int wrong = 0;
        for (int y = 0; y < alpha.height; ++y) {
            for (int x = 0; x < alpha.width; ++x)
                wrong += ColourAt(bmp, x, y).alpha != alpha.At(x, y, 0);
        }
        EXPECT_EQ(wrong, 0) << "pixels whose alpha differs";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, TgaWrittenByTools,
    ::testing::Values(Written{"TrueColour", "convert", "", 32, false},
                      Written{"TrueColourRle", "convert", "-compress RLE", 32, false},
                      Written{"TrueColourAlpha", "convert", "", 32, true},
                      Written{"TrueColourAlphaRle", "convert", "-compress RLE", 32, true},
                      Written{"ColourMapped", "convert", "-type Palette", 8, false},
                      Written{"ColourMappedRle", "convert", "-type Palette -compress RLE", 8,
                              false},
                      Written{"Grey", "convert", "-type Grayscale", 8, false},
                      Written{"GreyRle", "convert", "-type Grayscale -compress RLE", 8, false},
                      Written{"NetpbmRle", "ppmtotga", "-rgb", 32, false},
                      Written{"NetpbmPlain", "ppmtotga", "-rgb -norle", 32, false},
                      Written{"NetpbmColourMapped", "ppmtotga", "-cmap", 8, false},
                      Written{"NetpbmGrey", "ppmtotga", "-mono", 8, false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(TgaDecoder, BottomUpTrueColourComesOutUpright) {
    // 2 x 2, 24 bits: the file's first row is the bottom row.
    const Bytes file =
        Tga({.width = 2, .height = 2}, {1, 2, 3, 4, 5, 6, /* top: */ 7, 8, 9, 10, 11, 12});
    CWinBmpEx bmp;
    DecodeBytes(file, bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 32);
    EXPECT_FALSE(bmp.HasAlpha());
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{7, 8, 9, 255}));
    EXPECT_EQ(bmp.GetPixel(1, 1), (Pixel32{4, 5, 6, 255}));
}

TEST(TgaDecoder, SixteenBitPixelsTakeAlphaFromTheAttributeBit) {
    // Descriptor: one alpha bit. 0x7FFF is white with the bit clear, 0xFC00 red with it set.
    const Bytes file = Tga({.width = 3, .height = 1, .pixelDepth = 16, .descriptor = 0x21},
                           {0xFF, 0x7F, 0x00, 0xFC, 0x7F, 0x7F});
    CWinBmpEx bmp;
    DecodeBytes(file, bmp);
    EXPECT_TRUE(bmp.HasAlpha());
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{248, 248, 248, 0}));
    EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{0, 0, 248, 255}));
    // 0x7F7F: the low byte's top bit is green, not alpha.
    EXPECT_EQ(bmp.GetPixel(2, 0), (Pixel32{248, 216, 248, 0}));

    // Without an alpha bit in the descriptor the pictures are opaque.
    CWinBmpEx opaque;
    DecodeBytes(Tga({.width = 1, .height = 1, .pixelDepth = 16, .descriptor = 0x20}, {0xFF, 0x7F}),
                opaque);
    EXPECT_EQ(opaque.GetPixel(0, 0), (Pixel32{248, 248, 248, 255}));
}

TEST(TgaDecoder, SixteenBitGreyPixelsAreGreyAndAlpha) {
    // Plain and run-length, eight alpha bits: grey 0x40 at alpha 0x80, grey 0xC0 opaque.
    for (const std::uint8_t type : {3, 11}) {
        const Bytes pixels =
            type == 3 ? Bytes{0x40, 0x80, 0xC0, 0xFF} : Bytes{0x00, 0x40, 0x80, 0x80, 0xC0, 0xFF};
        CWinBmpEx bmp;
        DecodeBytes(
            Tga({.imageType = type, .width = 2, .pixelDepth = 16, .descriptor = 0x28}, pixels),
            bmp);
        ASSERT_EQ(bmp.GetBitsPerPixel(), 32) << int{type};
        EXPECT_TRUE(bmp.HasAlpha());
        EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{0x40, 0x40, 0x40, 0x80})) << int{type};
        EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{0xC0, 0xC0, 0xC0, 0xFF})) << int{type};
    }
}

TEST(TgaDecoder, ColourMapIndicesWrapAt256) {
    Bytes map;
    for (int i = 0; i < 10; ++i) {
        const auto v = static_cast<std::uint8_t>(10 * i);
        map.insert(map.end(),
                   {v, static_cast<std::uint8_t>(v + 1), static_cast<std::uint8_t>(v + 2)});
    }
    Bytes rest = map;
    rest.insert(rest.end(), {250, 255, 0, 3});
    const Bytes file = Tga({.colourMapType = 1,
                            .imageType = 1,
                            .mapFirst = 250,
                            .mapLength = 10,
                            .mapEntrySize = 24,
                            .width = 4,
                            .pixelDepth = 8},
                           rest);
    CWinBmpEx bmp;
    DecodeBytes(file, bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 8);
    EXPECT_EQ(ColourAt(bmp, 0, 0), (Pixel32{0, 1, 2, 255}));     // entry 250
    EXPECT_EQ(ColourAt(bmp, 1, 0), (Pixel32{50, 51, 52, 255}));  // entry 255
    EXPECT_EQ(ColourAt(bmp, 2, 0), (Pixel32{60, 61, 62, 255}));  // entry 0
    EXPECT_EQ(ColourAt(bmp, 3, 0), (Pixel32{90, 91, 92, 255}));  // entry 3
}

TEST(TgaDecoder, RunLengthPacketsMayRunAcrossRows) {
    // 3 x 2 grey, top row first: one run of 4 and one raw packet of 2 cover both rows.
    const Bytes file =
        Tga({.imageType = 11, .width = 3, .height = 2, .pixelDepth = 8, .descriptor = 0x20},
            {0x83, 9, 0x01, 20, 30});
    CWinBmpEx bmp;
    DecodeBytes(file, bmp);
    EXPECT_TRUE(bmp.IsGreyscale());
    const std::uint8_t* const* rows = bmp.GetLineArray();
    EXPECT_EQ(Bytes(rows[0], rows[0] + 3), (Bytes{9, 9, 9}));
    EXPECT_EQ(Bytes(rows[1], rows[1] + 3), (Bytes{9, 20, 30}));
    EXPECT_EQ(bmp.GetPaletteEntries()[20], (RGBQuad{20, 20, 20, 255}));
}

TEST(TgaDecoder, ARunPastThePictureStopsAtItsEnd) {
    // A run of 128 for a 2 x 1 picture, and a raw packet of 128 whose values are missing.
    CWinBmpEx bmp;
    DecodeBytes(Tga({.imageType = 10, .width = 2, .height = 1}, {0xFF, 1, 2, 3}), bmp);
    EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{1, 2, 3, 255}));
    EXPECT_EQ(DecodeError(Tga({.imageType = 10, .width = 2, .height = 1}, {0x7F, 1, 2, 3})), 11);
}

TEST(TgaDecoder, RefusesWhatItCannotRead) {
    EXPECT_EQ(DecodeError(Tga({.imageType = 32}, {1, 2, 3})), 8);  // not even detected as TGA
    PLTGADecoder decoder;
    CWinBmpEx bmp;
    const Bytes wrongType = Tga({.imageType = 32}, {1, 2, 3});
    try {
        decoder.DecodeMemory(wrongType.data(), wrongType.size(), bmp);
        FAIL() << "image type 32 decoded";
    } catch (const PLTextException& e) {
        EXPECT_EQ(e.GetCode(), 2);
        EXPECT_EQ(e.GetMessage(), "Decoder error: Unknown TGA image type.\n");
    }
    // A colour map of 8-bit entries is read as grey; 12-bit entries are refused.
    const Bytes mapped = Tga({.colourMapType = 1,
                              .imageType = 1,
                              .mapLength = 2,
                              .mapEntrySize = 8,
                              .width = 2,
                              .pixelDepth = 8},
                             {40, 80, 1, 0});
    DecodeBytes(mapped, bmp);
    EXPECT_EQ(ColourAt(bmp, 0, 0), (Pixel32{80, 80, 80, 255}));
    Bytes odd = mapped;
    odd[7] = 12;
    try {
        decoder.DecodeMemory(odd.data(), odd.size(), bmp);
        FAIL() << "12-bit colour map decoded";
    } catch (const PLTextException& e) {
        EXPECT_EQ(e.GetCode(), 2);
    }
    EXPECT_EQ(DecodeError(Tga({.width = 0, .height = 5}, {})), 2);
}

TEST(TgaDecoder, EveryCutFailsCleanly) {
    Bytes rle = {0x82, 1, 2, 3, 4, 0x00, 5, 6, 7, 8};
    ExpectCutsFailCleanly(
        Tga({.idLength = 3, .imageType = 10, .width = 2, .height = 2, .pixelDepth = 32},
            {0x83, 1, 2, 3, 4, 0x80, 9, 9, 9, 9}));
    ExpectCutsFailCleanly(Tga({.colourMapType = 1,
                               .imageType = 9,
                               .mapLength = 3,
                               .mapEntrySize = 16,
                               .width = 3,
                               .height = 1,
                               .pixelDepth = 8},
                              {1, 2, 3, 4, 5, 6, 0x02, 0, 1, 2}));
    (void)rle;
}

}  // namespace
