#include <gtest/gtest.h>

#include <QtGui/QGuiApplication>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/any_pic_decoder.h"
#include "imaging/svg_rasterizer.h"
#include "imaging/text_exception.h"
#include "imaging/wemf_decoder.h"
#include "tests/imaging/support/bitmap_checks.h"
#include "tests/imaging/support/external_images.h"

using folv::testing::TempDir;
using folv::testing::WriteFileBytes;

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

// A Windows metafile record: size in words, function, 16-bit parameters.
void Record(Bytes& b, std::uint16_t function, std::vector<std::int16_t> params) {
    Put32(b, static_cast<std::uint32_t>(3 + params.size()));
    Put16(b, function);
    for (std::int16_t p : params)
        Put16(b, static_cast<std::uint16_t>(p));
}

struct Box {
    std::int16_t left, top, right, bottom;
};

// A metafile that fills the rectangle `red` (logical units) with red, in a window of `window`;
// `extra` records are drawn after it.
Bytes Wmf(const Box* placeable, std::uint16_t unitsPerInch, Box window, Box red,
          const Bytes& extra = {}) {
    Bytes body;
    Record(body, 0x020B, {window.top, window.left});  // SetWindowOrg
    Record(body, 0x020C,
           {static_cast<std::int16_t>(window.bottom - window.top),
            static_cast<std::int16_t>(window.right - window.left)});
    Put32(body, 7);  // CreateBrushIndirect: solid, red
    Put16(body, 0x02FC);
    Put16(body, 0);
    Put32(body, 0x000000FF);
    Put16(body, 0);
    Record(body, 0x012D, {0});                                         // SelectObject
    Record(body, 0x041B, {red.bottom, red.right, red.top, red.left});  // Rectangle
    body.insert(body.end(), extra.begin(), extra.end());
    Record(body, 0x0000, {});
    Bytes b;
    if (placeable) {
        Put32(b, 0x9AC6CDD7);
        Put16(b, 0);
        for (std::int16_t v :
             {placeable->left, placeable->top, placeable->right, placeable->bottom})
            Put16(b, static_cast<std::uint16_t>(v));
        Put16(b, unitsPerInch);
        Put32(b, 0);
        std::uint16_t checksum = 0;
        for (std::size_t i = 0; i < 20; i += 2)
            checksum ^= static_cast<std::uint16_t>(b[i] | b[i + 1] << 8);
        Put16(b, checksum);
    }
    Put16(b, 1);
    Put16(b, 9);
    Put16(b, 0x300);
    Put32(b, static_cast<std::uint32_t>(9 + body.size() / 2));
    Put16(b, 1);
    Put32(b, 7);
    Put16(b, 0);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// An enhanced metafile: a red rectangle (device pixels), optionally a line of text.
Bytes Emf(const std::int32_t frame[4], const std::int32_t red[4], bool text = false) {
    Bytes records;
    auto rec = [&records](std::uint32_t type, const std::vector<std::uint32_t>& words) {
        Put32(records, type);
        Put32(records, static_cast<std::uint32_t>(8 + 4 * words.size()));
        for (std::uint32_t w : words)
            Put32(records, w);
    };
    rec(39, {1, 0, 0x000000FF, 0});  // CREATEBRUSHINDIRECT: solid red
    rec(37, {1});                    // SELECTOBJECT
    rec(43, {static_cast<std::uint32_t>(red[0]), static_cast<std::uint32_t>(red[1]),
             static_cast<std::uint32_t>(red[2]), static_cast<std::uint32_t>(red[3])});
    if (text) {
        // EXTTEXTOUTW of "Hi" at (60, 10).
        std::vector<std::uint32_t> w = {0, 0, 0, 0, 1, 0, 0, 60, 10, 2, 76, 0, 0, 0, 0, 0, 0};
        w.push_back('H' | 'i' << 16);
        rec(84, w);
    }
    rec(14, {0, 16, 20});  // EOF
    Bytes b;
    Put32(b, 1);
    Put32(b, 88);
    for (std::int32_t v : {0, 0, 96, 48})
        Put32(b, static_cast<std::uint32_t>(v));
    for (int i = 0; i < 4; ++i)
        Put32(b, static_cast<std::uint32_t>(frame[i]));
    Put32(b, 0x464D4520);
    Put32(b, 0x10000);
    Put32(b, static_cast<std::uint32_t>(88 + records.size()));
    Put32(b, text ? 6 : 5);
    Put16(b, 2);
    Put16(b, 0);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 0);  // palette entries
    for (std::int32_t v : {1920, 1080, 508, 286})
        Put32(b, static_cast<std::uint32_t>(v));
    b.insert(b.end(), records.begin(), records.end());
    return b;
}

