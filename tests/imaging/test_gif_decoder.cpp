#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/gif_decoder.h"
#include "imaging/text_exception.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"

using folv::testing::ColourAt;
using folv::testing::DecodeBytes;
using folv::testing::MatchesReference;
using folv::testing::Quote;
using folv::testing::ReadFileBytes;
using folv::testing::ReadNetpbm;
using folv::testing::RefImage;
using folv::testing::RunTool;
using folv::testing::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Written {
    Bytes bytes;
    RefImage reference;
};

Written Write(const TempDir& dir, const std::string& options, const std::string& source = "") {
    const auto file = dir / "picture.gif";
    const auto reference = dir / "reference.pam";
    const std::string input = source.empty() ? "rose: -resize 37x23!" : source;
    EXPECT_TRUE(RunTool("convert " + input + " " + options + " " + Quote(file)));
    // The first frame, on its logical screen.
    EXPECT_TRUE(
        RunTool("convert " + Quote(file.string() + "[0]") + " -depth 8 " + Quote(reference)));
    return {ReadFileBytes(file), ReadNetpbm(reference)};
}

std::size_t Find(const Bytes& bytes, std::uint8_t value, std::size_t from) {
    for (std::size_t i = from; i < bytes.size(); ++i)
        if (bytes[i] == value)
            return i;
    return bytes.size();
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

class GifDecoder : public ::testing::Test {
  protected:
    void SetUp() override { FOLV_REQUIRE_PROGRAM("convert"); }
    TempDir dir;
};

TEST_F(GifDecoder, PlainAndInterlacedMatchTheReference) {
    for (const char* options : {"", "-interlace GIF", "-colors 7"}) {
        const Written w = Write(dir, options);
        CWinBmpEx bmp;
        DecodeBytes(w.bytes, bmp);
        EXPECT_EQ(bmp.GetBitsPerPixel(), 8) << options;
        EXPECT_FALSE(bmp.HasAlpha()) << options;
        EXPECT_FALSE(bmp.IsGreyscale()) << options;
        EXPECT_TRUE(MatchesReference(bmp, w.reference)) << options;
        folv::testing::ExpectCutsFailCleanly(w.bytes, 3);
    }
}

TEST_F(GifDecoder, TransparentIndexHasAlphaZero) {
    const Written w = Write(dir, "-alpha set -channel A -fx 'i<w/2' +channel -threshold -1");
    ASSERT_EQ(w.reference.channels, 4);
    CWinBmpEx bmp;
    DecodeBytes(w.bytes, bmp);
    EXPECT_TRUE(bmp.HasAlpha());
    int transparent = 0;
    for (int y = 0; y < w.reference.height; ++y) {
        for (int x = 0; x < w.reference.width; ++x) {
            const Pixel32 got = ColourAt(bmp, x, y);
            const bool clear = w.reference.At8(x, y, 3) == 0;
            ASSERT_EQ(got.alpha, clear ? 0 : 255) << x << ", " << y;
            transparent += clear;
            if (!clear) {
                ASSERT_EQ(got.red, w.reference.At8(x, y, 0)) << x << ", " << y;
            }
        }
    }
    EXPECT_GT(transparent, 0);
}

TEST_F(GifDecoder, AnimationShowsItsFirstFrame) {
    const Written w = Write(dir, "", "rose: -resize 37x23! \\( +clone -negate \\) -delay 10");
    CWinBmpEx bmp;
    DecodeBytes(w.bytes, bmp);
    EXPECT_TRUE(MatchesReference(bmp, w.reference));
}

TEST_F(GifDecoder, PartialImageLeavesTheBackgroundAround) {
    const Written w = Write(dir, "-crop 10x8+20+5");
    CWinBmpEx bmp;
    DecodeBytes(w.bytes, bmp);
    ASSERT_EQ(bmp.GetWidth(), 37);
    ASSERT_EQ(bmp.GetHeight(), 23);
    const std::uint8_t background = w.bytes[11];
    EXPECT_EQ(bmp.GetLineArray()[0][0], background);
    EXPECT_EQ(bmp.GetLineArray()[22][36], background);
    // Inside the image the colours are the picture's; ImageMagick reads the image alone.
    ASSERT_EQ(w.reference.width, 10);
    ASSERT_EQ(w.reference.height, 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 10; ++x) {
            const Pixel32 got = ColourAt(bmp, 20 + x, 5 + y);
            ASSERT_EQ(got.red, w.reference.At8(x, y, 0)) << x << ", " << y;
            ASSERT_EQ(got.green, w.reference.At8(x, y, 1)) << x << ", " << y;
            ASSERT_EQ(got.blue, w.reference.At8(x, y, 2)) << x << ", " << y;
        }
    }
}

// A 2 x 2 GIF made by hand: global colour map of 2 entries, one image.
Bytes TinyGif(bool globalMap) {
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0};
    gif.push_back(globalMap ? 0x80 : 0x00);
    gif.push_back(0);  // background
    gif.push_back(0);
    if (globalMap) {
        for (std::uint8_t b : {0, 0, 0, 255, 255, 255})
            gif.push_back(b);
    }
    for (std::uint8_t b : {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0})
        gif.push_back(b);
    // LZW, code size 2: clear, 1, 0, 0, 1, end.
    for (std::uint8_t b : {0x02, 0x03, 0x4C, 0x14, 0x05, 0x00, 0x3B})
        gif.push_back(b);
    return gif;
}

TEST(GifDecoderBytes, HandMadeFiles) {
    CWinBmpEx bmp;
    DecodeBytes(TinyGif(true), bmp);
    EXPECT_EQ(bmp.GetWidth(), 2);
    EXPECT_EQ(bmp.GetPaletteEntries()[1], (RGBQuad{255, 255, 255, 255}));

    EXPECT_EQ(DecodeError(TinyGif(false)), PL_ERRFORMAT_UNKNOWN);  // no colour map

    Bytes outside = TinyGif(true);
    const std::size_t descriptor = Find(outside, 0x2C, 19);
    outside[descriptor + 1] = 1;  // left 1 + width 2 > screen 2
    EXPECT_EQ(DecodeError(outside), PL_ERRFORMAT_UNKNOWN);

    Bytes huge = TinyGif(true);
    huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
    EXPECT_EQ(DecodeError(huge), PL_ERRNO_MEMORY);

    const Bytes tiny = TinyGif(true);
    const Bytes header(tiny.begin(), tiny.begin() + 8);
    EXPECT_EQ(DecodeError(header), PL_ERREND_OF_FILE);

    const Bytes noScreen = {'G', 'I', 'F', '8', '7', 'a', 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(DecodeError(noScreen), PL_ERRFORMAT_UNKNOWN);
}

TEST(GifDecoderBytes, DecoderIsReusableAfterAFailure) {
    PLGIFDecoder decoder;
    const Bytes bad = TinyGif(false);
    const Bytes good = TinyGif(true);
    CWinBmpEx bmp;
    EXPECT_THROW(decoder.DecodeMemory(bad.data(), bad.size(), bmp, 0), PLTextException);
    decoder.DecodeMemory(good.data(), good.size(), bmp, 0);
    EXPECT_EQ(bmp.GetPaletteEntries()[1], (RGBQuad{255, 255, 255, 255}));
}

}  // namespace
