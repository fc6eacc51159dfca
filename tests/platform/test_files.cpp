#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>

#include "platform/enumerate.h"
#include "platform/resolve.h"
#include "platform/text.h"

namespace folv {
namespace {

namespace fs = std::filesystem;

class TempFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("folv-platform-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }
    void Touch(const std::string& name, std::size_t size = 0, std::int64_t mtime = 1000) {
        std::ofstream(root_ / name, std::ios::binary) << std::string(size, 'x');
        utimbuf times{static_cast<time_t>(mtime), static_cast<time_t>(mtime)};
        ::utime((root_ / name).c_str(), &times);
    }
    std::u16string Root() const { return FromUtf8(root_.string()) + u"/"; }
    fs::path root_;
};

TEST(Wildcards, FollowTheOriginalRules) {
    struct Case {
        std::u16string_view name, pattern;
        bool match;
    };
    const Case cases[] = {
        {u"plan1.dwg", u"*.DWG", true},
        {u"PLAN1.DWG", u"*.dwg", true},
        {u"plan1.dwgx", u"*.dwg", false},
        {u"readme", u"*.*", true},
        {u"a.b.c", u"*.*", true},
        {u"readme", u"*.", true},
        {u"read.me", u"*.", false},
        {u"ab.dwg", u"a?.dwg", true},
        {u"a.dwg", u"a?.dwg", false},
        {u"abc", u"a*c", true},
        {u"ab", u"a*c", false},
        {u"plan1.dwg", u"PLAN1.DWG", true},
        {u"x\u00E4.dwg", u"X\u00C4.DWG", false},  // only A-Z fold
        {u"a", u"a*.*", true},
        {u"", u"*", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesWildcard(c.name, c.pattern), c.match)
            << ToUtf8(c.name) << " ~ " << ToUtf8(c.pattern);
    }
}

TEST_F(TempFolder, ListsMatchesInCaseInsensitiveOrderWithSizeAndTime) {
    Touch("b.dwg", 7, 2000);
    Touch("A.dwg", 3, 1000);
    Touch("c.DWG", 0, 3000);
    Touch("note.txt");
    fs::create_directory(root_ / "sub.dwg");

    auto entries = ListMatchingFiles(Root() + u"*.dwg");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, u"A.dwg");
    EXPECT_EQ(entries[0].size, 3u);
    EXPECT_EQ(entries[0].modified, 1000);
    EXPECT_EQ(entries[1].name, u"b.dwg");
    EXPECT_EQ(entries[2].name, u"c.DWG");
    EXPECT_TRUE(entries[3].IsFolder());
    EXPECT_FALSE(entries[0].IsFolder());
}

TEST_F(TempFolder, DanglingLinkIsListedAsAnEmptyFile) {
    fs::create_symlink(root_ / "gone/with/a/long/name.dwg", root_ / "link.dwg");
    auto entries = ListMatchingFiles(Root() + u"*.dwg");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, u"link.dwg");
    EXPECT_FALSE(entries[0].IsFolder());
    EXPECT_EQ(entries[0].size, 0u);
}

TEST_F(TempFolder, MissingFolderOrNoMatchGivesNothing) {
    Touch("a.txt");
    EXPECT_TRUE(ListMatchingFiles(Root() + u"*.dwg").empty());
    EXPECT_TRUE(ListMatchingFiles(Root() + u"nowhere/*.*").empty());
    EXPECT_TRUE(ListMatchingFiles(Root()).empty());
}

TEST_F(TempFolder, UpperCaseDisplayNameFindsLowerCaseFile) {
    fs::create_directory(root_ / "Plans");
    Touch("Plans/plan1.dwg", 5);
    std::u16string upper = Root() + u"PLANS/PLAN1.DWG";
    EXPECT_EQ(ResolveExistingPath(upper), Root() + u"Plans/plan1.dwg");
    EXPECT_EQ(ResolveInFolder(Root() + u"plans", u"PLAN1.DWG"), Root() + u"Plans/plan1.dwg");
    // Separators of the original platform, as old settings files hold them.
    EXPECT_EQ(ResolveExistingPath(Root() + u"PLANS\\PLAN1.DWG"), Root() + u"Plans/plan1.dwg");
    auto found = ListMatchingFiles(upper);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, u"plan1.dwg");
    EXPECT_EQ(found[0].size, 5u);
}

TEST_F(TempFolder, ResolutionKeepsExactNamesAndNewNames) {
    Touch("Same.dwg");
    Touch("same.DWG");
    // An exact match wins over a folded one.
    EXPECT_EQ(ResolveExistingPath(Root() + u"same.DWG"), Root() + u"same.DWG");
    // Several folded matches: the lowest in ordinal order.
    EXPECT_EQ(ResolveExistingPath(Root() + u"SAME.DWG"), Root() + u"Same.dwg");
    // A name that matches nothing stays as written, for files about to be made.
    EXPECT_EQ(ResolveExistingPath(Root() + u"NEW.DWG"), Root() + u"NEW.DWG");
    EXPECT_EQ(ResolveExistingPath(Root() + u"MISSING/x.dwg"), Root() + u"MISSING/x.dwg");
}

}  // namespace
}  // namespace folv
