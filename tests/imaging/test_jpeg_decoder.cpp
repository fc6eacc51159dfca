#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/jpeg_decoder.h"
#include "imaging/text_exception.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"

using folv::testing::DecodeBytes;
using folv::testing::MatchesReference;
using folv::testing::MeanDifference;
using folv::testing::Quote;
using folv::testing::ReadFileBytes;
using folv::testing::ReadNetpbm;
using folv::testing::RefImage;
using folv::testing::RunTool;
using folv::testing::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Writes a JPEG with ImageMagick from its built-in picture and ImageMagick's own reading of
// it as the reference.
struct Written {
    Bytes bytes;
    RefImage reference;
};

Written WriteJpeg(const TempDir& dir, const std::string& options,
                  const std::string& referenceOptions = "") {
    const auto file = dir / "picture.jpg";
    const auto reference = dir / "reference.pam";
    EXPECT_TRUE(RunTool("convert rose: -resize 64x48! " + options + " " + Quote(file)));
    EXPECT_TRUE(RunTool("convert " + Quote(file) + " " + referenceOptions + " -depth 8 " +
                        Quote(reference)));
    return {ReadFileBytes(file), ReadNetpbm(reference)};
}

// Offset of the first marker `code` (FF code) in a JPEG stream.
std::size_t FindMarker(const Bytes& bytes, std::uint8_t code) {
    for (std::size_t i = 2; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == code)
            return i;
    }
    return bytes.size();
}

std::int32_t DecodeError(const Bytes& bytes, std::string* message = nullptr) {
    CWinBmpEx bmp;
    try {
        DecodeBytes(bytes, bmp);
    } catch (const PLTextException& e) {
        if (message != nullptr)
            *message = e.GetMessage();
        return e.GetCode();
    }
    return 0;
}

class JpegDecoder : public ::testing::Test {
  protected:
    void SetUp() override { FOLV_REQUIRE_PROGRAM("convert"); }
    TempDir dir;
};

TEST_F(JpegDecoder, ColourPicturesMatchWithinTheDctTolerance) {
    struct Case {
        const char* name;
        const char* options;
        int tolerance;
        double mean;
    };
    const std::vector<Case> cases = {
        {"baseline 4:4:4", "-sampling-factor 1x1 -quality 95", 4, 1.0},
        {"progressive 4:4:4", "-sampling-factor 1x1 -interlace JPEG -quality 90", 4, 1.0},
        // Plain upsampling of the colour planes differs from ImageMagick's at colour edges.
        {"baseline 4:2:0", "-sampling-factor 2x2 -quality 90", 255, 5.0},
    };
    for (const Case& c : cases) {
        const Written w = WriteJpeg(dir, c.options);
        CWinBmpEx bmp;
        DecodeBytes(w.bytes, bmp);
        EXPECT_EQ(bmp.GetBitsPerPixel(), 32) << c.name;
        EXPECT_FALSE(bmp.HasAlpha()) << c.name;
        EXPECT_FALSE(bmp.IsGreyscale()) << c.name;
        EXPECT_TRUE(MatchesReference(bmp, w.reference, c.tolerance)) << c.name;
        EXPECT_LT(MeanDifference(bmp, w.reference), c.mean) << c.name;
    }
}

TEST_F(JpegDecoder, GreyPictureIsEightBitWithGreyPalette) {
    const Written w = WriteJpeg(dir, "-colorspace Gray -quality 95");
    CWinBmpEx bmp;
    DecodeBytes(w.bytes, bmp);
    EXPECT_EQ(bmp.GetBitsPerPixel(), 8);
    EXPECT_TRUE(bmp.IsGreyscale());
    EXPECT_EQ(bmp.GetPaletteEntries()[200], (RGBQuad{200, 200, 200, 255}));
    EXPECT_TRUE(MatchesReference(bmp, w.reference, 3));
}

TEST_F(JpegDecoder, CmykPictureBecomesItsColours) {
    // ImageMagick writes Adobe-style inverted CMYK.
    const Written w = WriteJpeg(dir, "-colorspace CMYK -quality 95", "-colorspace sRGB");
    CWinBmpEx bmp;
    DecodeBytes(w.bytes, bmp);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 32);
    EXPECT_LT(MeanDifference(bmp, w.reference), 3.0);
}

