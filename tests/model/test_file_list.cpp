#include "model/file_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/text.h"

namespace folv {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Records every call, so that two sorts can be compared call for call.
class RecordingProgress : public ProgressControl {
  public:
    void SetRange(std::int16_t lower, std::int16_t upper) override {
        log.push_back("range " + std::to_string(lower) + " " + std::to_string(upper));
    }
    void SetStep(int step) override { log.push_back("step " + std::to_string(step)); }
    void SetPos(int pos) override { log.push_back("pos " + std::to_string(pos)); }
    void StepIt() override { log.push_back("stepit"); }
    void SetVisible(bool visible) override { log.push_back(visible ? "show" : "hide"); }

    long Count(const std::string& entry) const { return std::count(log.begin(), log.end(), entry); }
    std::vector<std::string> log;
};

// The original quadratic sort, kept word for word as the reference for ours.
int FoldCompare(std::u16string_view a, std::u16string_view b) {
    for (std::size_t i = 0;; ++i) {
        const int ca = i < a.size() ? ToLowerAZ(a[i]) : 0;
        const int cb = i < b.size() ? ToLowerAZ(b[i]) : 0;
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}

bool ReferenceLess(const FileData* a, const FileData* b, int mode) {
    switch (mode) {
        case 0:
            return FoldCompare(a->name.View(), b->name.View()) < 0;
        case 1:
            return a->size < b->size;
        case 2:
            return a->modified < b->modified;
        default:
            return false;
    }
}

void ReferenceSort(std::vector<const FileData*>& v, int mode, SortProgress* progress) {
    const int n = static_cast<int>(v.size());
    if (progress) {
        progress->SetRange(1, static_cast<std::int16_t>(n));
        progress->SetStep(1);
        progress->SetPos(1);
    }
    for (int i = 1; i < n; ++i) {
        const FileData* q = v[i];
        if (progress)
            progress->StepIt();
        int c = i;
        while (c - 1 >= 0 && ReferenceLess(v[c - 1], q, mode)) {
            v[c] = v[c - 1];
            --c;
        }
        v[c] = q;
    }
    if (progress)
        progress->StepIt();
}

std::vector<const FileData*> Order(const CListF& list) {
    std::vector<const FileData*> out;
    for (std::int64_t i = 0; i < list.size(); ++i)
        out.push_back(list.FileAt(i));
    return out;
}

std::vector<std::string> Names(const CListF& list) {
    std::vector<std::string> out;
    for (std::int64_t i = 0; i < list.size(); ++i)
        out.push_back(ToUtf8(list.FileAt(i)->name.View()));
    return out;
}

TEST(SortFiles, MatchesTheInsertionSortOnRandomListsWithTies) {
    // Few distinct keys so that ties are common; names differ only by case or punctuation
    // around the A-Z fold.
    const std::u16string alphabet = u"aAbB_[z";
    std::mt19937 rng(20240611);
    for (int round = 0; round < 300; ++round) {
        const int n = std::uniform_int_distribution<int>(0, 150)(rng);
        const int mode = round % 4 == 3 ? 7 : round % 3;
        CListF list;
        for (int i = 0; i < n; ++i) {
            auto record = std::make_unique<FileData>();
            std::u16string name;
            const int len = std::uniform_int_distribution<int>(0, 3)(rng);
            for (int k = 0; k < len; ++k) {
                name += alphabet[std::uniform_int_distribution<std::size_t>(
                    0, alphabet.size() - 1)(rng)];
            }
            ASSERT_TRUE(record->name.Assign(name));
            // Sizes above 2^31 check the unsigned comparison, negative dates the signed one.
            const std::uint32_t sizes[] = {0, 1, 7, 0x80000000u, 0xFFFFFFFFu};
            record->size = sizes[std::uniform_int_distribution<int>(0, 4)(rng)];
            record->modified = std::uniform_int_distribution<std::int32_t>(-3, 3)(rng) * 700000000;
            list.Add(std::move(record));
        }
        std::vector<const FileData*> expected = Order(list);
        RecordingProgress expectedCalls;
        ReferenceSort(expected, mode, &expectedCalls);

        RecordingProgress calls;
        list.SetProgress(&calls);
        list.SortFiles(static_cast<SortMode>(mode));
        ASSERT_EQ(Order(list), expected) << "round " << round << " mode " << mode;
        ASSERT_EQ(calls.log, expectedCalls.log);
    }
}

TEST(SortFiles, RangeIsSixteenBitAndEveryRecordIsStepped) {
    CListF list;
    for (int i = 0; i < 70000; ++i)
        list.Add(std::make_unique<FileData>());
    RecordingProgress calls;
    list.SetProgress(&calls);
    list.SortFiles(SortMode::bySize);
    ASSERT_GE(calls.log.size(), 3u);
    EXPECT_EQ(calls.log[0], "range 1 4464");  // 70000 mod 65536
    EXPECT_EQ(calls.log[1], "step 1");
    EXPECT_EQ(calls.log[2], "pos 1");
    EXPECT_EQ(calls.Count("stepit"), 70000);
}

TEST(CListF, FileAtOutsideTheListYieldsNothing) {
    CListF list;
    EXPECT_EQ(list.FileAt(0), nullptr);
    list.Add(std::make_unique<FileData>());
    list.Add(std::make_unique<FileData>());
    EXPECT_EQ(list.FileAt(-1), nullptr);
    EXPECT_EQ(list.FileAt(list.size()), nullptr);
    EXPECT_EQ(list.FileAt(INT64_MIN), nullptr);
    EXPECT_NE(list.FileAt(1), nullptr);
}

TEST(CListF, ReverseFiles) {
    for (int n : {0, 1, 2, 5}) {
        CListF list;
        for (int i = 0; i < n; ++i)
            list.Add(std::make_unique<FileData>());
        std::vector<const FileData*> expected = Order(list);
        std::reverse(expected.begin(), expected.end());
        list.ReverseFiles();
        EXPECT_EQ(Order(list), expected);
    }
}

TEST(FindByPrefix, FirstNameStartingWithTheTextIgnoringAZCase) {
    struct Case {
        std::vector<std::u16string_view> names;
        std::u16string_view text;
        std::optional<std::int64_t> expected;
    };
    const Case cases[] = {
        {{u"xab.dwg", u"Abc.dwg", u"abd.dwg"}, u"AB", 2},
        {{u"abc.dwg"}, u"abcdef", std::nullopt},
        {{u"abc.dwg"}, u"ABC.DWG", 1},
        {{u"a.dwg", u"b.dwg"}, u"c", std::nullopt},
        {{}, u"a", std::nullopt},
        // Only A-Z fold: an accented letter must match exactly.
        {{u"\u00c9t\u00e9.dwg", u"\u00e9t\u00e9.dwg"}, u"\u00e9", 2},
        {{u"_x.dwg", u"x.dwg"}, u"X", 2},
    };
    for (const Case& c : cases) {
        CListF list;
        for (auto name : c.names) {
            auto record = std::make_unique<FileData>();
            record->name.Assign(name);
            list.Add(std::move(record));
        }
        EXPECT_EQ(list.FindByPrefix(c.text), c.expected) << ToUtf8(c.text);
    }
}

// A temporary folder of files with chosen sizes and dates.
class Folder {
  public:
    Folder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "folv-list-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        path_ = tmpl;
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    void File(const std::string& name, std::int64_t size = 0, std::int64_t mtime = 1000000000) {
        const std::string full = (path_ / name).string();
        const int fd = ::open(full.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << full;
        const bool truncated = ::ftruncate(fd, size) == 0;
        const timespec times[2] = {{mtime, 0}, {mtime, 0}};
        const bool timed = ::futimens(fd, times) == 0;
        ::close(fd);
        ASSERT_TRUE(truncated && timed) << full;
    }
    void Dir(const std::string& name) { std::filesystem::create_directory(path_ / name); }
    // Working folder as the dialog keeps it: with its final separator.
    std::u16string WorkingDir() const { return FromUtf8(path_.string() + "/"); }
    std::u16string Pattern(std::u16string_view filter = u"*.dwg") const {
        return WorkingDir() + std::u16string(filter);
    }

  private:
    std::filesystem::path path_;
};

TEST(ListFolder, SortsAscendingWithTiesInReverseEnumerationOrder) {
    Folder folder;
    folder.File("b.dwg", 30, 300);
    folder.File("A.dwg", 10, 200);
    folder.File("c.DWG", 10, 100);
    folder.File("_u.dwg", 20, 300);
    folder.File("notes.txt", 5, 5);

    CListF list;
    struct Case {
        SortMode mode;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {SortMode::byName, {"_u.dwg", "A.dwg", "b.dwg", "c.DWG"}},
        // A and c share a size: enumerated A then c, listed c then A. Same for b and _u.
        {SortMode::bySize, {"c.DWG", "A.dwg", "_u.dwg", "b.dwg"}},
        {SortMode::byDate, {"c.DWG", "A.dwg", "b.dwg", "_u.dwg"}},
        // No key: the sort keeps the enumeration order and the listing reverses it.
        {static_cast<SortMode>(3), {"c.DWG", "b.dwg", "A.dwg", "_u.dwg"}},
    };
    for (const Case& c : cases) {
        const ListingResult result =
            ListFolder(folder.Pattern(), folder.WorkingDir(), c.mode, list, nullptr);
        EXPECT_TRUE(result.enumerated);
        EXPECT_EQ(result.count, 4);
        EXPECT_THAT(Names(list), ElementsAreArray(c.names)) << static_cast<int>(c.mode);
    }
}

TEST(ListFolder, RecordHoldsPathSizeAndLow32BitsOfTheDate) {
    Folder folder;
    folder.File("plan.dwg", 512, 3000000000LL);  // past 2038: the low 32 bits read as negative
    CListF list;
    ASSERT_EQ(
        ListFolder(folder.Pattern(), folder.WorkingDir(), SortMode::byName, list, nullptr).count,
        1);
    const FileData* record = list.FileAt(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->name.View(), u"plan.dwg");
    EXPECT_EQ(record->path.View(), folder.WorkingDir() + u"plan.dwg");
    EXPECT_EQ(record->size, 512u);
    EXPECT_EQ(record->modified, static_cast<std::int32_t>(3000000000LL - 4294967296LL));
}

TEST(ListFolder, SizesAreUnsigned32Bit) {
    Folder folder;
    // Sparse files: nothing is written.
    folder.File("big.dwg", 3LL << 30);
    folder.File("huge.dwg", (5LL << 30) + 7);  // recorded modulo 2^32
    folder.File("small.dwg", 100);
    CListF list;
    ListFolder(folder.Pattern(), folder.WorkingDir(), SortMode::bySize, list, nullptr);
    EXPECT_THAT(Names(list), ElementsAre("small.dwg", "huge.dwg", "big.dwg"));
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.FileAt(1)->size, (1u << 30) + 7);
    EXPECT_EQ(list.FileAt(2)->size, 3u << 30);
}

TEST(ListFolder, ProgressShownOnlyForLongListingsButSteppedOnceSet) {
    Folder big;
    for (int i = 0; i < 101; ++i)
        big.File("f" + std::to_string(i) + ".dwg", i % 7);
    Folder hundred;
    for (int i = 0; i < 100; ++i)
        hundred.File("g" + std::to_string(i) + ".dwg");
    Folder small;
    for (int i = 0; i < 5; ++i)
        small.File("h" + std::to_string(i) + ".dwg");

    RecordingProgress progress;
    CListF list;
    ListFolder(hundred.Pattern(), hundred.WorkingDir(), SortMode::byName, list, &progress);
    EXPECT_TRUE(progress.log.empty());
    EXPECT_EQ(list.Progress(), nullptr);

    ListFolder(big.Pattern(), big.WorkingDir(), SortMode::bySize, list, &progress);
    EXPECT_EQ(list.Progress(), &progress);
    ASSERT_EQ(progress.log.size(), 1u + 3u + 101u + 1u);
    EXPECT_EQ(progress.log.front(), "show");
    EXPECT_EQ(progress.log[1], "range 1 101");
    EXPECT_EQ(progress.Count("stepit"), 101);
    EXPECT_EQ(progress.log.back(), "hide");

    progress.log.clear();
    ListFolder(small.Pattern(), small.WorkingDir(), SortMode::byName, list, &progress);
    EXPECT_EQ(progress.Count("show"), 0);
    EXPECT_EQ(progress.Count("hide"), 0);
    EXPECT_EQ(progress.log.front(), "range 1 5");
    EXPECT_EQ(progress.Count("stepit"), 5);
    EXPECT_EQ(list.size(), 5);
}

TEST(ListFolder, EmptyListings) {
    Folder folder;
    folder.Dir("sub.dwg");
    folder.Dir("other");
    CListF list;
    list.Add(std::make_unique<FileData>());

    // Only folders match: enumerated, but nothing listed.
    ListingResult result =
        ListFolder(folder.Pattern(u"*.*"), folder.WorkingDir(), SortMode::byName, list, nullptr);
    EXPECT_TRUE(result.enumerated);
    EXPECT_EQ(result.count, 0);
    EXPECT_EQ(list.size(), 0);

    // Nothing matches / no such folder: the dialog clears the grid.
    result =
        ListFolder(folder.Pattern(u"*.bmp"), folder.WorkingDir(), SortMode::byName, list, nullptr);
    EXPECT_FALSE(result.enumerated);
    result = ListFolder(folder.WorkingDir() + u"missing/*.dwg", folder.WorkingDir(),
                        SortMode::byName, list, nullptr);
    EXPECT_FALSE(result.enumerated);
    EXPECT_EQ(list.size(), 0);
}

TEST(ListFolder, FileWhosePathDoesNotFitIsLeftOut) {
    Folder folder;
    folder.File("a.dwg");
    folder.File(std::string(40, 'n') + ".dwg");
    // A working folder that leaves room for "a.dwg" only (five characters plus terminator).
    const std::u16string longDir(kMaxPath - 6, u'd');
    CListF list;
    const ListingResult result =
        ListFolder(folder.Pattern(), longDir, SortMode::byName, list, nullptr);
    EXPECT_EQ(result.count, 1);
    EXPECT_EQ(result.refused, 1);
    ASSERT_NE(list.FileAt(0), nullptr);
    EXPECT_EQ(list.FileAt(0)->path.View(), longDir + u"a.dwg");
}

}  // namespace
}  // namespace folv
