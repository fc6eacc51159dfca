// The controls on their own: the label's tip rule, the bitmap view of every depth, the
// cell's painting and the page list's title tip.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QTest>

#include "explorer/bitmap_view.h"
#include "explorer/dib_static.h"
#include "explorer/list_ctrl_ex.h"
#include "explorer/static_ex.h"
#include "tests/explorer/explorer_test_support.h"

namespace {

using folv::testing::CountingReaders;

class ControlsTest : public ::testing::Test {
  protected:
    void SetUp() override { folv::testing::App(); }
};

TEST_F(ControlsTest, LabelTipOnlyWhenTheTextDoesNotFit) {
    CStaticEx label;
    label.resize(87, 13);
    const QFontMetrics metrics(QApplication::font());
    EXPECT_FALSE(label.SetTipText(u"a.dwg"));
    EXPECT_TRUE(label.toolTip().isEmpty());
    const std::u16string longName = u"a-very-long-drawing-name-for-a-cell.dwg";
    EXPECT_TRUE(label.SetTipText(longName));
    EXPECT_EQ(label.toolTip(), QString::fromStdU16String(longName));
    EXPECT_FALSE(label.SetTipText(u"b.dwg"));
    EXPECT_TRUE(label.toolTip().isEmpty());
    // Wider than the label by less than five pixels: no tip.
    std::u16string text;
    while (metrics.horizontalAdvance(QString::fromStdU16String(text + u"i")) - 5 < 87) {
        text += u"i";
    }
    EXPECT_FALSE(label.SetTipText(text));
    EXPECT_TRUE(label.SetTipText(text + u"i"));
}

TEST_F(ControlsTest, BitmapViewReadsEveryDepthTopRowFirst) {
    struct Case {
        int depth;
        const char* name;
    };
    for (const Case c : {Case{1, "1 bit"}, Case{4, "4 bits"}, Case{8, "8 bits"},
                         Case{24, "24 bits"}, Case{32, "32 bits"}}) {
        SCOPED_TRACE(c.name);
        CWinBmpEx bitmap;
        bitmap.Create(5, 3, c.depth, false, false);
        if (c.depth <= 8) {
            RGBQuad* palette = bitmap.GetPaletteEntries();
            palette[0] = RGBQuad{0, 0, 0, 0};
            palette[1] = RGBQuad{255, 0, 0, 0};  // blue
        }
        // Top row: the pixel at column 3 is blue (index 1); everything else index 0 / black.
        std::uint8_t* top = bitmap.GetLineArray()[0];
        switch (c.depth) {
            case 1:
                top[0] = 0x10;
                break;
            case 4:
                top[1] = 0x01;
                break;
            case 8:
                top[3] = 1;
                break;
            case 24:
                top[9] = 255;
                break;
            case 32:
                top[12] = 255;
                break;
        }
        const QImage image = folv::ToQImage(bitmap);
        ASSERT_EQ(image.size(), QSize(5, 3));
        EXPECT_EQ(image.pixelColor(3, 0), QColor(0, 0, 255));
        EXPECT_EQ(image.pixelColor(3, 2), QColor(0, 0, 0));
        EXPECT_EQ(image.pixelColor(2, 0), QColor(0, 0, 0));
    }
}

TEST_F(ControlsTest, CellPaintsShadowWithoutPictureAndFitsOnce) {
    CountingReaders readers;
    CDIBStatic cell;
    cell.SetReaders(&readers);
    cell.resize(87, 65);
    const QImage empty = cell.grab().toImage();
    EXPECT_EQ(empty.pixel(43, 32), cell.palette().color(QPalette::Dark).rgb());

    const auto file = std::filesystem::temp_directory_path() / "folv-controls-cell.txt";
    std::ofstream(file) << "x";
    EXPECT_TRUE(cell.LoadPicture(folv::FromUtf8(file.string())));
    const QImage shown = cell.grab().toImage();
    EXPECT_TRUE(cell.Fitted());
    // 40 x 30 fitted into the 83 x 61 inner rectangle: 81 x 61, one black column each side.
    EXPECT_EQ(cell.Bitmap().GetHeight(), 61);
    EXPECT_EQ(shown.pixelColor(43, 32), QColor(200, 40, 40));
    EXPECT_EQ(shown.pixelColor(2, 32), QColor(0, 0, 0));
    const int width = cell.Bitmap().GetWidth();
    cell.resize(120, 90);
    cell.grab();
    EXPECT_EQ(cell.Bitmap().GetWidth(), width);
    std::filesystem::remove(file);
}

// The focus mark inverts what lies under it, so it shows on a white drawing too, and only on
// the focused cell.
TEST_F(ControlsTest, FocusMarkShowsOnAWhitePicture) {
    class WhiteReaders final : public folv::CellReaders {
      public:
        bool DwgPreview(std::u16string_view, CWinBmpEx& bitmap) override {
            bitmap.Create(83, 61, 32, false, false);
            for (int y = 0; y < 61; ++y) {
                for (int x = 0; x < 83; ++x)
                    bitmap.SetPixel(x, y, Pixel32::FromRGBA(255, 255, 255));
            }
            return true;
        }
        bool StoragePreview(std::u16string_view, CWinBmpEx&) override { return false; }
        void DecodeFile(const std::string&, CWinBmpEx&) override {}
    } readers;
    const auto file = std::filesystem::temp_directory_path() / "folv-controls-white.txt";
    std::ofstream(file) << "x";
    QWidget window;
    CDIBStatic focused(&window);
    CDIBStatic other(&window);
    other.move(100, 0);
    for (CDIBStatic* cell : {&focused, &other}) {
        cell->SetReaders(&readers);
        cell->resize(87, 65);
        ASSERT_TRUE(cell->LoadPicture(folv::FromUtf8(file.string())));
    }
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    focused.setFocus();
    ASSERT_TRUE(focused.hasFocus());
    auto darkDots = [](CDIBStatic& cell) {
        const QImage shot = cell.grab().toImage();
        int dark = 0;
        for (int x = 10; x < 70; ++x)
            dark += qGray(shot.pixel(x, 4)) < 128 ? 1 : 0;
        return dark;
    };
    EXPECT_GT(darkDots(focused), 10);
    EXPECT_EQ(darkDots(other), 0);
    std::filesystem::remove(file);
}

TEST_F(ControlsTest, TitleTipOnlyForNamesThatDoNotFit) {
    CListCtrlEx list;
    list.resize(84, 200);
    list.addTopLevelItem(new QTreeWidgetItem(QStringList{"Short"}));
    list.addTopLevelItem(new QTreeWidgetItem(QStringList{"A page name far too long for the list"}));
    list.show();
    QApplication::setActiveWindow(&list);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
    list.setFocus();
    const QRect first = list.visualItemRect(list.topLevelItem(0));
    const QRect second = list.visualItemRect(list.topLevelItem(1));
    QTest::mouseMove(list.viewport(), first.center());
    EXPECT_FALSE(list.Tip().Shown());
    QTest::mouseMove(list.viewport(), second.center());
    EXPECT_TRUE(list.Tip().Shown());
    EXPECT_EQ(list.Tip().text(), QString("A page name far too long for the list"));
    // A key hides it and reaches the list.
    list.setCurrentItem(list.topLevelItem(1));
    QTest::keyClick(list.viewport(), Qt::Key_Up);
    EXPECT_FALSE(list.Tip().Shown());
    EXPECT_EQ(list.currentItem(), list.topLevelItem(0));
}

}  // namespace
