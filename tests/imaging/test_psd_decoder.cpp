#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/any_pic_decoder.h"
#include "imaging/psd_decoder.h"
#include "imaging/text_exception.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"
#include "tests/imaging/tool_paths.h"

using folv::testing::ColourAt;
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

void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v >> 16);
    Put16(b, v & 0xFFFF);
}

struct PsdSpec {
    std::uint16_t channels = 3;
    std::uint32_t width = 1;
    std::uint32_t height = 1;
    std::uint16_t depth = 8;
    std::uint16_t mode = 3;
    std::uint16_t version = 1;
    Bytes colourData{};
    Bytes resources{};
    Bytes layers{};
    std::uint16_t compression = 0;
    Bytes data{};  // after the compression code
};

Bytes Psd(const PsdSpec& s) {
    Bytes b = {'8', 'B', 'P', 'S'};
    Put16(b, s.version);
    b.insert(b.end(), 6, 0);
    Put16(b, s.channels);
    Put32(b, s.height);
    Put32(b, s.width);
    Put16(b, s.depth);
    Put16(b, s.mode);
    Put32(b, static_cast<std::uint32_t>(s.colourData.size()));
    b.insert(b.end(), s.colourData.begin(), s.colourData.end());
    Put32(b, static_cast<std::uint32_t>(s.resources.size()));
    b.insert(b.end(), s.resources.begin(), s.resources.end());
    Put32(b, static_cast<std::uint32_t>(s.layers.size()));
    b.insert(b.end(), s.layers.begin(), s.layers.end());
    Put16(b, s.compression);
    b.insert(b.end(), s.data.begin(), s.data.end());
    return b;
}

// One image resource block; the name is written with its padding.
Bytes Resource(std::uint16_t id, const std::string& name, const Bytes& data) {
    Bytes b = {'8', 'B', 'I', 'M'};
    Put16(b, id);
    b.push_back(static_cast<std::uint8_t>(name.size()));
    b.insert(b.end(), name.begin(), name.end());
    if (name.size() % 2 == 0)
        b.push_back(0);
    Put32(b, static_cast<std::uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() % 2)
        b.push_back(0);
    return b;
}

// Files written by ImageMagick, compared with its reading of their merged picture, or with the
// picture it wrote where it cannot read that back (indexed colour) or unblends transparent
// colours from a white background that it did not blend them with.
struct Written {
    const char* name;
    const char* options;
    int depth;
    bool alpha;
    bool referenceWritten = false;
};

class PsdWrittenByImageMagick : public ::testing::TestWithParam<Written> {};

TEST_P(PsdWrittenByImageMagick, DecodesAsImageMagickReadsIt) {
    const Written& w = GetParam();
    FOLV_REQUIRE_IMAGEMAGICK(magick);
    TempDir dir;
    const auto file = dir / "picture.psd";
    const auto reference = dir / "reference.pam";
    std::string input = "rose: -resize 37x23!";
    if (w.alpha) {
        input +=
            " \\( -size 37x23 gradient:white-black \\) -alpha off -compose CopyOpacity "
            "-composite";
    }
    const std::string command = magick + " " + input + " " + w.options + " " + Quote(file);
    ASSERT_TRUE(RunTool(command)) << command;
    const std::string readBack =
        w.referenceWritten
            ? magick + " " + input + " " + w.options + " -depth 8 " + Quote(reference)
            : magick + " " + Quote(file.string() + "[0]") + " -depth 8 " + Quote(reference);
    ASSERT_TRUE(RunTool(readBack)) << readBack;

    CWinBmpEx bmp;
    PLAnyPicDecoder decoder;
    decoder.DecodeFile(file.c_str(), bmp);
    EXPECT_EQ(decoder.GetFileType(), PLFileType::Psd);
    EXPECT_EQ(bmp.GetBitsPerPixel(), w.depth);
    EXPECT_EQ(bmp.HasAlpha(), w.alpha);
    // The merged picture is stored as it was written, alpha beside the colours.
    EXPECT_TRUE(MatchesReference(bmp, ReadNetpbm(reference), w.referenceWritten ? 1 : 0, w.alpha));
}

