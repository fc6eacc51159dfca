#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/any_pic_decoder.h"
#include "imaging/bitmap.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"
#include "tools/fixtures/compound.h"
#include "tools/fixtures/dib.h"
#include "tools/fixtures/dwg.h"

namespace {

namespace fs = std::filesystem;
using folv::fixtures::DibImage;
using folv::testing::ColourAt;
using folv::testing::Quote;
using folv::testing::TempDir;

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Result RunThumb(const TempDir& dir, const std::string& arguments) {
    const fs::path out = dir / "stdout.txt";
    const fs::path err = dir / "stderr.txt";
    const std::string command =
        Quote(FOLVTHUMB_PATH) + " " + arguments + " >" + Quote(out) + " 2>" + Quote(err);
    const int status = std::system(command.c_str());
    Result result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    return result;
}

// A picture with a colour per quarter, none of them black or white (drawing previews swap
// those).
DibImage Quarters(std::int32_t width, std::int32_t height, std::uint16_t bpp) {
    DibImage image;
    image.width = width;
    image.height = height;
    image.bitsPerPixel = bpp;
    const std::uint32_t colours[4] = {0xFF204080, 0xFF806020, 0xFF10C010, 0xFFC01010};
    if (bpp <= 8) {
        for (std::uint32_t c : colours)
            image.palette.push_back({static_cast<std::uint8_t>(c),
                                     static_cast<std::uint8_t>(c >> 8),
                                     static_cast<std::uint8_t>(c >> 16), 0});
    }
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const int quarter = (y >= height / 2) * 2 + (x >= width / 2);
            image.pixels.push_back(bpp <= 8 ? static_cast<std::uint32_t>(quarter)
                                            : colours[quarter]);
        }
    }
    return image;
}

void ReadPng(const fs::path& path, CWinBmpEx& bmp) {
    PLAnyPicDecoder decoder;
    decoder.DecodeFile(path.c_str(), bmp, 0, nullptr);
}

