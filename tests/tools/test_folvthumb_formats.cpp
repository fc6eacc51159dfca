// folvthumb reads every format of the TGA, PGM, PPM, PCX, PSD, PICT and metafile decoders:
// one file of each, written by ImageMagick (or by hand for metafiles), through the tool.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/any_pic_decoder.h"
#include "imaging/bitmap.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"
#include "tests/imaging/tool_paths.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using folv::testing::ColourAt;
using folv::testing::Quote;
using folv::testing::RunTool;
using folv::testing::TempDir;

// Runs folvthumb --info; the exit code, and what it printed in `info`.
int Thumb(const TempDir& dir, const std::filesystem::path& input, std::string& info) {
    const auto out = dir / "info.txt";
    const std::string command = Quote(FOLVTHUMB_PATH) + " --info " + Quote(input) + " " +
                                Quote(dir / "out.png") + " > " + Quote(out) + " 2>&1";
    const int status = std::system(command.c_str());
    const Bytes text = folv::testing::ReadFileBytes(out);
    info.assign(text.begin(), text.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Pixel32 OutputPixel(const TempDir& dir, int x, int y) {
    CWinBmpEx png;
    PLAnyPicDecoder decoder;
    decoder.DecodeFile((dir / "out.png").c_str(), png, 0, nullptr);
    return ColourAt(png, x, y);
}

void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

struct Format {
    const char* name;
    const char* options;  // ImageMagick's, before the output file
    const char* info;     // what --info prints
};

class FolvthumbFormats : public ::testing::TestWithParam<Format> {};

TEST_P(FolvthumbFormats, ReadsTheFile) {
    const Format& f = GetParam();
    FOLV_REQUIRE_IMAGEMAGICK(magick);
    TempDir dir;
    // 20 x 10: red on the left, blue on the right.
    const auto file = dir / (std::string("picture.") + f.name);
    const std::string command = magick + " -size 10x10 xc:#C01010 xc:#1010C0 +append " + f.options +
                                " -depth 8 " + Quote(file);
    ASSERT_TRUE(RunTool(command)) << command;
    std::string info;
    ASSERT_EQ(Thumb(dir, file, info), 0) << info;
    EXPECT_EQ(info, f.info);
    const Pixel32 left = OutputPixel(dir, 2, 5);
    const Pixel32 right = OutputPixel(dir, 17, 5);
    EXPECT_EQ((std::array<int, 3>{left.red, left.green, left.blue}),
              (std::array<int, 3>{0xC0, 0x10, 0x10}));
    EXPECT_EQ((std::array<int, 3>{right.red, right.green, right.blue}),
              (std::array<int, 3>{0x10, 0x10, 0xC0}));
}

INSTANTIATE_TEST_SUITE_P(Files, FolvthumbFormats,
                         ::testing::Values(Format{"tga", "-type Palette", "20 10 8 0 0 0 0\n"},
                                           Format{"ppm", "", "20 10 32 0 0 0 0\n"},
                                           Format{"pcx", "-type TrueColor", "20 10 32 0 0 0 0\n"},
                                           Format{"psd", "-type TrueColor", "20 10 32 0 0 0 0\n"},
                                           Format{"pict", "-type TrueColor", "20 10 32 0 0 0 0\n"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(FolvthumbGrey, ReadsAGraymap) {
    FOLV_REQUIRE_IMAGEMAGICK(magick);
    TempDir dir;
    const auto file = dir / "grey.pgm";
    ASSERT_TRUE(RunTool(magick + " -size 20x10 xc:#808080 " + Quote(file)));
    std::string info;
    ASSERT_EQ(Thumb(dir, file, info), 0) << info;
    EXPECT_EQ(info, "20 10 8 0 1 0 0\n");
    EXPECT_EQ(OutputPixel(dir, 3, 3).green, 0x80);
}

TEST(FolvthumbMetafiles, DrawsWindowsAndEnhancedMetafiles) {
    TempDir dir;
    // A placeable WMF, one inch by half an inch, filled red.
    Bytes body;
    for (const std::vector<std::uint16_t>& r :
         {std::vector<std::uint16_t>{0x020B, 0, 0}, std::vector<std::uint16_t>{0x020C, 720, 1440},
          std::vector<std::uint16_t>{0x02FC, 0, 0x00FF, 0, 0},
          std::vector<std::uint16_t>{0x012D, 0},
          std::vector<std::uint16_t>{0x041B, 720, 1440, 0, 0}, std::vector<std::uint16_t>{0}}) {
        Put32(body, static_cast<std::uint32_t>(2 + r.size()));
        for (std::uint16_t w : r)
            Put16(body, w);
    }
    Bytes wmf;
    Put32(wmf, 0x9AC6CDD7);
    for (std::uint32_t v : {0u, 0u, 0u, 1440u, 720u, 1440u, 0u, 0u})
        Put16(wmf, v);
    std::uint16_t checksum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        checksum ^= static_cast<std::uint16_t>(wmf[i] | wmf[i + 1] << 8);
    Put16(wmf, checksum);
    for (std::uint32_t v : {1u, 9u, 0x300u})
        Put16(wmf, v);
    Put32(wmf, static_cast<std::uint32_t>(9 + body.size() / 2));
    Put16(wmf, 1);
    Put32(wmf, 8);
    Put16(wmf, 0);
    wmf.insert(wmf.end(), body.begin(), body.end());
    folv::testing::WriteFileBytes(dir / "plan.wmf", wmf);
    std::string info;
    ASSERT_EQ(Thumb(dir, dir / "plan.wmf", info), 0) << info;
    EXPECT_EQ(info, "96 48 32 1 0 0 0\n");
    EXPECT_EQ(OutputPixel(dir, 48, 24), (Pixel32{0, 0, 255, 255}));

    // An EMF whose frame is a quarter inch square, a red square in its top left and a line of
    // text, which a program without a GUI application draws without the text.
    Bytes records;
    for (const std::vector<std::uint32_t>& r :
         {std::vector<std::uint32_t>{39, 24, 1, 0, 0x000000FF, 0},
          std::vector<std::uint32_t>{37, 12, 1}, std::vector<std::uint32_t>{43, 24, 0, 0, 12, 12},
          std::vector<std::uint32_t>{84, 80, 0,  0, 0, 0, 1, 0, 0, 14,
                                     14, 2,  76, 0, 0, 0, 0, 0, 0, 'H' | 'i' << 16},
          std::vector<std::uint32_t>{14, 20, 0, 16, 20}}) {
        for (std::uint32_t w : r)
            Put32(records, w);
    }
    Bytes emf;
    for (std::uint32_t v : {1u, 88u, 0u, 0u, 24u, 24u, 0u, 0u, 635u, 635u, 0x464D4520u, 0x10000u})
        Put32(emf, v);
    Put32(emf, static_cast<std::uint32_t>(88 + records.size()));
    Put32(emf, 6);
    Put32(emf, 2);
    for (std::uint32_t v : {0u, 0u, 0u, 1920u, 1080u, 508u, 286u})
        Put32(emf, v);
    emf.insert(emf.end(), records.begin(), records.end());
    folv::testing::WriteFileBytes(dir / "plan.emf", emf);
    ASSERT_EQ(Thumb(dir, dir / "plan.emf", info), 0) << info;
    EXPECT_EQ(info, "24 23 32 1 0 0 0\n");
    EXPECT_EQ(OutputPixel(dir, 4, 4), (Pixel32{0, 0, 255, 255}));
    EXPECT_EQ(OutputPixel(dir, 20, 20), (Pixel32{255, 255, 255, 255}));
}

}  // namespace
