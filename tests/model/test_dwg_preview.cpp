#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "model/dwg_preview.h"
#include "tests/model/test_dwg_support.h"
#include "tools/fixtures/dib.h"
#include "tools/fixtures/dwg.h"

namespace folv {
namespace {

namespace fx = folv::fixtures;
using folv::testing::IsUntouched;
using folv::testing::ScratchFolder;
using folv::testing::SmallPicture;

fx::DwgSpec DrawingSpec(const fx::DibImage& image) {
    fx::DwgSpec drawing;
    drawing.signature = "AC1015";
    drawing.records = {fx::HeaderRecord(), fx::BmpRecord(image), fx::MetafileRecord()};
    return drawing;
}

std::vector<std::uint8_t> Read(const std::u16string& path, bool* ok = nullptr,
                               BuildKind build = BuildKind::Library) {
    std::vector<std::uint8_t> buffer = {0xEE};
    const bool result = CDwgPreview(build).ReadPreviewBitmap(path, buffer);
    if (ok != nullptr)
        *ok = result;
    if (!result) {
        EXPECT_TRUE(buffer.empty()) << "a failed read must leave no buffer";
    }
    return buffer;
}

class ReadPreviewBitmap : public ::testing::Test {
  protected:
    ScratchFolder folder;
    fx::DibImage image = SmallPicture();
    std::vector<std::uint8_t> record = fx::PackDib(image);
};

TEST_F(ReadPreviewBitmap, TakesTheBmpRecordBetweenHeaderAndMetafile) {
    bool ok = false;
    const auto buffer = Read(folder.Write("a.dwg", fx::BuildDwg(DrawingSpec(image))), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(buffer, record);
}

TEST_F(ReadPreviewBitmap, TakesTheFirstOfTwoBmpRecords) {
    fx::DwgSpec drawing = DrawingSpec(image);
    drawing.records.push_back(fx::BmpRecord(fx::SolidImage(4, 4, 1, 1, fx::DrawingPalette(1))));
    EXPECT_EQ(Read(folder.Write("two.dwg", fx::BuildDwg(drawing))), record);

    std::swap(drawing.records[1], drawing.records[3]);
    EXPECT_NE(Read(folder.Write("two.dwg", fx::BuildDwg(drawing))), record);
}

TEST_F(ReadPreviewBitmap, RefusesDrawingsWithoutAPreviewOfTheirBuild) {
    struct Case {
        const char* label;
        std::string signature;
        bool library;
        bool plugin;
    };
    const Case cases[] = {
        {"release 14", "AC1014", true, true},
        {"release 2007", "AC1021", true, true},
        {"before release 14", "AC1013", false, false},
        {"release 12", "AC1009", false, false},
        {"2010, plug-in build only", "AC1024", false, true},
        {"unknown", "XX1015", false, false},
    };
    for (const Case& c : cases) {
        fx::DwgSpec drawing = DrawingSpec(image);
        drawing.signature = c.signature;
        const auto path = folder.Write("v.dwg", fx::BuildDwg(drawing));
        bool ok = false;
        Read(path, &ok, BuildKind::Library);
        EXPECT_EQ(ok, c.library) << c.label;
        Read(path, &ok, BuildKind::Plugin);
        EXPECT_EQ(ok, c.plugin) << c.label;
    }
}

TEST_F(ReadPreviewBitmap, RefusesADirectoryWithoutBmpRecord) {
    for (auto records : {std::vector<fx::DwgRecord>{},
                         std::vector<fx::DwgRecord>{fx::HeaderRecord(), fx::MetafileRecord()}}) {
        fx::DwgSpec drawing = DrawingSpec(image);
        drawing.records = records;
        bool ok = true;
        Read(folder.Write("none.dwg", fx::BuildDwg(drawing)), &ok);
        EXPECT_FALSE(ok) << records.size() << " records";
    }
    fx::DwgSpec withoutArea = DrawingSpec(image);
    withoutArea.imageData = false;
    bool ok = true;
    Read(folder.Write("noarea.dwg", fx::BuildDwg(withoutArea)), &ok);
    EXPECT_FALSE(ok);
}

TEST_F(ReadPreviewBitmap, RefusesAnySentinelByteOff) {
    for (int i = 0; i < 16; ++i) {
        for (bool end : {false, true}) {
            fx::DwgSpec drawing = DrawingSpec(image);
            (end ? drawing.endSentinelByte : drawing.startSentinelByte) = i;
            bool ok = true;
            Read(folder.Write("s.dwg", fx::BuildDwg(drawing)), &ok);
            EXPECT_FALSE(ok) << (end ? "end" : "start") << " sentinel byte " << i;
        }
    }
}

TEST_F(ReadPreviewBitmap, RefusesBadAddressesSizesAndCounts) {
    fx::DwgLayout layout;
    fx::BuildDwg(DrawingSpec(image), &layout);
    const auto fileSize = static_cast<std::int32_t>(layout.fileSize);
    const auto area = static_cast<std::int32_t>(layout.areaOffset);
    const auto trueSize = static_cast<std::int32_t>(layout.endSentinelOffset - area - 20);

    struct Case {
        const char* label;
        std::optional<std::int32_t> address;
        std::optional<std::int32_t> overallSize;
        std::optional<std::uint8_t> count;
    };
    const Case cases[] = {
        {"negative address", -1, {}, {}},
        {"most negative address", INT32_MIN, {}, {}},
        {"address past the end", fileSize + 100, {}, {}},
        {"address at the end", fileSize, {}, {}},
        {"sentinel cut by the end", fileSize - 15, {}, {}},
        {"address one off", area + 1, {}, {}},
        {"huge address", INT32_MAX, {}, {}},
        {"address zero", 0, {}, {}},
        {"negative overall size", {}, -20, {}},
        {"most negative overall size", {}, INT32_MIN, {}},
        {"overall size past the end", {}, INT32_MAX, {}},
        {"overall size one short", {}, trueSize - 1, {}},
        {"overall size one long", {}, trueSize + 1, {}},
        {"overall size zero", {}, 0, {}},
        {"count past the end of the file", {}, {}, 255},
    };
    for (const Case& c : cases) {
        fx::DwgSpec drawing = DrawingSpec(image);
        drawing.address = c.address;
        drawing.overallSize = c.overallSize;
        drawing.recordCount = c.count;
        bool ok = true;
        Read(folder.Write("bad.dwg", fx::BuildDwg(drawing)), &ok);
        EXPECT_FALSE(ok) << c.label;
    }
}

TEST_F(ReadPreviewBitmap, RefusesRecordsOutsideTheFile) {
    fx::DwgLayout layout;
    fx::BuildDwg(DrawingSpec(image), &layout);
    const auto fileSize = static_cast<std::int32_t>(layout.fileSize);
    const auto start = static_cast<std::int32_t>(layout.recordOffsets[1]);
    const auto size = static_cast<std::uint32_t>(record.size());

    struct Case {
        const char* label;
        std::optional<std::int32_t> start;
        std::optional<std::uint32_t> size;
        bool ok;
    };
    const Case cases[] = {
        {"ends one byte past the end", {}, static_cast<std::uint32_t>(fileSize - start + 1), false},
        {"ends at the end", {}, static_cast<std::uint32_t>(fileSize - start), true},
        {"huge size", {}, UINT32_MAX, false},
        {"size with the sign bit", {}, 0x80000000u, false},
        {"empty record", {}, 0, false},
        {"negative start", -1, {}, false},
        {"most negative start", INT32_MIN, {}, false},
        {"starts past the end", fileSize + 1, {}, false},
        {"starts at the end", fileSize, size, false},
    };
    for (const Case& c : cases) {
        fx::DwgSpec drawing = DrawingSpec(image);
        drawing.records[1].start = c.start;
        drawing.records[1].size = c.size;
        bool ok = !c.ok;
        const auto buffer = Read(folder.Write("rec.dwg", fx::BuildDwg(drawing)), &ok);
        EXPECT_EQ(ok, c.ok) << c.label;
        if (c.ok) {
            EXPECT_EQ(buffer.size(), *c.size) << c.label;
        }
    }
}

TEST_F(ReadPreviewBitmap, RefusesARecordTooLargeForAnyPreview) {
    // A sound picture at the head of a record that claims far more: such a record is not
    // read whole, however much of the file it covers.
    for (const std::uint64_t size : {kMaxPreviewRecordBytes, kMaxPreviewRecordBytes + 1}) {
        fx::DwgSpec drawing = DrawingSpec(image);
        drawing.records[1].data.resize(static_cast<std::size_t>(size));
        bool ok = false;
        const auto buffer = Read(folder.Write("big.dwg", fx::BuildDwg(drawing)), &ok);
        EXPECT_EQ(ok, size == kMaxPreviewRecordBytes) << size;
        EXPECT_EQ(buffer.size(), ok ? size : 0u);
    }
}

TEST_F(ReadPreviewBitmap, FailsCleanlyForADrawingCutAtAnyByte) {
    fx::DwgLayout layout;
    const std::vector<std::uint8_t> full = fx::BuildDwg(DrawingSpec(image), &layout);
    const std::size_t needed = layout.endSentinelOffset + 16;
    for (std::size_t length = 0; length < full.size(); ++length) {
        const auto path =
            folder.Write("cut.dwg", std::span<const std::uint8_t>(full.data(), length));
        bool ok = false;
        const auto buffer = Read(path, &ok);
        ASSERT_EQ(ok, length >= needed) << "cut at " << length;
        if (ok) {
            ASSERT_EQ(buffer, record);
        }
        CWinBmpEx bitmap;
        ASSERT_EQ(LoadDwgPreview(path, bitmap), length >= needed) << "cut at " << length;
    }
}

TEST(InvertBlackAndWhite, ExchangesPureBlackAndWhiteOnly) {
    fx::DibImage image = fx::SolidImage(2, 2, 8, 0, fx::DrawingPalette(8));
    image.palette[0] = {255, 255, 255, 9};
    image.palette[7] = {0, 0, 0, 0};
    image.palette[1] = {1, 0, 0, 0};
    image.palette[2] = {255, 255, 254, 0};
    std::vector<std::uint8_t> dib = fx::PackDib(image);
    CDwgPreview::InvertBlackAndWhite(dib, 0);
    auto entry = [&](std::size_t i) {
        const std::uint8_t* p = dib.data() + 40 + i * 4;
        return fx::PaletteEntry{p[0], p[1], p[2], p[3]};
    };
    EXPECT_EQ(entry(0), (fx::PaletteEntry{0, 0, 0, 9})) << "reserved byte is kept";
    EXPECT_EQ(entry(7), (fx::PaletteEntry{255, 255, 255, 0}));
    EXPECT_EQ(entry(1), (fx::PaletteEntry{1, 0, 0, 0}));
    EXPECT_EQ(entry(2), (fx::PaletteEntry{255, 255, 254, 0}));
    EXPECT_EQ(entry(255), (fx::PaletteEntry{0, 0, 0, 0})) << "the grey ramp ends in white";
}

TEST(InvertBlackAndWhite, TurnsWhiteIntoAnotherColourAndBlackIntoItsComplement) {
    fx::DibImage image = fx::SolidImage(1, 1, 1, 0, fx::DrawingPalette(1));
    std::vector<std::uint8_t> dib = fx::PackDib(image);
    CDwgPreview::InvertBlackAndWhite(dib, 0x00302010);  // red 0x10, green 0x20, blue 0x30
    const std::uint8_t* p = dib.data() + 40;
    EXPECT_EQ((std::vector<std::uint8_t>(p, p + 8)),
              (std::vector<std::uint8_t>{0xCF, 0xDF, 0xEF, 0, 0x30, 0x20, 0x10, 0}));
}

TEST(InvertBlackAndWhite, LeavesPicturesWithoutAWholePaletteAlone) {
    CDwgPreview::InvertBlackAndWhite({}, 0);
    std::vector<std::uint8_t> truecolour = fx::PackDib(fx::SolidImage(2, 2, 24, 0, {}));
    std::vector<std::uint8_t> cut = fx::PackDib(fx::SolidImage(2, 2, 8, 0, {}));
    cut.resize(40 + 255 * 4);
    std::vector<std::uint8_t> header = cut;
    header.resize(39);
    for (std::vector<std::uint8_t>* dib : {&truecolour, &cut, &header}) {
        const std::vector<std::uint8_t> before = *dib;
        CDwgPreview::InvertBlackAndWhite(*dib, 0);
        EXPECT_EQ(*dib, before);
    }
}

class LoadDwgPreviewTest : public ::testing::Test {
  protected:
    ScratchFolder folder;
    std::u16string WriteDrawing(const fx::DibImage& image) {
        return folder.Write("p.dwg", fx::BuildDwg(DrawingSpec(image)));
    }
    std::u16string WriteDrawing(const std::vector<std::uint8_t>& dib) {
        fx::DwgSpec drawing = DrawingSpec(SmallPicture());
        drawing.records[1].data = dib;
        return folder.Write("p.dwg", fx::BuildDwg(drawing));
    }
};

TEST_F(LoadDwgPreviewTest, CopiesEveryRowOfAnEightBitPreview) {
    const fx::DibImage image = SmallPicture();
    const std::vector<std::uint8_t> dib = fx::PackDib(image);
    CWinBmpEx bitmap;
    ASSERT_TRUE(LoadDwgPreview(WriteDrawing(image), bitmap));
    EXPECT_EQ(bitmap.GetWidth(), 10);
    EXPECT_EQ(bitmap.GetHeight(), 3);
    EXPECT_EQ(bitmap.GetBitsPerPixel(), 8);
    EXPECT_EQ(bitmap.GetBytesPerLine(), 12u);
    EXPECT_EQ(0, std::memcmp(bitmap.GetBits(), dib.data() + 40 + 1024, 36));
    // Row 0 is the top row: pixels 0 to 9.
    EXPECT_EQ(bitmap.GetLineArray()[0][9], 9);
    EXPECT_EQ(bitmap.GetLineArray()[2][0], 20);
    // The palette comes over with black and white exchanged.
    const RGBQuad* palette = bitmap.GetPaletteEntries();
    EXPECT_EQ(palette[0], (RGBQuad{255, 255, 255, 0}));
    EXPECT_EQ(palette[7], (RGBQuad{0, 0, 0, 0}));
    EXPECT_EQ(palette[1], (RGBQuad{0, 0, 255, 0}));
    EXPECT_EQ(bitmap.GetBitmapInfo()->compression, 0u);
}

TEST_F(LoadDwgPreviewTest, CopiesOneAndFourBitPreviews) {
    for (std::uint16_t bits : {1, 4}) {
        fx::DibImage image = fx::SolidImage(13, 5, bits, 0, fx::DrawingPalette(bits));
        image.pixels[0] = 1;                        // top left
        image.pixels[image.pixels.size() - 1] = 1;  // bottom right
        CWinBmpEx bitmap;
        ASSERT_TRUE(LoadDwgPreview(WriteDrawing(image), bitmap)) << bits;
        EXPECT_EQ(bitmap.GetBitsPerPixel(), bits);
        const auto* const* rows = bitmap.GetLineArray();
        if (bits == 1) {
            EXPECT_EQ(rows[0][0], 0x80);
            EXPECT_EQ(rows[4][1], 0x08);
            EXPECT_EQ(bitmap.GetPaletteEntries()[0], (RGBQuad{255, 255, 255, 0}));
            EXPECT_EQ(bitmap.GetPaletteEntries()[1], (RGBQuad{0, 0, 0, 0}));
        } else {
            EXPECT_EQ(rows[0][0], 0x10);
            EXPECT_EQ(rows[4][6], 0x10);
        }
    }
}

TEST_F(LoadDwgPreviewTest, TurnsATopDownPreviewRightWayUp) {
    fx::DibImage image = SmallPicture();
    image.topDown = true;
    CWinBmpEx bitmap;
    ASSERT_TRUE(LoadDwgPreview(WriteDrawing(image), bitmap));
    EXPECT_EQ(bitmap.GetHeight(), 3);
    EXPECT_EQ(bitmap.GetLineArray()[0][9], 9);
    EXPECT_EQ(bitmap.GetLineArray()[2][0], 20);
}

TEST_F(LoadDwgPreviewTest, TakesTrueColourPreviewsWithoutPalette) {
    fx::DibImage image = fx::SolidImage(3, 2, 24, 0x112233, {});
    CWinBmpEx bitmap;
    ASSERT_TRUE(LoadDwgPreview(WriteDrawing(image), bitmap));
    EXPECT_EQ(bitmap.GetBitsPerPixel(), 24);
    EXPECT_EQ(bitmap.GetLineArray()[1][0], 0x33);
    EXPECT_EQ(bitmap.GetLineArray()[1][2], 0x11);
}

// A header that lies must neither read past the record nor write past the bitmap: it is
// refused, or what the record holds is copied and the rest stays blank.
TEST_F(LoadDwgPreviewTest, SurvivesLyingHeaders) {
    struct Case {
        const char* label;
        std::size_t offset;
        std::uint32_t value;
        bool sixteenBit;
        bool ok;
    };
    const Case cases[] = {
        // What AutoCAD leaves in fields the reader does not consult.
        {"colours used 256", fx::kDibColoursUsed, 256, false, true},
        {"colours used 16", fx::kDibColoursUsed, 16, false, true},
        {"image size 0", fx::kDibImageSize, 0, false, true},
        {"taller than the rows it has", fx::kDibHeight, 500, false, true},
        {"wider than its rows", fx::kDibWidth, 100, false, true},
        {"huge width", fx::kDibWidth, 0x7FFFFFFF, false, false},
        {"huge height", fx::kDibHeight, 0x7FFFFFFF, false, false},
        {"most negative height", fx::kDibHeight, 0x80000000u, false, false},
        {"negative width", fx::kDibWidth, 0xFFFFFFF6u, false, false},
        {"zero width", fx::kDibWidth, 0, false, false},
        {"zero height", fx::kDibHeight, 0, false, false},
        {"no depth", fx::kDibBitsPerPixel, 0, true, false},
        {"two bits", fx::kDibBitsPerPixel, 2, true, false},
        {"depth 64", fx::kDibBitsPerPixel, 64, true, false},
        {"depth 0xFFFF", fx::kDibBitsPerPixel, 0xFFFF, true, false},
        {"thirty-two bits in an eight-bit record", fx::kDibBitsPerPixel, 32, true, true},
        {"header size zero", fx::kDibHeaderSize, 0, false, false},
        {"header size 39", fx::kDibHeaderSize, 39, false, false},
        {"header size past the record", fx::kDibHeaderSize, 100000, false, false},
        {"header size leaves no palette", fx::kDibHeaderSize, 40 + 64, false, false},
        {"run-length compressed", fx::kDibCompression, 1, false, false},
        {"bit fields", fx::kDibCompression, 3, false, false},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> dib = fx::PackDib(SmallPicture());
        if (c.sixteenBit) {
            fx::PutLe16(dib, c.offset, static_cast<std::uint16_t>(c.value));
        } else {
            fx::PutLe32(dib, c.offset, c.value);
        }
        CWinBmpEx bitmap;
        EXPECT_EQ(LoadDwgPreview(WriteDrawing(dib), bitmap), c.ok) << c.label;
        if (!c.ok) {
            EXPECT_TRUE(IsUntouched(bitmap)) << c.label;
        }
    }
}

TEST_F(LoadDwgPreviewTest, CopiesWhatACutRecordHoldsAndLeavesTheRestBlank) {
    std::vector<std::uint8_t> dib = fx::PackDib(SmallPicture());
    dib.resize(40 + 1024 + 12 + 5);  // the bottom row and five bytes of the next
    CWinBmpEx bitmap;
    ASSERT_TRUE(LoadDwgPreview(WriteDrawing(dib), bitmap));
    const auto* const* rows = bitmap.GetLineArray();
    EXPECT_EQ(rows[2][9], 29);
    EXPECT_EQ(rows[1][4], 14);
    EXPECT_EQ(rows[1][5], 0);
    EXPECT_EQ(rows[0][9], 0);

    dib.resize(40 + 1023);  // palette cut
    CWinBmpEx refused;
    EXPECT_FALSE(LoadDwgPreview(WriteDrawing(dib), refused));
    EXPECT_TRUE(IsUntouched(refused));
}

TEST_F(LoadDwgPreviewTest, LeavesTheBitmapAloneWhenThereIsNoPreview) {
    ScratchFolder other;
    CWinBmpEx bitmap;
    EXPECT_FALSE(LoadDwgPreview(other.Write("x.dwg", "AC1015 but nothing else"), bitmap));
    EXPECT_FALSE(LoadDwgPreview(other.WidePath("missing.dwg"), bitmap));
    fx::DwgSpec drawing = DrawingSpec(SmallPicture());
    drawing.signature = "AC1024";
    const auto path = other.Write("new.dwg", fx::BuildDwg(drawing));
    EXPECT_FALSE(LoadDwgPreview(path, bitmap, BuildKind::Library));
    EXPECT_TRUE(IsUntouched(bitmap));
    EXPECT_TRUE(LoadDwgPreview(path, bitmap, BuildKind::Plugin));
    EXPECT_EQ(bitmap.GetWidth(), 10);
}

}  // namespace
}  // namespace folv