TEST(Folvthumb, WritesThePictureAsDecodedWithInfo) {
    TempDir dir;
    ASSERT_TRUE(folv::fixtures::WriteFileBytes(dir / "plan.bmp",
                                               folv::fixtures::BuildBmpFile(Quarters(20, 10, 8))));
    const Result r =
        RunThumb(dir, "--info " + Quote(dir / "plan.bmp") + " " + Quote(dir / "out.png"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "20 10 8 0 0 0 0\n");
    CWinBmpEx png;
    ReadPng(dir / "out.png", png);
    ASSERT_EQ(png.GetWidth(), 20);
    ASSERT_EQ(png.GetHeight(), 10);
    EXPECT_FALSE(png.HasAlpha());
    EXPECT_EQ(ColourAt(png, 0, 0), Pixel32::FromValue(0xFF204080));
    EXPECT_EQ(ColourAt(png, 19, 9), Pixel32::FromValue(0xFFC01010));
}

TEST(Folvthumb, FitsLikeACell) {
    TempDir dir;
    ASSERT_TRUE(folv::fixtures::WriteFileBytes(
        dir / "wide.bmp", folv::fixtures::BuildBmpFile(Quarters(200, 100, 24))));
    const Result r = RunThumb(
        dir, "--info --size 87x65 " + Quote(dir / "wide.bmp") + " " + Quote(dir / "o.png"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The information is the picture's as decoded, before fitting.
    EXPECT_EQ(r.out, "200 100 32 0 0 0 0\n");
    CWinBmpEx png;
    ReadPng(dir / "o.png", png);
    EXPECT_EQ(png.GetWidth(), 87);
    EXPECT_EQ(png.GetHeight(), 43);
    EXPECT_EQ(ColourAt(png, 80, 40), Pixel32::FromValue(0xFFC01010));
}

TEST(Folvthumb, DrawingPreviewFirstAndItsVersionTablePerBuild) {
    TempDir dir;
    const DibImage preview = Quarters(16, 8, 8);
    ASSERT_TRUE(folv::fixtures::WriteFileBytes(
        dir / "r2000.dwg", folv::fixtures::DrawingWithPreview("AC1015", preview)));
    ASSERT_TRUE(folv::fixtures::WriteFileBytes(
        dir / "r2010.dwg", folv::fixtures::DrawingWithPreview("AC1024", preview)));

    Result r = RunThumb(dir, "--info " + Quote(dir / "r2000.dwg") + " " + Quote(dir / "a.png"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    CWinBmpEx png;
    ReadPng(dir / "a.png", png);
    EXPECT_EQ(ColourAt(png, 15, 0), Pixel32::FromValue(0xFF806020));

    // Only the plug-in build knows the newest release; the library build finds no picture.
    r = RunThumb(dir, Quote(dir / "r2010.dwg") + " " + Quote(dir / "b.png"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "8 Decoder error: Unknown file type.\n");
    EXPECT_FALSE(fs::exists(dir / "b.png"));
    r = RunThumb(dir, "--plugin " + Quote(dir / "r2010.dwg") + " " + Quote(dir / "b.png"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST(Folvthumb, CompoundFilePreviewStream) {
    TempDir dir;
    const auto dib = folv::fixtures::PackDib(Quarters(6, 4, 24));
    ASSERT_TRUE(folv::fixtures::WriteCompoundFile(
        dir / "doc.ole", {{"Preview", folv::fixtures::PreviewStream(dib)}}));
    const Result r = RunThumb(dir, Quote(dir / "doc.ole") + " " + Quote(dir / "c.png"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    CWinBmpEx png;
    ReadPng(dir / "c.png", png);
    EXPECT_EQ(png.GetWidth(), 6);
    EXPECT_EQ(ColourAt(png, 5, 3), Pixel32::FromValue(0xFFC01010));
}

TEST(Folvthumb, AlphaIsKept) {
    FOLV_REQUIRE_PROGRAM("convert");
    TempDir dir;
    ASSERT_TRUE(folv::testing::RunTool("convert -size 8x4 xc:'rgba(10,20,30,0.5)' PNG32:" +
                                       Quote(dir / "half.png")));
    ASSERT_TRUE(
        folv::testing::RunTool("convert -size 8x4 xc:red -fill none -draw 'point 1,1' "
                               "-transparent red " +
                               Quote(dir / "hole.gif")));
    for (const char* name : {"half.png", "hole.gif"}) {
        const Result r = RunThumb(dir, Quote(dir / name) + " " + Quote(dir / "o.png"));
        ASSERT_EQ(r.exitCode, 0) << name << r.err;
        CWinBmpEx png;
        ReadPng(dir / "o.png", png);
        EXPECT_TRUE(png.HasAlpha()) << name;
        EXPECT_LT(ColourAt(png, 0, 0).alpha, 255) << name;
    }
}

TEST(Folvthumb, FailuresExitWithTheCodeOnStderr) {
    TempDir dir;
    std::ofstream(dir / "notes.txt") << "just words\n";
    std::ofstream(dir / "cut.bmp", std::ios::binary) << "BM\x10\0\0";
    struct Case {
        std::string arguments;
        std::string err;
    };
    const std::vector<Case> cases = {
        {Quote(dir / "notes.txt") + " " + Quote(dir / "o.png"),
         "8 Decoder error: Unknown file type.\n"},
        {Quote(dir / "missing.bmp") + " " + Quote(dir / "o.png"),
         "4 Decoder error: Opening " + (dir / "missing.bmp").string() + " failed\n"},
        {Quote(dir / "cut.bmp") + " " + Quote(dir / "o.png"),
         "11 End of file reached while decoding.\n"},
    };
    for (const Case& c : cases) {
        const Result r = RunThumb(dir, c.arguments);
        EXPECT_EQ(r.exitCode, 1) << c.arguments;
        EXPECT_EQ(r.err, c.err) << c.arguments;
    }
    for (const char* bad : {"", "--size 10 a b", "--size 0x5 a b", "one", "--bogus a b"}) {
        const Result r = RunThumb(dir, bad);
        EXPECT_EQ(r.exitCode, 1) << bad;
        EXPECT_NE(r.err.find("usage: folvthumb"), std::string::npos) << bad;
    }
}

TEST(Folvthumb, ThumbnailerEntryCallsTheTool) {
    const std::string entry = ReadAll(FOLVTHUMB_ENTRY);
    EXPECT_EQ(entry.rfind("[Thumbnailer Entry]\n", 0), 0u);
    EXPECT_NE(entry.find("\nTryExec=folvthumb\n"), std::string::npos);
    EXPECT_NE(entry.find("\nExec=folvthumb --size %sx%s %i %o\n"), std::string::npos);
    for (const char* type : {"image/vnd.dwg;", "application/acad;", "image/png;", "image/tiff;"})
        EXPECT_NE(entry.find(type), std::string::npos) << type;
}

}  // namespace
