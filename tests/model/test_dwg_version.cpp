#include <gtest/gtest.h>

#include <sys/stat.h>
#include <string>

#include "model/dwg_preview.h"
#include "tests/model/test_dwg_support.h"

namespace folv {
namespace {

using folv::testing::ScratchFolder;

TEST(DwgVersionTable, RunsFromTheNewestDownToOneAndEndsWithTheZeroRow) {
    for (BuildKind build : {BuildKind::Library, BuildKind::Plugin}) {
        const auto table = DwgVersionTable(build);
        ASSERT_GE(table.size(), 2u);
        EXPECT_EQ(table.front().number, build == BuildKind::Plugin ? 27 : 26);
        for (std::size_t i = 0; i + 1 < table.size(); ++i) {
            EXPECT_EQ(table[i].number, table.front().number - static_cast<std::int32_t>(i));
            const std::size_t length = std::string(table[i].code).size();
            EXPECT_TRUE(length == 5 || length == 6) << table[i].code;
            EXPECT_NE(table[i].name, nullptr);
        }
        EXPECT_EQ(table[table.size() - 2].number, 1);
        EXPECT_EQ(table.back().number, 0);
        EXPECT_EQ(table.back().code, nullptr);
        EXPECT_EQ(table.back().name, nullptr);
    }
    EXPECT_STREQ(DwgVersionTable(BuildKind::Plugin).front().code, "AC1024");
    EXPECT_STREQ(DwgVersionTable(BuildKind::Library).front().code, "AC1021");
}

struct SignatureCase {
    const char* label;
    std::string bytes;
    std::int32_t library;
    std::int32_t plugin;
};

TEST(GetVersion, ReadsTheSignatureOfTheFirstSixBytes) {
    using namespace std::string_literals;
    const SignatureCase cases[] = {
        {"release 2004", "AC1018 and the rest of a drawing", 25, 25},
        {"release 14, the first with a preview", "AC1014", 22, 22},
        {"release 2007", "AC1021", 26, 26},
        {"only the plug-in knows 2010", "AC1024", 0, 27},
        {"a later release", "AC1027", 0, 0},
        {"five bytes are too few", "MC0.0", 0, 0},
        {"oldest with a terminator", "MC0.0\0"s, 1, 1},
        {"five-character code at the second byte", "xAC1.2", 2, 2},
        {"five-character code then any byte", "AC1.2Q", 2, 2},
        {"zero byte ends the text",
         "AC\0"
         "1018"s,
         0, 0},
        {"zero first byte", "\0AC1018"s, 0, 0},
        {"lower case", "ac1018", 0, 0},
        {"six-character code one byte late", "xAC1018", 0, 0},
        {"a picture", "\x89PNG\r\n\x1a\n", 0, 0},
        {"empty file", "", 0, 0},
    };
    ScratchFolder folder;
    for (const SignatureCase& c : cases) {
        const std::u16string path = folder.Write("case.dwg", c.bytes);
        EXPECT_EQ(CDwgPreview(BuildKind::Library).GetVersion(path), c.library) << c.label;
        EXPECT_EQ(CDwgPreview(BuildKind::Plugin).GetVersion(path), c.plugin) << c.label;
    }
}

TEST(GetVersion, FindsEveryRowOfTheTableByItsCode) {
    ScratchFolder folder;
    for (BuildKind build : {BuildKind::Library, BuildKind::Plugin}) {
        for (const DwgVersion& row : DwgVersionTable(build)) {
            if (row.number == 0)
                break;
            std::string bytes = row.code;
            bytes.resize(6, '\0');
            bytes += "drawing data";
            EXPECT_EQ(CDwgPreview(build).GetVersion(folder.Write("row.dwg", bytes)), row.number)
                << row.code;
        }
    }
}

TEST(GetVersion, GivesZeroForWhatCannotBeRead) {
    ScratchFolder folder;
    EXPECT_EQ(CDwgPreview().GetVersion(folder.WidePath("missing.dwg")), 0);
    EXPECT_EQ(CDwgPreview().GetVersion(u""), 0);

    std::filesystem::create_directory(folder.Path("AC1018"));
    EXPECT_EQ(CDwgPreview().GetVersion(folder.WidePath("AC1018")), 0);

    // A pipe nobody writes to must not block the reader.
    ASSERT_EQ(::mkfifo(folder.Path("pipe.dwg").c_str(), 0600), 0);
    EXPECT_EQ(CDwgPreview().GetVersion(folder.WidePath("pipe.dwg")), 0);
}

TEST(GetVersion, FindsTheFileWhateverTheCaseOfItsName) {
    ScratchFolder folder;
    folder.Write("plan1.dwg", "AC1015");
    EXPECT_EQ(CDwgPreview().GetVersion(folder.WidePath("PLAN1.DWG")), 24);
}

}  // namespace
}  // namespace folv