INSTANTIATE_TEST_SUITE_P(
    Files, PsdWrittenByImageMagick,
    ::testing::Values(Written{"Rgb", "", 32, false}, Written{"RgbRaw", "-compress none", 32, false},
                      Written{"RgbAlpha", "", 32, true, true},
                      Written{"RgbAlphaRaw", "-compress none", 32, true, true},
                      Written{"Layered", "\\( -size 37x23 gradient:red-blue \\) -depth 8", 32,
                              false},
                      Written{"Grey", "-type Grayscale", 8, false},
                      Written{"GreyRaw", "-type Grayscale -compress none", 8, false},
                      Written{"Indexed", "-type Palette", 8, false, true},
                      Written{"IndexedRaw", "-type Palette -compress none", 8, false, true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(PsdDecoder, ChannelsBecomeRedGreenBlueAndAlpha) {
    // 2 x 1, raw: five channels, the fifth unused.
    PsdSpec s{.channels = 5, .width = 2, .data = {10, 177, 20, 127, 30, 255, 255, 128, 50, 51}};
    CWinBmpEx bmp;
    DecodeBytes(Psd(s), bmp);
    EXPECT_TRUE(bmp.HasAlpha());
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{30, 20, 10, 255}));
    EXPECT_EQ(bmp.GetPixel(1, 0), (Pixel32{255, 127, 177, 128}));

    // Three channels: opaque.
    DecodeBytes(Psd({.width = 1, .data = {1, 2, 3}}), bmp);
    EXPECT_FALSE(bmp.HasAlpha());
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{3, 2, 1, 255}));
}

TEST(PsdDecoder, GreyAndIndexedPicturesUseTheirTables) {
    // Greyscale with an extra alpha channel: the grey picture of channel 0.
    CWinBmpEx bmp;
    DecodeBytes(Psd({.channels = 2, .width = 2, .mode = 1, .data = {7, 200, 99, 99}}), bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 8);
    EXPECT_TRUE(bmp.IsGreyscale());
    EXPECT_EQ(ColourAt(bmp, 1, 0), (Pixel32{200, 200, 200, 255}));

    Bytes colours(768, 0);
    colours[5] = 50;        // red of entry 5
    colours[256 + 5] = 60;  // green
    colours[512 + 5] = 70;  // blue
    DecodeBytes(Psd({.channels = 1, .mode = 2, .colourData = colours, .data = {5}}), bmp);
    EXPECT_FALSE(bmp.IsGreyscale());
    EXPECT_EQ(ColourAt(bmp, 0, 0), (Pixel32{70, 60, 50, 255}));
}