TEST_F(JpegDecoder, DensityBecomesResolution) {
    const Written w = WriteJpeg(dir, "-quality 80");
    const std::size_t app0 = FindMarker(w.bytes, 0xE0);
    ASSERT_LT(app0 + 18, w.bytes.size());
    ASSERT_EQ(std::string(w.bytes.begin() + app0 + 4, w.bytes.begin() + app0 + 8), "JFIF");
    struct Case {
        std::uint8_t unit;
        std::uint16_t x, y;
        PLPoint expected;
    };
    for (const Case& c : {Case{1, 72, 72, {72, 72}}, Case{0, 1, 1, {0, 0}},
                          Case{2, 28, 28, {71, 71}}, Case{1, 300, 1, {0, 0}}}) {
        Bytes bytes = w.bytes;
        bytes[app0 + 11] = c.unit;
        bytes[app0 + 12] = static_cast<std::uint8_t>(c.x >> 8);
        bytes[app0 + 13] = static_cast<std::uint8_t>(c.x);
        bytes[app0 + 14] = static_cast<std::uint8_t>(c.y >> 8);
        bytes[app0 + 15] = static_cast<std::uint8_t>(c.y);
        CWinBmpEx bmp;
        DecodeBytes(bytes, bmp);
        EXPECT_EQ(bmp.GetResolution(), c.expected) << int{c.unit} << " " << c.x << " " << c.y;
    }
}

TEST_F(JpegDecoder, TruncatedPictureDecodesWithItsTopIntact) {
    const Written w = WriteJpeg(dir, "-sampling-factor 1x1 -quality 95");
    const Bytes cut(w.bytes.begin(),
                    w.bytes.begin() + static_cast<std::ptrdiff_t>(w.bytes.size() * 2 / 3));
    CWinBmpEx bmp;
    DecodeBytes(cut, bmp);
    ASSERT_EQ(bmp.GetHeight(), 48);
    RefImage top = w.reference;
    top.height = 8;
    top.samples.resize(static_cast<std::size_t>(top.width) * top.height * top.channels);
    CWinBmpEx topRows;
    topRows.Create(64, 8, 32, false, false);
    for (int y = 0; y < 8; ++y)
        std::copy(bmp.GetLineArray()[y], bmp.GetLineArray()[y] + 64 * 4, topRows.GetLineArray()[y]);
    EXPECT_TRUE(MatchesReference(topRows, top, 4));
}

TEST_F(JpegDecoder, EveryCutFailsCleanly) {
    const Written baseline = WriteJpeg(dir, "-quality 70");
    folv::testing::ExpectCutsFailCleanly(baseline.bytes, 3);
    const Written progressive = WriteJpeg(dir, "-interlace JPEG -quality 70");
    folv::testing::ExpectCutsFailCleanly(progressive.bytes, 3);
}

TEST_F(JpegDecoder, DamagedHeadersCarryTheirCodes) {
    const Written w = WriteJpeg(dir, "-quality 80");
    const std::size_t sof = FindMarker(w.bytes, 0xC0);
    ASSERT_LT(sof + 9, w.bytes.size());

    Bytes huge = w.bytes;  // 65000 x 65000 pixels
    huge[sof + 5] = 0xFD;
    huge[sof + 6] = 0xE8;
    huge[sof + 7] = 0xFD;
    huge[sof + 8] = 0xE8;
    EXPECT_EQ(DecodeError(huge), PL_ERRNO_MEMORY);

    Bytes noImage = {0xFF, 0xD8, 0xFF, 0xD9};
    std::string message;
    EXPECT_EQ(DecodeError(noImage, &message), PL_ERRFORMAT_NOT_SUPPORTED);
    EXPECT_EQ(message.rfind("Decoder error: ", 0), 0u) << message;
    EXPECT_EQ(message.substr(message.size() - 2), "\n\n") << message;

    Bytes badPrecision = w.bytes;
    badPrecision[sof + 4] = 3;
    EXPECT_EQ(DecodeError(badPrecision), PL_ERRFORMAT_NOT_SUPPORTED);
}

TEST_F(JpegDecoder, DecoderIsReusableAfterAFailure) {
    const Written w = WriteJpeg(dir, "-quality 80");
    PLJPEGDecoder decoder;
    const Bytes garbage = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02, 0x12};
    CWinBmpEx bmp;
    EXPECT_THROW(decoder.DecodeMemory(garbage.data(), garbage.size(), bmp, 0), PLTextException);
    decoder.DecodeMemory(w.bytes.data(), w.bytes.size(), bmp, 0);
    EXPECT_EQ(bmp.GetWidth(), 64);
    EXPECT_LT(MeanDifference(bmp, w.reference), 5.0);
}

}  // namespace
