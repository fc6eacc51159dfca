#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/text.h"

namespace folv {
namespace {

TEST(WideBuffer, RefusesWhatDoesNotFitAndKeepsOldValue) {
    WideBuffer<4> buf;
    EXPECT_TRUE(buf.Assign(u"abc"));
    EXPECT_FALSE(buf.Assign(u"abcd"));  // needs 5 with its terminator
    EXPECT_EQ(buf.View(), u"abc");
    EXPECT_FALSE(buf.Append(u"x"));
    EXPECT_EQ(buf.View(), u"abc");
    buf.Clear();
    EXPECT_TRUE(buf.Append(u"ab"));
    EXPECT_TRUE(buf.Append(u"c"));
    EXPECT_EQ(buf.size(), 3u);

    PathBuffer path;
    EXPECT_TRUE(path.Assign(std::u16string(259, u'x')));
    EXPECT_FALSE(path.Assign(std::u16string(260, u'x')));
}

TEST(WideBuffer, TerminateBoundsAForeignWriter) {
    PathBuffer buf;
    for (std::size_t i = 0; i < PathBuffer::kCapacity; ++i)
        buf.Data()[i] = u'z';
    buf.Terminate();
    EXPECT_EQ(buf.size(), PathBuffer::kCapacity - 1);
}

TEST(CaseFolding, OnlyLettersAToZ) {
    EXPECT_EQ(LowerAZ(u"PLAN1.DWG \u00C4\u0130"), u"plan1.dwg \u00C4\u0130");
    EXPECT_EQ(UpperAZ(u"plan_1.dwg \u00E4\u0131"), u"PLAN_1.DWG \u00E4\u0131");
}

TEST(CaseFolding, CompareLikeTheCLocale) {
    EXPECT_EQ(CompareNoCaseAZ(u"ABC", u"abc"), 0);
    EXPECT_LT(CompareNoCaseAZ(u"A.dwg", u"b.dwg"), 0);
    EXPECT_LT(CompareNoCaseAZ(u"ab", u"abc"), 0);
    // Folding to lower case puts '_' (0x5F) below the letters.
    EXPECT_LT(CompareNoCaseAZ(u"_x", u"A"), 0);
    EXPECT_GT(CompareNoCaseAZ(u"\u00E4", u"z"), 0);
}

TEST(Utf8, RoundTripsAndReplacesBrokenSequences) {
    std::u16string text = u"Pl\u00E4ne \u6F22 \U0001F600";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(FromUtf8("a\xFF"
                       "b"),
              u"a\uFFFDb");
    EXPECT_EQ(FromUtf8("\xE6\xBC"), u"\uFFFD\uFFFD");  // cut sequence
    EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong '/'
    EXPECT_EQ(ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");    // lone surrogate
}

TEST(SplitPath, CutsLikeTheOriginalSplitter) {
    struct Case {
        std::u16string_view path, dir, name, ext;
    };
    const Case cases[] = {
        {u"/data/plans/PLAN1.DWG", u"/data/plans/", u"PLAN1", u".DWG"},
        {u"/data/plans/*.DWG", u"/data/plans/", u"*", u".DWG"},
        {u"/data/plans/", u"/data/plans/", u"", u""},
        {u"C:\\Plans\\a.b.c", u"C:\\Plans\\", u"a.b", u".c"},
        {u"noext", u"", u"noext", u""},
        {u"/dir.x/file", u"/dir.x/", u"file", u""},
    };
    for (const Case& c : cases) {
        PathParts parts = SplitPath(c.path);
        EXPECT_TRUE(parts.drive.empty());
        EXPECT_EQ(parts.dir, c.dir) << ToUtf8(c.path);
        EXPECT_EQ(parts.name, c.name) << ToUtf8(c.path);
        EXPECT_EQ(parts.ext, c.ext) << ToUtf8(c.path);
    }
    EXPECT_EQ(FileNamePart(u"/a/b/c.dwg"), u"c.dwg");
    EXPECT_EQ(FolderPart(u"c.dwg"), u"");
}

}  // namespace
}  // namespace folv
