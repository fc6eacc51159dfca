#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/any_pic_decoder.h"
#include "imaging/pict_decoder.h"
#include "imaging/text_exception.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"
#include "tests/imaging/tool_paths.h"

using folv::testing::ColourAt;
using folv::testing::DecodeBytes;
using folv::testing::ExpectCutsFailCleanly;
using folv::testing::MatchesReference;
using folv::testing::Quote;
using folv::testing::ReadFileBytes;
using folv::testing::ReadNetpbm;
using folv::testing::RunTool;
using folv::testing::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v >> 16);
    Put16(b, v & 0xFFFF);
}
void PutRect(Bytes& b, int top, int left, int bottom, int right) {
    for (int v : {top, left, bottom, right})
        Put16(b, static_cast<std::uint32_t>(v));
}

// A PICT file built opcode by opcode.
class Pict {
  public:
    explicit Pict(int version = 2, bool header = true) : version_(version) {
        b.assign(512, 0);
        Put16(b, 0);
        PutRect(b, 0, 0, 10, 10);
        if (version == 1) {
            // Version 1 pictures start with a clip region, which is how they are recognised.
            b.insert(b.end(), {0x11, 0x01, 0x01, 0x00, 0x0A});
            PutRect(b, 0, 0, 10, 10);
            return;
        }
        b.insert(b.end(), {0x00, 0x11, 0x02, 0xFF});
        if (header) {
            Op(0x0C00);
            Put16(b, 0xFFFE);
            b.insert(b.end(), 22, 0);
        }
    }
    Pict& Op(std::uint16_t op) {
        if (version_ == 1) {
            b.push_back(static_cast<std::uint8_t>(op));
            return *this;
        }
        if (b.size() % 2)
            b.push_back(0);
        Put16(b, op);
        return *this;
    }
    Pict& Raw(const Bytes& bytes) {
        b.insert(b.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Pict& Word(std::uint32_t v) {
        Put16(b, v);
        return *this;
    }
    // Row bytes with the pixel-map flag, and the pixel-map record.
    Pict& PixMap(int width, int height, std::uint16_t rowBytes, int pixelSize, int cmpCount = 1,
                 std::uint16_t packType = 0) {
        Put16(b, 0x8000u | rowBytes);
        PutRect(b, 0, 0, height, width);
        Put16(b, 0);         // version
        Put16(b, packType);  // pack type
        Put32(b, 0);         // pack size
        Put32(b, 72u << 16);
        Put32(b, 96u << 16);
        Put16(b, pixelSize > 8 ? 16 : 0);
        Put16(b, static_cast<std::uint32_t>(pixelSize));
        Put16(b, static_cast<std::uint32_t>(cmpCount));
        Put16(b, pixelSize > 8 ? 8 : static_cast<std::uint32_t>(pixelSize));
        Put32(b, 0);
        Put32(b, 0);
        Put32(b, 0);
        return *this;
    }
    // Colour table; entry i is (index, red, green, blue) with 8-bit values doubled to 16.
    Pict& Colours(const std::vector<std::array<int, 4>>& entries, std::uint16_t flags = 0) {
        Put32(b, 0);
        Put16(b, flags);
        Put16(b, static_cast<std::uint32_t>(entries.size() - 1));
        for (const auto& e : entries) {
            Put16(b, static_cast<std::uint32_t>(e[0]));
            for (int i = 1; i < 4; ++i)
                Put16(b, static_cast<std::uint32_t>(e[i] * 257));
        }
        return *this;
    }
    Pict& Rects(int width, int height) {
        PutRect(b, 0, 0, height, width);
        PutRect(b, 0, 0, height, width);
        Put16(b, 0);  // transfer mode
        return *this;
    }
    Bytes End() {
        Op(0xFF);
        return b;
    }

    Bytes b;

  private:
    int version_;
};

int DecodeError(const Bytes& bytes, std::string* message = nullptr) {
    CWinBmpEx bmp;
    try {
        DecodeBytes(bytes, bmp);
    } catch (const PLTextException& e) {
        if (message)
            *message = e.GetMessage();
        return e.GetCode();
    }
    return 0;
}

// Files written by netpbm and ImageMagick, compared with ImageMagick's reading of them.
struct Written {
    const char* name;
    const char* pipeline;  // {magick} stands for ImageMagick; the source is on standard input
    int depth;
    int tolerance = 0;  // ImageMagick rounds 16-bit table colours, we take their high byte
    int alpha = -1;     // every pixel's alpha, which ImageMagick does not read back
};

class PictWrittenByTools : public ::testing::TestWithParam<Written> {};

TEST_P(PictWrittenByTools, DecodesAsImageMagickReadsIt) {
    const Written& w = GetParam();
    FOLV_REQUIRE_IMAGEMAGICK(magick);
    FOLV_REQUIRE_PROGRAM("ppmtopict");
    TempDir dir;
    const auto source = dir / "source.ppm";
    const auto file = dir / "picture.pict";
    const auto reference = dir / "reference.pam";
    ASSERT_TRUE(RunTool(magick + " rose: -resize 37x23! " + Quote(source)));
    std::string pipeline = w.pipeline;
    for (std::size_t at; (at = pipeline.find("{magick}")) != std::string::npos;)
        pipeline.replace(at, 8, magick);
    const std::string command = "(" + pipeline + ") < " + Quote(source) + " > " + Quote(file);
    ASSERT_TRUE(RunTool(command)) << command;
    ASSERT_TRUE(RunTool(magick + " " + Quote(file) + " -depth 8 " + Quote(reference)));

    CWinBmpEx bmp;
    PLAnyPicDecoder decoder;
    decoder.DecodeFile(file.c_str(), bmp);
    EXPECT_EQ(decoder.GetFileType(), PLFileType::Pict);
    EXPECT_EQ(bmp.GetBitsPerPixel(), w.depth);
    EXPECT_TRUE(MatchesReference(bmp, ReadNetpbm(reference), w.tolerance));
    if (w.alpha >= 0) {
        EXPECT_TRUE(bmp.HasAlpha());
        EXPECT_NEAR(ColourAt(bmp, 0, 0).alpha, w.alpha, 1);
        EXPECT_NEAR(ColourAt(bmp, 36, 22).alpha, w.alpha, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, PictWrittenByTools,
    ::testing::Values(Written{"NetpbmIndexed", "pnmquant 256 | ppmtopict", 8},
                      Written{"ImageMagickDirect", "{magick} ppm:- pict:-", 32},
                      Written{"ImageMagickIndexed", "{magick} ppm:- -type Palette pict:-", 8, 1},
                      Written{"ImageMagickMonochrome", "{magick} ppm:- -monochrome pict:-", 8, 1},
                      Written{"ImageMagickAlpha",
                              "{magick} ppm:- -alpha set -channel A -evaluate set 50% +channel "
                              "pict:-",
                              32, 0, 128}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(PictDecoder, PackBitsRectAfterHeaderClipAndComment) {
    // 10 x 2, 8 bits, packed rows (row bytes 10 >= 8, lengths of one byte).
    Pict p;
    p.Op(0x01).Word(10).Raw({0, 0, 0, 0, 0, 10, 0, 10});  // clip region
    p.Op(0xA1).Word(100).Word(3).Raw({1, 2, 3});          // long comment, odd
    p.Op(0x98).PixMap(10, 2, 10, 8).Colours({{0, 0, 0, 0}, {1, 10, 20, 30}, {2, 200, 100, 50}});
    p.Rects(10, 2);
    p.Raw({2, 0xF7, 1}).Raw({11, 9, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2});  // a run, then a literal
    CWinBmpEx bmp;
    DecodeBytes(p.End(), bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 8);
    EXPECT_EQ(bmp.GetResolution(), (PLPoint{72, 96}));
    EXPECT_EQ(ColourAt(bmp, 9, 0), (Pixel32{30, 20, 10, 255}));
    EXPECT_EQ(ColourAt(bmp, 0, 1), (Pixel32{50, 100, 200, 255}));
    EXPECT_EQ(Bytes(bmp.GetLineArray()[0], bmp.GetLineArray()[0] + 10), Bytes(10, 1));
}

TEST(PictDecoder, NarrowRowsAreStoredUnpacked) {
    // 5 pixels wide, row bytes 6: six bytes a row, no length.
    Pict p;
    p.Op(0x98).PixMap(5, 2, 6, 8).Colours({{0, 0, 0, 0}, {1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 3}});
    p.Rects(5, 2).Raw({1, 2, 3, 1, 2, 0xEE, 3, 3, 3, 3, 3, 0xEE});
    CWinBmpEx bmp;
    DecodeBytes(p.End(), bmp);
    EXPECT_EQ(Bytes(bmp.GetLineArray()[0], bmp.GetLineArray()[0] + 5), (Bytes{1, 2, 3, 1, 2}));
    EXPECT_EQ(Bytes(bmp.GetLineArray()[1], bmp.GetLineArray()[1] + 5), (Bytes{3, 3, 3, 3, 3}));
}

TEST(PictDecoder, ColourTablesInOrderOrByIndex) {
    for (std::uint16_t flags : {0x0000, 0x8000}) {
        SCOPED_TRACE(flags);
        Pict p;
        // Stored indices 1 and 0: by index they swap, in order they do not.
        p.Op(0x98).PixMap(2, 1, 2, 8).Colours({{1, 10, 10, 10}, {0, 20, 20, 20}}, flags);
        p.Rects(2, 1).Raw({0, 1});
        CWinBmpEx bmp;
        DecodeBytes(p.End(), bmp);
        EXPECT_EQ(ColourAt(bmp, 0, 0).red, flags ? 10 : 20);
        EXPECT_EQ(ColourAt(bmp, 1, 0).red, flags ? 20 : 10);
    }
}

TEST(PictDecoder, LowDepthPixelMapsAndPlainBitmaps) {
    // 4 bits, 3 pixels: one packed row of 8 row bytes holding 0x12 0x30 then padding.
    Pict p;
    p.Op(0x98).PixMap(3, 1, 8, 4).Colours({{0, 0, 0, 0}, {1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 3}});
    p.Rects(3, 1).Raw({3, 1, 0x12, 0x30, 0xFA, 0x00});
    CWinBmpEx bmp;
    DecodeBytes(p.End(), bmp);
    EXPECT_EQ(Bytes(bmp.GetLineArray()[0], bmp.GetLineArray()[0] + 3), (Bytes{1, 2, 3}));

    // A plain 1-bit bitmap, unpacked (BitsRect) even with 8 row bytes: set bits are black.
    Pict q(1);
    q.Op(0x90).Word(8);
    PutRect(q.b, 0, 0, 1, 10);
    PutRect(q.b, 0, 0, 1, 10);
    PutRect(q.b, 0, 0, 1, 10);
    q.Word(0).Raw({0xA0, 0xC0, 0, 0, 0, 0, 0, 0});
    DecodeBytes(q.End(), bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 8);
    EXPECT_EQ(Bytes(bmp.GetLineArray()[0], bmp.GetLineArray()[0] + 10),
              (Bytes{1, 0, 1, 0, 0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(bmp.GetPaletteEntries()[0], (RGBQuad{255, 255, 255, 255}));
    EXPECT_EQ(bmp.GetPaletteEntries()[1], (RGBQuad{0, 0, 0, 255}));
}

TEST(PictDecoder, DirectPixels) {
    // 32 bits, 2 x 1, three planes packed: red, green, blue.
    Pict p;
    p.Op(0x9A).Raw({0, 0, 0, 0xFF}).PixMap(2, 1, 8, 32, 3, 4).Rects(2, 1);
    p.Raw({7, 0x05, 10, 11, 20, 21, 30, 31});
    CWinBmpEx bmp;
    DecodeBytes(p.End(), bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 32);
    EXPECT_FALSE(bmp.HasAlpha());
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{30, 20, 10, 255}));
    EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{31, 21, 11, 255}));

    // Clipped by a region (DirectBitsRgn): the mask region comes before the rows.
    Pict clipped;
    clipped.Op(0x9B).Raw({0, 0, 0, 0xFF}).PixMap(2, 1, 8, 32, 3, 4).Rects(2, 1);
    clipped.Raw({0, 10, 0, 0, 0, 0, 0, 1, 0, 2});
    clipped.Raw({7, 0x05, 10, 11, 20, 21, 30, 31});
    DecodeBytes(clipped.End(), bmp);
    EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{31, 21, 11, 255}));

    // Four planes: alpha first.
    Pict a;
    a.Op(0x9A).Raw({0, 0, 0, 0}).PixMap(2, 1, 8, 32, 4, 4).Rects(2, 1);
    a.Raw({9, 0x07, 100, 101, 10, 11, 20, 21, 30, 31});
    DecodeBytes(a.End(), bmp);
    EXPECT_TRUE(bmp.HasAlpha());
    EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{31, 21, 11, 101}));

    // Unpacked rows: four bytes a pixel (pack type 1), or three without the pad (pack type 2).
    Pict chunky;
    chunky.Op(0x9A).Raw({0, 0, 0, 0}).PixMap(2, 1, 8, 32, 3, 1).Rects(2, 1);
    chunky.Raw({0, 10, 20, 30, 0, 11, 21, 31});
    DecodeBytes(chunky.End(), bmp);
    EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{31, 21, 11, 255}));
    Pict noPad;
    noPad.Op(0x9A).Raw({0, 0, 0, 0}).PixMap(2, 1, 8, 32, 3, 2).Rects(2, 1);
    noPad.Raw({10, 20, 30, 11, 21, 31});
    DecodeBytes(noPad.End(), bmp);
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{30, 20, 10, 255}));
    EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{31, 21, 11, 255}));

    // 16 bits: 0x7C00 is pure red; a run repeats the two-byte unit.
    Pict s;
    s.Op(0x9A).Raw({0, 0, 0, 0}).PixMap(4, 1, 8, 16, 3, 3).Rects(4, 1);
    s.Raw({6, 0x00, 0x7C, 0x00, 0xFE, 0x03, 0xE0});
    DecodeBytes(s.End(), bmp);
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{0, 0, 248, 255}));
    EXPECT_EQ(bmp.GetPixel(3, 0), (Pixel32{0, 248, 0, 255}));
}