class WemfDecoder : public ::testing::Test {
  protected:
    // Decodes `bytes` from a file of this name through the front end; returns the error code.
    int Decode(const std::string& name, const Bytes& bytes) {
        const auto path = dir / name;
        WriteFileBytes(path, bytes);
        try {
            decoder.DecodeFile(path.c_str(), bmp);
        } catch (const PLTextException& e) {
            return e.GetCode();
        }
        return 0;
    }
    bool IsRed(int x, int y) const { return bmp.GetPixel(x, y) == (Pixel32{0, 0, 255, 255}); }
    bool IsWhite(int x, int y) const { return bmp.GetPixel(x, y) == (Pixel32{255, 255, 255, 255}); }

    TempDir dir;
    PLAnyPicDecoder decoder;
    CWinBmpEx bmp;
};

TEST_F(WemfDecoder, PlaceableMetafilesAreSizedByTheirBox) {
    // 1440 units per inch, 1440 x 720: one inch by half an inch at 96 pixels per inch.
    const Box box{0, 0, 1440, 720};
    ASSERT_EQ(Decode("plan.wmf", Wmf(&box, 1440, box, {0, 0, 720, 720})), 0);
    EXPECT_EQ(decoder.GetFileType(), PLFileType::Wmf);
    ASSERT_EQ(bmp.GetWidth(), 96);
    ASSERT_EQ(bmp.GetHeight(), 48);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 32);
    EXPECT_TRUE(IsRed(10, 24));
    EXPECT_TRUE(IsRed(40, 40));
    EXPECT_TRUE(IsWhite(60, 24));  // what the metafile does not draw is white
    EXPECT_TRUE(IsWhite(95, 0));

    // The box need not start at 0; the picture starts at the box.
    const Box moved{100, 200, 1540, 920};
    ASSERT_EQ(Decode("moved.WMF", Wmf(&moved, 1440, moved, {100, 200, 820, 920})), 0);
    EXPECT_EQ(bmp.GetWidth(), 96);
    EXPECT_TRUE(IsRed(10, 24));
    EXPECT_TRUE(IsWhite(60, 24));
}

TEST_F(WemfDecoder, PolygonsAndTextAreDrawn) {
    Bytes extra;
    Record(extra, 0x0324, {3, 800, 0, 1400, 0, 1100, 700});  // Polygon: a red triangle
    Record(extra, 0x0521, {2, 'H' | 'i' << 8, 600, 800});    // TextOut "Hi"
    const Box box{0, 0, 1440, 720};
    ASSERT_EQ(Decode("shapes.wmf", Wmf(&box, 1440, box, {0, 0, 100, 100}, extra)), 0);
    EXPECT_TRUE(IsRed(73, 5));
    EXPECT_TRUE(IsWhite(55, 40));
}

TEST_F(WemfDecoder, PlainMetafilesTakeTheirDrawingsExtent) {
    const Box window{0, 0, 720, 360};
    ASSERT_EQ(Decode("plain.wmf", Wmf(nullptr, 0, window, {0, 0, 720, 360})), 0);
    EXPECT_GT(bmp.GetWidth(), 100);
    EXPECT_NEAR(static_cast<double>(bmp.GetWidth()) / bmp.GetHeight(), 2.0, 0.05);
    EXPECT_TRUE(IsRed(bmp.GetWidth() / 2, bmp.GetHeight() / 2));

    // No units per inch: the default size.
    const Box box{0, 0, 1440, 720};
    ASSERT_EQ(Decode("nounits.wmf", Wmf(&box, 0, box, {0, 0, 720, 720})), 0);
    EXPECT_EQ(bmp.GetWidth(), 320);
    EXPECT_EQ(bmp.GetHeight(), 200);
}

