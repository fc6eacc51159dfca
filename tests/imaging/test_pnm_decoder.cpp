#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/any_pic_decoder.h"
#include "imaging/pgm_decoder.h"
#include "imaging/ppm_decoder.h"
#include "imaging/text_exception.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"
#include "tests/imaging/tool_paths.h"

using folv::testing::ColourAt;
using folv::testing::DecodeBytes;
using folv::testing::ExpectCutsFailCleanly;
using folv::testing::MatchesReference;
using folv::testing::Quote;
using folv::testing::ReadNetpbm;
using folv::testing::RunTool;
using folv::testing::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The code of the PLTextException that decoding throws, 0 when it decodes.
int DecodeError(const Bytes& bytes, PLPicDecoder* decoder = nullptr) {
    CWinBmpEx bmp;
    try {
        if (decoder)
            decoder->DecodeMemory(bytes.data(), bytes.size(), bmp);
        else
            DecodeBytes(bytes, bmp);
    } catch (const PLTextException& e) {
        return e.GetCode();
    }
    return 0;
}

// Files written by netpbm, compared with netpbm's own binary rewriting of them.
struct Written {
    const char* name;
    const char* pipeline;  // turns the colour source on standard input into the file
    int depth;
    int tolerance;  // we divide where netpbm rounds
};

class PnmWrittenByNetpbm : public ::testing::TestWithParam<Written> {};

TEST_P(PnmWrittenByNetpbm, DecodesAsNetpbmReadsIt) {
    const Written& w = GetParam();
    FOLV_REQUIRE_IMAGEMAGICK(magick);
    FOLV_REQUIRE_PROGRAM("pnmtoplainpnm");
    FOLV_REQUIRE_PROGRAM("pamdepth");
    TempDir dir;
    const auto source = dir / "source.ppm";
    const auto file = dir / "picture.pnm";
    const auto reference = dir / "reference.pnm";
    ASSERT_TRUE(RunTool(magick + " rose: -resize 37x23! " + Quote(source)));
    const std::string command =
        "(" + std::string(w.pipeline) + ") < " + Quote(source) + " > " + Quote(file);
    ASSERT_TRUE(RunTool(command)) << command;
    ASSERT_TRUE(RunTool("pnmtopnm < " + Quote(file) + " > " + Quote(reference)));

    CWinBmpEx bmp;
    PLAnyPicDecoder decoder;
    decoder.DecodeFile(file.c_str(), bmp);
    EXPECT_EQ(decoder.GetFileType(), w.depth == 8 ? PLFileType::Pgm : PLFileType::Ppm);
    EXPECT_EQ(bmp.GetBitsPerPixel(), w.depth);
    EXPECT_EQ(bmp.IsGreyscale(), w.depth == 8);
    EXPECT_TRUE(MatchesReference(bmp, ReadNetpbm(reference), w.tolerance));
}

INSTANTIATE_TEST_SUITE_P(
    Files, PnmWrittenByNetpbm,
    ::testing::Values(Written{"GreyBinary", "ppmtopgm", 8, 0},
                      Written{"GreyText", "ppmtopgm | pnmtoplainpnm", 8, 0},
                      Written{"GreyMaxval15", "ppmtopgm | pamdepth 15", 8, 1},
                      Written{"GreyMaxval15Text", "ppmtopgm | pamdepth 15 | pnmtoplainpnm", 8, 1},
                      Written{"Grey16Bit", "ppmtopgm | pamdepth 65535", 8, 1},
                      Written{"Grey16BitText", "ppmtopgm | pamdepth 1000 | pnmtoplainpnm", 8, 1},
                      Written{"ColourBinary", "cat", 32, 0},
                      Written{"ColourText", "pnmtoplainpnm", 32, 0},
                      Written{"ColourMaxval100", "pamdepth 100", 32, 1},
                      Written{"ColourMaxval100Text", "pamdepth 100 | pnmtoplainpnm", 32, 1},
                      Written{"Colour16Bit", "pamdepth 65535", 32, 1}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(PnmDecoder, BinaryGraymapsScaleByMaxval) {
    CWinBmpEx bmp;
    DecodeBytes(Cat(Text("P5 2 1 255\n"), {0x00, 0xFF}), bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 8);
    EXPECT_TRUE(bmp.IsGreyscale());
    EXPECT_EQ(bmp.GetLineArray()[0][0], 0);
    EXPECT_EQ(bmp.GetLineArray()[0][1], 255);

    // A comment between width and height; samples above maxval count as maxval.
    DecodeBytes(Cat(Text("P5 3 # a comment\n1 15\n"), {0x0F, 0x05, 0x20}), bmp);
    EXPECT_EQ(Bytes(bmp.GetLineArray()[0], bmp.GetLineArray()[0] + 3), (Bytes{255, 85, 255}));
    EXPECT_EQ(bmp.GetPaletteEntries()[85], (RGBQuad{85, 85, 85, 255}));
}

TEST(PnmDecoder, PixmapsKeepTheirChannels) {
    CWinBmpEx bmp;
    DecodeBytes(Cat(Text("P6 1 1 255 "), {0x10, 0x20, 0x30}), bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 32);
    EXPECT_FALSE(bmp.HasAlpha());
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{0x30, 0x20, 0x10, 0}));

    DecodeBytes(Cat(Text("P6\t1\t1\t15\r"), {15, 5, 0}), bmp);  // tabs separate too
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{0, 85, 255, 255}));

    // Text form; the last number may end the file.
    DecodeBytes(Text("P3\n2 1\n255\n1 2 3\n4 5 6"), bmp);
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{3, 2, 1, 0}));
    EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{6, 5, 4, 0}));
}