TEST(PictDecoder, OpcodesAreWalkedByTheirLengths) {
    // Text before the pixels keeps the walk in place; a version 1 picture has one-byte opcodes.
    Pict p(1);
    p.Op(0x28).Raw({0, 1, 0, 1, 3, 'a', 'b', 'c'});         // long text
    p.Op(0x2B).Raw({1, 1, 2, 'x', 'y'});                    // DHDV text
    p.Op(0x70).Raw({0, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // polygon
    p.Op(0x31).Raw(Bytes(8, 0)).Op(0x1A).Raw(Bytes(6, 0));
    p.Op(0x98).PixMap(2, 1, 2, 8).Colours({{0, 0, 0, 0}, {1, 9, 9, 9}}).Rects(2, 1).Raw({1, 1});
    CWinBmpEx bmp;
    DecodeBytes(p.End(), bmp);
    EXPECT_EQ(ColourAt(bmp, 1, 0), (Pixel32{9, 9, 9, 255}));
}

TEST(PictDecoder, QuickTimeJpegGoesToTheJpegDecoder) {
    FOLV_REQUIRE_IMAGEMAGICK(magick);
    TempDir dir;
    const auto jpegFile = dir / "picture.jpg";
    ASSERT_TRUE(RunTool(magick + " rose: -resize 20x10! " + Quote(jpegFile)));
    const Bytes jpeg = ReadFileBytes(jpegFile);
    Pict p;
    p.Op(0x8200);
    Put32(p.b, static_cast<std::uint32_t>(jpeg.size() + 68));
    p.Raw(Bytes(68, 0x11)).Raw(jpeg);
    CWinBmpEx fromPict;
    DecodeBytes(p.End(), fromPict);
    CWinBmpEx direct;
    DecodeBytes(jpeg, direct);
    ASSERT_EQ(fromPict.GetWidth(), 20);
    ASSERT_EQ(fromPict.GetBitsPerPixel(), direct.GetBitsPerPixel());
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(ColourAt(fromPict, x, y), ColourAt(direct, x, y)) << x << ", " << y;
    }

    Pict none;
    none.Op(0x8200).Raw({0, 0, 0, 4, 1, 2, 3, 4});
    std::string message;
    EXPECT_EQ(DecodeError(none.End(), &message), 6);
    EXPECT_EQ(message, "Decoder error: PICT file contains unrecognized quicktime data.\n\n");
}

TEST(PictDecoder, RefusesWhatItCannotRead) {
    std::string message;
    Pict vectors;
    vectors.Op(0x20).Raw(Bytes(8, 0)).Op(0x30).Raw(Bytes(8, 0));
    EXPECT_EQ(DecodeError(vectors.End(), &message), 6);
    EXPECT_EQ(message, "Decoder error: PICT contained only vector data!\n\n");

    Pict deep;
    deep.Op(0x9A).Raw(Bytes(4, 0)).PixMap(2, 1, 6, 24, 3).Rects(2, 1).Raw(Bytes(6, 0));
    EXPECT_EQ(DecodeError(deep.End(), &message), 2);
    EXPECT_EQ(message, "Decoder error: Illegal bpp value in unpackbits: 24\n\n");

    struct Case {
        const char* name;
        Bytes file;
        int code;
    };
    Pict twoPlanes;
    twoPlanes.Op(0x9A).Raw(Bytes(4, 0)).PixMap(2, 1, 8, 32, 2).Rects(2, 1).Raw(Bytes(8, 0));
    Pict indexPastTable;
    indexPastTable.Op(0x98).PixMap(2, 1, 2, 8).Colours({{0, 1, 1, 1}, {5, 2, 2, 2}});
    indexPastTable.Rects(2, 1).Raw({0, 1});
    Pict bigTable;
    bigTable.Op(0x98).PixMap(2, 1, 2, 8);
    bigTable.Raw({0, 0, 0, 0, 0x80, 0, 0x01, 0x00}).Raw(Bytes(257 * 8, 0)).Rects(2, 1).Raw({0, 1});
    Pict badPattern;
    badPattern.Op(0x12).Word(3);
    Pict longPastEnd;
    longPastEnd.Op(0xA1).Word(1).Word(0x7000);
    Pict regionPastEnd;
    regionPastEnd.Op(0x01).Word(0xFFF0);
    Pict noVersion;
    noVersion.b.resize(522);
    noVersion.b.insert(noVersion.b.end(), {0x00, 0x12, 0x01});
    Pict badVersion(2, false);
    badVersion.b[525] = 0xFE;
    const Case cases[] = {
        {"two planes of 32 bits", twoPlanes.End(), 2},
        {"colour index past the table", indexPastTable.End(), 2},
        {"table of 257 entries", bigTable.End(), 2},
        {"pattern type 3", badPattern.End(), 2},
        {"comment longer than the file", longPastEnd.End(), 11},
        {"region longer than the file", regionPastEnd.End(), 11},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeError(c.file), c.code) << c.name;

    // What the front end would not take for PICT fails in the decoder itself.
    PLPictDecoder decoder(nullptr);
    for (const Bytes& file : {noVersion.b, badVersion.End()}) {
        CWinBmpEx bmp;
        try {
            decoder.DecodeMemory(file.data(), file.size(), bmp);
            ADD_FAILURE() << "decoded";
        } catch (const PLTextException& e) {
            EXPECT_EQ(e.GetCode(), 1) << e.GetMessage();
        }
    }
}

TEST(PictDecoder, PackBitsRunsPastARowAreDropped) {
    // 8 bits, 10 wide: a run of 128 and a literal that no longer fits.
    Pict p;
    p.Op(0x98).PixMap(10, 1, 10, 8).Colours({{0, 0, 0, 0}, {1, 1, 1, 1}});
    p.Rects(10, 1).Raw({4, 0x81, 1, 0x00, 7});
    CWinBmpEx bmp;
    DecodeBytes(p.End(), bmp);
    EXPECT_EQ(Bytes(bmp.GetLineArray()[0], bmp.GetLineArray()[0] + 10), Bytes(10, 1));
}

TEST(PictDecoder, EveryCutFailsCleanly) {
    Pict p;
    p.Op(0x01).Word(10).Raw(Bytes(8, 0)).Op(0xA0).Word(5);
    p.Op(0x12).Word(2).Raw(Bytes(14, 0));
    p.Op(0x99).PixMap(9, 2, 10, 8).Colours({{0, 0, 0, 0}, {1, 1, 1, 1}}).Rects(9, 2);
    p.Word(10).Raw(Bytes(8, 0));  // mask region
    p.Raw({3, 0xF8, 1, 0}).Raw({3, 0x01, 1, 1});
    ExpectCutsFailCleanly(p.End());
    Pict d;
    d.Op(0x9A).Raw(Bytes(4, 0)).PixMap(3, 2, 12, 32, 4, 4).Rects(3, 2);
    d.Raw({12, 0x0B, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}).Raw({2, 0xF5, 9});
    ExpectCutsFailCleanly(d.End());
}

}  // namespace
