#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "model/dwg_preview.h"
#include "tests/model/test_dwg_support.h"
#include "tools/fixtures/compound.h"
#include "tools/fixtures/dib.h"
#include "tools/fixtures/dwg.h"

namespace folv {
namespace {

namespace fx = folv::fixtures;
using folv::testing::IsUntouched;
using folv::testing::ScratchFolder;
using folv::testing::SmallPicture;

class LoadStoragePreviewTest : public ::testing::Test {
  protected:
    ScratchFolder folder;
    std::vector<std::uint8_t> dib = fx::PackDib(SmallPicture());

    std::u16string WriteCompound(const std::vector<fx::CompoundEntry>& entries,
                                 const char* name = "doc.ole") {
        EXPECT_TRUE(fx::WriteCompoundFile(folder.Path(name), entries));
        return folder.WidePath(name);
    }
    std::u16string WritePreview(const std::vector<std::uint8_t>& stream) {
        return WriteCompound({{"Contents", {9, 9, 9}, false}, {"Preview", stream, false}});
    }
};

TEST_F(LoadStoragePreviewTest, ShowsTheStreamWithItsOwnPalette) {
    CWinBmpEx bitmap;
    ASSERT_TRUE(LoadStoragePreview(WritePreview(fx::PreviewStream(dib)), bitmap));
    EXPECT_EQ(bitmap.GetWidth(), 10);
    EXPECT_EQ(bitmap.GetHeight(), 3);
    EXPECT_EQ(bitmap.GetBitsPerPixel(), 8);
    EXPECT_EQ(0, std::memcmp(bitmap.GetBits(), dib.data() + 40 + 1024, 36));
    // No black and white exchange here.
    EXPECT_EQ(bitmap.GetPaletteEntries()[0], (RGBQuad{0, 0, 0, 0}));
    EXPECT_EQ(bitmap.GetPaletteEntries()[7], (RGBQuad{255, 255, 255, 0}));
}

TEST_F(LoadStoragePreviewTest, FindsTheStreamWhateverTheCaseOfItsName) {
    CWinBmpEx bitmap;
    EXPECT_TRUE(
        LoadStoragePreview(WriteCompound({{"PREVIEW", fx::PreviewStream(dib), false}}), bitmap));
    EXPECT_EQ(bitmap.GetWidth(), 10);
}

TEST_F(LoadStoragePreviewTest, AnEmptyStreamSucceedsAndLeavesTheBitmapAlone) {
    CWinBmpEx bitmap;
    EXPECT_TRUE(LoadStoragePreview(WritePreview({0, 0, 0, 0}), bitmap));
    EXPECT_TRUE(IsUntouched(bitmap));
}

TEST_F(LoadStoragePreviewTest, RefusesFilesWithoutAPreviewStream) {
    ScratchFolder other;
    const std::u16string paths[] = {
        WriteCompound({{"Contents", {1, 2, 3}, false}}, "nopreview.ole"),
        WriteCompound({{"Preview", {}, true}}, "storage.ole"),
        other.Write("drawing.dwg", fx::DrawingWithPreview("AC1015", SmallPicture())),
        other.Write("text.txt", "Preview"),
        other.Write("empty.ole", ""),
        other.WidePath("missing.ole"),
    };
    for (const std::u16string& path : paths) {
        CWinBmpEx bitmap;
        EXPECT_FALSE(LoadStoragePreview(path, bitmap)) << ToUtf8(path);
        EXPECT_TRUE(IsUntouched(bitmap)) << ToUtf8(path);
    }
}

TEST_F(LoadStoragePreviewTest, RefusesStreamsThatAreCutOrTooLarge) {
    struct Case {
        const char* label;
        std::vector<std::uint8_t> stream;
    };
    std::vector<std::uint8_t> cut = fx::PreviewStream(dib);
    cut.pop_back();
    const Case cases[] = {
        {"no count", {}},
        {"half a count", {1, 0}},
        {"count without bytes", {40, 0, 0, 0}},
        {"one byte short", cut},
        {"huge count", fx::PreviewStream(dib, 0xFFFFFFFFu)},
    };
    // A stream that holds all it announces but is too large for any preview.
    std::vector<std::uint8_t> big = dib;
    big.resize(static_cast<std::size_t>(kMaxPreviewRecordBytes) + 1);
    for (const Case& c : cases) {
        CWinBmpEx bitmap;
        EXPECT_FALSE(LoadStoragePreview(WritePreview(c.stream), bitmap)) << c.label;
        EXPECT_TRUE(IsUntouched(bitmap)) << c.label;
    }
    CWinBmpEx bitmap;
    EXPECT_FALSE(LoadStoragePreview(WritePreview(fx::PreviewStream(big)), bitmap));
    EXPECT_TRUE(IsUntouched(bitmap));
    big.pop_back();
    EXPECT_TRUE(LoadStoragePreview(WritePreview(fx::PreviewStream(big)), bitmap));
    EXPECT_EQ(bitmap.GetWidth(), 10);
}

TEST_F(LoadStoragePreviewTest, KeepsEveryCopyInsideTheStreamAndTheBitmap) {
    struct Case {
        const char* label;
        std::size_t keep;  // bytes of the bitmap that the stream announces and holds
        std::size_t offset;
        std::uint32_t value;
        bool ok;
    };
    const Case cases[] = {
        {"header and palette only", 40 + 1024, 0, 40, true},
        {"palette cut", 40 + 1000, 0, 40, false},
        {"header cut", 30, 0, 40, false},
        {"taller than its rows", dib.size(), fx::kDibHeight, 1000, true},
        {"header size past the stream", dib.size(), fx::kDibHeaderSize, 5000, false},
        {"huge width", dib.size(), fx::kDibWidth, 0x7FFFFFFF, false},
        {"compressed", dib.size(), fx::kDibCompression, 2, false},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes = dib;
        fx::PutLe32(bytes, c.offset, c.value);
        bytes.resize(c.keep);
        CWinBmpEx bitmap;
        EXPECT_EQ(LoadStoragePreview(WritePreview(fx::PreviewStream(bytes)), bitmap), c.ok)
            << c.label;
        if (!c.ok) {
            EXPECT_TRUE(IsUntouched(bitmap)) << c.label;
        }
    }
}

TEST_F(LoadStoragePreviewTest, ReadsABigPreviewStream) {
    // Past the small-block limit of compound files, so the stream lives in big blocks.
    fx::DibImage image = fx::SolidImage(200, 100, 8, 3, fx::DrawingPalette(8));
    image.pixels[0] = 7;
    CWinBmpEx bitmap;
    ASSERT_TRUE(LoadStoragePreview(WritePreview(fx::PreviewStream(fx::PackDib(image))), bitmap));
    EXPECT_EQ(bitmap.GetWidth(), 200);
    EXPECT_EQ(bitmap.GetLineArray()[0][0], 7);
    EXPECT_EQ(bitmap.GetLineArray()[99][199], 3);
}

}  // namespace
}  // namespace folv