TEST(PnmDecoder, OutOfRangeMaxvalCountsAs255) {
    CWinBmpEx bmp;
    DecodeBytes(Cat(Text("P5 1 1 0\n"), {0x80}), bmp);
    EXPECT_EQ(bmp.GetLineArray()[0][0], 0x80);
    DecodeBytes(Cat(Text("P5 1 1 70000\n"), {0x81}), bmp);
    EXPECT_EQ(bmp.GetLineArray()[0][0], 0x81);
    // Up to 65535 the samples are two bytes wide.
    DecodeBytes(Cat(Text("P5 2 1 1000\n"), {0x03, 0xE8, 0x01, 0xF4}), bmp);
    EXPECT_EQ(bmp.GetLineArray()[0][0], 255);
    EXPECT_EQ(bmp.GetLineArray()[0][1], 127);
}

TEST(PnmDecoder, RefusesBadHeadersAndShortData) {
    PLPGMDecoder pgm;
    PLPPMDecoder ppm;
    for (const char* wrong : {"P4 1 1\n\x80", "P6 1 1 255\n\x01\x02\x03", "Q5 1 1 255\n\x01"}) {
        SCOPED_TRACE(wrong);
        CWinBmpEx bmp;
        const Bytes bytes = Text(wrong);
        try {
            pgm.DecodeMemory(bytes.data(), bytes.size(), bmp);
            FAIL() << "decoded";
        } catch (const PLTextException& e) {
            EXPECT_EQ(e.GetCode(), 2);
            EXPECT_EQ(e.GetMessage(),
                      "Decoder error: PGM decoder: Is not the correct identifier P5 or P2.\n");
        }
    }
    const Bytes graymap = Text("P5 1 1 255\n\x01");
    try {
        CWinBmpEx bmp;
        ppm.DecodeMemory(graymap.data(), graymap.size(), bmp);
        FAIL() << "decoded";
    } catch (const PLTextException& e) {
        EXPECT_EQ(e.GetCode(), 2);
        EXPECT_EQ(e.GetMessage(),
                  "Decoder error: PPM decoder: Is not the correct identifier P3 or P6.\n");
    }
    EXPECT_EQ(DecodeError(Text("P5 2 x 255\n\x01\x02")), 2);  // the scan cannot go on
    EXPECT_EQ(DecodeError(Text("P5 0 1 255\n")), 2);          // no pixels
    EXPECT_EQ(DecodeError(Text("P5 99999 99999 255\n")), 10);
    EXPECT_EQ(DecodeError(Text("P5 2 2 255\n\x01\x02\x03")), 11);
    EXPECT_EQ(DecodeError(Text("P2 2 2 255\n1 2 3")), 11);
    EXPECT_EQ(DecodeError(Text("P2 2 1 255\n1 ?")), 2);
}

TEST(PnmDecoder, EveryCutFailsCleanly) {
    ExpectCutsFailCleanly(Text("P2\n# comment\n3 2\n15\n1 2 3\n4 5 6\n"));
    ExpectCutsFailCleanly(Cat(Text("P6 2 2 65535\n"), Bytes(24, 0x7F)));
    ExpectCutsFailCleanly(Text("P3 1 2 255 10 20 30 40 50 60\n"));
}

}  // namespace