TEST(PsdDecoder, ResourcesAreWalkedAndResolutionTaken) {
    const Bytes resolution = {0x00, 0x48, 0x00, 0x00, 0, 1, 0, 1,
                              0x00, 0x60, 0x80, 0x00, 0, 1, 0, 1};
    Bytes resources = Resource(1000, "", {1, 2, 3, 4, 5});  // odd size: padded
    const Bytes named = Resource(1001, "a", {9, 9});        // name of length 1: no padding
    resources.insert(resources.end(), named.begin(), named.end());
    const Bytes res = Resource(1005, "xy", resolution);
    resources.insert(resources.end(), res.begin(), res.end());
    CWinBmpEx bmp;
    DecodeBytes(Psd({.resources = resources, .layers = {0, 0, 0, 0}, .data = {1, 2, 3}}), bmp);
    EXPECT_EQ(bmp.GetResolution(), (PLPoint{72, 96}));
    EXPECT_EQ(bmp.GetPixel(0, 0), (Pixel32{3, 2, 1, 255}));

    DecodeBytes(Psd({.data = {1, 2, 3}}), bmp);
    EXPECT_EQ(bmp.GetResolution(), (PLPoint{0, 0}));

    // Some writers leave out the padding byte of the last block.
    Bytes unpadded = Resource(1005, "", resolution);
    const Bytes odd = Resource(1000, "", {1, 2, 3, 4, 5});
    unpadded.insert(unpadded.end(), odd.begin(), odd.end() - 1);
    DecodeBytes(Psd({.resources = unpadded, .data = {1, 2, 3}}), bmp);
    EXPECT_EQ(bmp.GetResolution(), (PLPoint{72, 96}));

    Bytes wrong = Resource(1000, "", {1});
    wrong[0] = 'X';
    PLPSDDecoder decoder;
    const Bytes file = Psd({.resources = wrong, .data = {1, 2, 3}});
    try {
        decoder.DecodeMemory(file.data(), file.size(), bmp);
        FAIL() << "decoded";
    } catch (const PLTextException& e) {
        EXPECT_EQ(e.GetCode(), 2);
        EXPECT_EQ(e.GetMessage(),
                  "Decoder error: PSD decoder: Wrong signature in resource data block.\n");
    }
}

TEST(PsdDecoder, PackBitsRowsStayInsideTheRow) {
    // 3 x 2 grey: the length table, then row 0 = 0x80 (passed over) 0xFE 0x07 (three 7s), and row
    // 1 = a run of 128 (cut to the row) followed by a literal that has no room left.
    Bytes data;
    Put16(data, 3);
    Put16(data, 4);
    data.insert(data.end(), {0x80, 0xFE, 0x07, 0x81, 0x09, 0x00, 0x01});
    CWinBmpEx bmp;
    DecodeBytes(
        Psd({.channels = 1, .width = 3, .height = 2, .mode = 1, .compression = 1, .data = data}),
        bmp);
    EXPECT_EQ(Bytes(bmp.GetLineArray()[0], bmp.GetLineArray()[0] + 3), (Bytes{7, 7, 7}));
    EXPECT_EQ(Bytes(bmp.GetLineArray()[1], bmp.GetLineArray()[1] + 3), (Bytes{9, 9, 9}));
}

TEST(PsdDecoder, RefusesWhatItCannotRead) {
    struct Case {
        const char* name;
        PsdSpec header;
        int code;
    };
    const Case cases[] = {
        {"CMYK", {.channels = 4, .mode = 4, .data = {1, 2, 3, 4}}, 6},
        {"Lab", {.mode = 9, .data = {1, 2, 3}}, 6},
        {"bitmap", {.channels = 1, .depth = 1, .mode = 0, .data = {1}}, 6},
        {"sixteen bits", {.depth = 16, .data = Bytes(6, 1)}, 6},
        {"large document", {.version = 2, .data = {1, 2, 3}}, 6},
        {"zip", {.compression = 2, .data = {1, 2, 3}}, 2},
        {"unknown compression", {.compression = 4, .data = {1, 2, 3}}, 2},
        {"RGB with one channel", {.channels = 1, .data = {1}}, 2},
        {"no columns", {.width = 0, .data = {}}, 2},
        {"too many rows", {.height = 0x7FFFFFFF, .data = {}}, 10},
        {"short data", {.width = 2, .data = {1, 2, 3}}, 11},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeError(Psd(c.header)), c.code) << c.name;
}

TEST(PsdDecoder, EveryCutFailsCleanly) {
    Bytes data;
    for (int i = 0; i < 6; ++i)
        Put16(data, 3);
    for (int i = 0; i < 6; ++i)
        data.insert(data.end(), {0xFD, static_cast<std::uint8_t>(i * 40)});
    ExpectCutsFailCleanly(Psd({.width = 4,
                               .height = 2,
                               .resources = Resource(1005, "", Bytes(16, 1)),
                               .layers = {1, 2, 3, 4, 5, 6},
                               .compression = 1,
                               .data = data}));
}

}  // namespace