TEST_F(WemfDecoder, EnhancedMetafilesAreSizedByTheirFrame) {
    // A frame of 25.4 x 12.7 mm on a reference device of 1920 x 1080 pixels, 508 x 286 mm.
    const std::int32_t frame[4] = {0, 0, 2540, 1270};
    const std::int32_t red[4] = {0, 0, 48, 47};
    ASSERT_EQ(Decode("drawing.emf", Emf(frame, red)), 0);
    EXPECT_EQ(decoder.GetFileType(), PLFileType::Emf);
    ASSERT_EQ(bmp.GetWidth(), 96);
    ASSERT_EQ(bmp.GetHeight(), 47);
    EXPECT_TRUE(IsRed(20, 20));
    EXPECT_TRUE(IsWhite(80, 20));

    const std::int32_t empty[4] = {0, 0, 0, 0};
    ASSERT_EQ(Decode("empty.emf", Emf(empty, red)), 0);
    EXPECT_EQ(bmp.GetWidth(), 320);
    EXPECT_EQ(bmp.GetHeight(), 200);
}

TEST_F(WemfDecoder, TextIsDrawnThroughQt) {
    const std::int32_t frame[4] = {0, 0, 2540, 1270};
    const std::int32_t red[4] = {0, 0, 10, 10};
    ASSERT_EQ(Decode("text.emf", Emf(frame, red, true)), 0);
    int dark = 0;
    for (int y = 0; y < bmp.GetHeight(); ++y) {
        for (int x = 40; x < bmp.GetWidth(); ++x)
            dark += bmp.GetPixel(x, y).green < 128;
    }
    EXPECT_GT(dark, 5) << "no text drawn";
}

TEST_F(WemfDecoder, TheNameDecides) {
    // A WMF named .emf is taken for an enhanced metafile and refused; a PNG-looking name with
    // .WMF in it still goes to the metafile decoder.
    const Box box{0, 0, 1440, 720};
    const Bytes wmf = Wmf(&box, 1440, box, {0, 0, 720, 720});
    EXPECT_EQ(Decode("DRAWING.emf", wmf), 6);
    EXPECT_EQ(Decode("PLAN.WMF.png", wmf), 0);
    EXPECT_EQ(decoder.GetFileType(), PLFileType::Wmf);
}

TEST_F(WemfDecoder, WithoutARasterizerEnhancedMetafilesAreNotCompiledIn) {
    PLSvgRasterizer* installed = PLSetSvgRasterizer(nullptr);
    const std::int32_t frame[4] = {0, 0, 2540, 1270};
    const std::int32_t red[4] = {0, 0, 10, 10};
    const int code = Decode("drawing.emf", Emf(frame, red));
    PLSetSvgRasterizer(installed);
    EXPECT_EQ(code, 12);
}

TEST_F(WemfDecoder, DamagedMetafilesFailCleanly) {
    const Box box{0, 0, 1440, 720};
    Bytes wmf = Wmf(&box, 1440, box, {0, 0, 720, 720});
    Bytes longRecord = wmf;
    longRecord[22 + 18] = 0xFF;  // the first record claims more words than the file has
    EXPECT_EQ(Decode("long.wmf", longRecord), 6);
    EXPECT_EQ(Decode("text.wmf", Bytes{'h', 'e', 'l', 'l', 'o'}), 6);

    const std::int32_t frame[4] = {0, 0, 2540, 1270};
    const std::int32_t red[4] = {0, 0, 10, 10};
    const Bytes emf = Emf(frame, red);
    for (std::size_t cut = 1; cut < wmf.size(); cut += 3) {
        const int code = Decode("cut.wmf", Bytes(wmf.begin(), wmf.begin() + cut));
        EXPECT_TRUE(code == 0 || code == 6) << "WMF cut at " << cut << ": " << code;
    }
    for (std::size_t cut = 1; cut < emf.size(); cut += 3) {
        const int code = Decode("cut.emf", Bytes(emf.begin(), emf.begin() + cut));
        EXPECT_EQ(code, 6) << "EMF cut at " << cut;
    }
}

