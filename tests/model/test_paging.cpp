#include "model/paging.h"

#include <gtest/gtest.h>

namespace folv::paging {
namespace {

TEST(Paging, AfterListingAndFilledCells) {
    struct Case {
        std::int64_t count;
        int filledFirstScreen;
        bool next;
    };
    const Case cases[] = {{0, 0, false},  {5, 5, false},  {11, 11, false},
                          {12, 12, true}, {13, 12, true}, {1000, 12, true}};
    for (const Case& c : cases) {
        const AfterListingState state = AfterListing(c.count);
        EXPECT_EQ(state.firstIndex, 0);
        EXPECT_FALSE(state.previousEnabled);
        EXPECT_EQ(state.nextEnabled, c.next) << c.count;
        EXPECT_EQ(FilledCells(c.count, 0), c.filledFirstScreen) << c.count;
    }
    EXPECT_EQ(FilledCells(13, 12), 1);
    EXPECT_EQ(FilledCells(13, 24), 0);
    EXPECT_EQ(FilledCells(13, -12), 0);
    EXPECT_EQ(RecordForCell(24, 3), 27);
}

TEST(Paging, NextScreen) {
    struct Case {
        std::int64_t count, firstIndex;
        bool runs;
        std::int64_t newFirst;
        int filled;
        Button next;
        Focus focus;
    };
    const Case cases[] = {
        {0, 0, false, 0, 0, Button::kKeep, Focus::kNone},
        {12, 0, false, 0, 0, Button::kKeep, Focus::kNone},  // ">>" enabled but no record 12
        {13, 0, true, 12, 1, Button::kDisable, Focus::kPrevious},
        {24, 0, true, 12, 12, Button::kKeep, Focus::kNext},
        {25, 12, true, 24, 1, Button::kDisable, Focus::kPrevious},
        {25, 24, false, 24, 0, Button::kKeep, Focus::kNone},
    };
    for (const Case& c : cases) {
        const ScreenChange s = NextScreen(c.count, c.firstIndex);
        SCOPED_TRACE(testing::Message() << c.count << "/" << c.firstIndex);
        EXPECT_EQ(s.runs, c.runs);
        EXPECT_EQ(s.firstIndex, c.newFirst);
        if (!c.runs)
            continue;
        EXPECT_EQ(s.shownFrom, c.newFirst);
        EXPECT_EQ(s.filled, c.filled);
        EXPECT_EQ(s.previous, Button::kEnable);
        EXPECT_EQ(s.next, c.next);
        EXPECT_EQ(s.focus, c.focus);
        EXPECT_FALSE(s.selectFirst);
    }
}

TEST(Paging, PreviousScreen) {
    struct Case {
        std::int64_t count, firstIndex;
        bool runs;
        std::int64_t newFirst;
        bool selectFirst;
        Button previous;
        Focus focus;
    };
    const Case cases[] = {
        {0, 0, false, 0, false, Button::kKeep, Focus::kNone},
        {13, 0, false, 0, false, Button::kKeep, Focus::kNone},
        // Back to the first screen: record 0 selected, "<<" off, focus ">>".
        {13, 12, true, 0, true, Button::kDisable, Focus::kNext},
        {30, 24, true, 12, false, Button::kKeep, Focus::kPrevious},
        // No record at firstIndex: nothing happens.
        {24, 24, false, 24, false, Button::kKeep, Focus::kNone},
        // Not a screen boundary (never set so by the dialog): the hole restores firstIndex.
        {30, 6, true, 6, false, Button::kDisable, Focus::kPrevious},
    };
    for (const Case& c : cases) {
        const ScreenChange s = PreviousScreen(c.count, c.firstIndex);
        SCOPED_TRACE(testing::Message() << c.count << "/" << c.firstIndex);
        EXPECT_EQ(s.runs, c.runs);
        EXPECT_EQ(s.firstIndex, c.newFirst);
        if (!c.runs)
            continue;
        EXPECT_EQ(s.shownFrom, c.firstIndex - 12);
        EXPECT_EQ(s.next, Button::kEnable);
        EXPECT_EQ(s.previous, c.previous);
        EXPECT_EQ(s.selectFirst, c.selectFirst);
        EXPECT_EQ(s.focus, c.focus);
    }
}

TEST(Paging, SearchFillers) {
    ScreenChange after = ShowScreenAfter(40, 12);
    EXPECT_TRUE(after.runs);
    EXPECT_EQ(after.shownFrom, 24);
    EXPECT_EQ(after.filled, 12);
    EXPECT_EQ(after.focus, Focus::kNext);
    EXPECT_FALSE(ShowScreenAfter(24, 12).runs);

    ScreenChange before = ShowScreenBefore(40, 12);
    EXPECT_TRUE(before.runs);
    EXPECT_EQ(before.shownFrom, 0);
    EXPECT_EQ(before.previous, Button::kDisable);
    EXPECT_EQ(before.focus, Focus::kNext);
    before = ShowScreenBefore(40, 36);
    EXPECT_EQ(before.shownFrom, 24);
    EXPECT_EQ(before.previous, Button::kKeep);
    EXPECT_EQ(before.focus, Focus::kPrevious);
    EXPECT_FALSE(ShowScreenBefore(40, 0).runs);
}

TEST(Paging, SearchReachesTheScreenAndCellOfTheHit) {
    using Fill = SearchMove::Fill;
    struct Case {
        std::int64_t firstIndex, position;
        std::int64_t screen;
        int cell;
        std::int64_t newFirst;
        Fill fill;
        std::int64_t base;
    };
    const Case cases[] = {
        {0, 1, 0, 1, 0, Fill::kNone, 0},
        {0, 12, 0, 12, 0, Fill::kNone, 0},
        {0, 13, 1, 1, 12, Fill::kAfter, 0},
        {0, 15, 1, 3, 12, Fill::kAfter, 0},  // the 15th file: second screen, cell 3
        {0, 24, 1, 12, 12, Fill::kAfter, 0},
        {0, 50, 4, 2, 48, Fill::kAfter, 36},  // several screens at once
        {48, 5, 0, 5, 0, Fill::kBefore, 12},
        {24, 30, 2, 6, 24, Fill::kNone, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.firstIndex << "/" << c.position);
        const ScreenCell at = LocatePosition(c.position);
        EXPECT_EQ(at.screen, c.screen);
        EXPECT_EQ(at.cell, c.cell);
        const SearchMove move = PlanSearch(c.firstIndex, c.position);
        EXPECT_EQ(move.firstIndex, c.newFirst);
        EXPECT_EQ(move.fill, c.fill);
        if (c.fill != Fill::kNone) {
            EXPECT_EQ(move.base, c.base);
        }
        EXPECT_EQ(move.cell, c.cell);
        // The filler's guard always passes for a hit inside the listing.
        if (c.fill == Fill::kAfter) {
            EXPECT_TRUE(ShowScreenAfter(c.position, move.base).runs);
        }
        if (c.fill == Fill::kBefore) {
            EXPECT_TRUE(ShowScreenBefore(c.firstIndex + 1, move.base).runs);
        }
    }
}

TEST(Paging, AlreadyCurrent) {
    EXPECT_TRUE(IsAlreadyCurrent(u"PLAN1.DWG", u"plan1.dwg"));
    EXPECT_TRUE(IsAlreadyCurrent(u"PLAN1.DWG", u"Plan1.DWG"));
    EXPECT_FALSE(IsAlreadyCurrent(u"PLAN1.DWG", u"plan2.dwg"));
    EXPECT_FALSE(IsAlreadyCurrent(u"", u""));
    EXPECT_FALSE(IsAlreadyCurrent(u"0", u"0"));
}

}  // namespace
}  // namespace folv::paging