TEST_F(WemfDecoder, EnhancedMetafileWrittenByFig2dev) {
    if (!folv::testing::HaveProgram("fig2dev"))
        GTEST_SKIP() << "fig2dev is not installed; this test needs it to write its fixture";
    // Two filled boxes (1200 units an inch): red 1 x 0.5 inches, blue 1 x 1 inch beside it,
    // and a line of text under the red one.
    const std::string fig =
        "#FIG 3.2\nLandscape\nCenter\nInches\nLetter\n100.00\nSingle\n-2\n1200 2\n"
        "2 2 0 1 0 4 50 -1 20 0.000 0 0 -1 0 0 5\n 0 0 1200 0 1200 600 0 600 0 0\n"
        "2 2 0 1 0 1 50 -1 20 0.000 0 0 -1 0 0 5\n 1200 0 2400 0 2400 1200 1200 1200 1200 0\n"
        "4 0 0 50 -1 0 24 0.0000 4 255 600 150 1100 Hi\\001\n";
    WriteFileBytes(dir / "boxes.fig", Bytes(fig.begin(), fig.end()));
    ASSERT_TRUE(folv::testing::RunTool("fig2dev -L emf " + folv::testing::Quote(dir / "boxes.fig") +
                                       " " + folv::testing::Quote(dir / "boxes.emf")));
    const Bytes emf = folv::testing::ReadFileBytes(dir / "boxes.emf");
    ASSERT_GE(emf.size(), 88u);
    ASSERT_EQ(Decode("boxes.emf", emf), 0);

    // The size follows from the frame and the reference device the header names.
    auto at = [&emf](std::size_t offset) {
        return static_cast<std::int32_t>(emf[offset] | emf[offset + 1] << 8 |
                                         emf[offset + 2] << 16 |
                                         static_cast<std::uint32_t>(emf[offset + 3]) << 24);
    };
    const std::int64_t frameWidth = std::int64_t{at(32)} - at(24);
    const std::int64_t frameHeight = std::int64_t{at(36)} - at(28);
    const std::int64_t w = frameWidth * at(72) / (std::int64_t{at(80)} * 100);
    const std::int64_t h = frameHeight * at(76) / (std::int64_t{at(84)} * 100);
    const std::int64_t longer = std::max(w, h);
    const std::int64_t scale = std::max<std::int64_t>(longer, PLWEMFDecoder::kMaxSide);
    EXPECT_EQ(bmp.GetWidth(), w * PLWEMFDecoder::kMaxSide / scale);
    EXPECT_EQ(bmp.GetHeight(), h * PLWEMFDecoder::kMaxSide / scale);

    // A point given in hundredths of a millimetre from the drawing's origin.
    auto pixel = [&](double x, double y) {
        return bmp.GetPixel(static_cast<int>((x - at(24)) / frameWidth * bmp.GetWidth()),
                            static_cast<int>((y - at(28)) / frameHeight * bmp.GetHeight()));
    };
    const Pixel32 red = pixel(1270, 635);
    const Pixel32 blue = pixel(3810, 1270);
    EXPECT_GT(red.red, 200);
    EXPECT_LT(red.blue, 60);
    EXPECT_GT(blue.blue, 200);
    EXPECT_LT(blue.red, 60);
    EXPECT_EQ(pixel(2200, 1800), (Pixel32{255, 255, 255, 255})) << "beside the text: white";
    int dark = 0;
    for (double y = 1500; y < 2330; y += 10) {
        for (double x = 320; x < 1160; x += 10)
            dark += pixel(x, y).green < 100;
    }
    EXPECT_GT(dark, 50) << "no text drawn";
}

// Enhanced metafiles with text need Qt's font database, so the tests run in a GUI application.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (!std::getenv("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { app.reset(); }

  private:
    int argc = 1;
    char name[16] = "test";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QGuiApplication> app;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
