#include "model/paging.h"

#include <algorithm>

#include "platform/text.h"

namespace folv::paging {

namespace {

bool HasRecord(std::int64_t count, std::int64_t index) {
    return index >= 0 && index < count;
}

// The fill shared by ">>" and the search's forward move; firstIndex is already the new one.
ScreenChange FillForward(std::int64_t count, std::int64_t firstIndex) {
    ScreenChange change;
    change.runs = true;
    change.firstIndex = firstIndex;
    change.shownFrom = firstIndex;
    change.filled = FilledCells(count, firstIndex);
    change.previous = Button::kEnable;
    const bool gap = change.filled < kCellsPerScreen;
    change.next = gap ? Button::kDisable : Button::kKeep;
    change.focus = gap ? Focus::kPrevious : Focus::kNext;
    return change;
}

// The fill shared by "<<" and the search's backward move, showing the screen at shownFrom.
ScreenChange FillBackward(std::int64_t count, std::int64_t shownFrom, bool& missing) {
    ScreenChange change;
    change.runs = true;
    change.firstIndex = shownFrom;
    change.shownFrom = shownFrom;
    change.filled = FilledCells(count, shownFrom);
    change.next = Button::kEnable;
    change.selectFirst = HasRecord(count, shownFrom) && shownFrom < 11;
    missing = false;
    for (int k = 0; k < kCellsPerScreen; ++k) {
        if (!HasRecord(count, shownFrom + k))
            missing = true;
    }
    if (missing || shownFrom == 0)
        change.previous = Button::kDisable;
    change.focus = shownFrom == 0 ? Focus::kNext : Focus::kPrevious;
    return change;
}

}  // namespace

int FilledCells(std::int64_t count, std::int64_t firstIndex) {
    if (firstIndex < 0 || firstIndex >= count)
        return 0;
    return static_cast<int>(std::min<std::int64_t>(count - firstIndex, kCellsPerScreen));
}

AfterListingState AfterListing(std::int64_t count) {
    AfterListingState state;
    state.nextEnabled = count >= kCellsPerScreen;
    return state;
}

bool CanGoNext(std::int64_t count, std::int64_t firstIndex) {
    return count > 0 && HasRecord(count, firstIndex + kCellsPerScreen);
}

bool CanGoPrevious(std::int64_t count, std::int64_t firstIndex) {
    return count > 0 && firstIndex != 0 && HasRecord(count, firstIndex);
}

ScreenChange NextScreen(std::int64_t count, std::int64_t firstIndex) {
    if (!CanGoNext(count, firstIndex))
        return ScreenChange{.firstIndex = firstIndex};
    return FillForward(count, firstIndex + kCellsPerScreen);
}

ScreenChange ShowScreenAfter(std::int64_t count, std::int64_t base) {
    if (!CanGoNext(count, base))
        return ScreenChange{.firstIndex = base + kCellsPerScreen};
    return FillForward(count, base + kCellsPerScreen);
}

ScreenChange PreviousScreen(std::int64_t count, std::int64_t firstIndex) {
    if (!CanGoPrevious(count, firstIndex))
        return ScreenChange{.firstIndex = firstIndex};
    bool missing = false;
    ScreenChange change = FillBackward(count, firstIndex - kCellsPerScreen, missing);
    // A screen with a hole is not kept: firstIndex goes back to where it was.
    if (missing)
        change.firstIndex = firstIndex;
    return change;
}

ScreenChange ShowScreenBefore(std::int64_t count, std::int64_t base) {
    if (!CanGoPrevious(count, base))
        return ScreenChange{.firstIndex = base - kCellsPerScreen};
    bool missing = false;
    return FillBackward(count, base - kCellsPerScreen, missing);
}

ScreenCell LocatePosition(std::int64_t position) {
    ScreenCell at;
    at.cell = static_cast<int>(position % kCellsPerScreen);
    at.screen = position / kCellsPerScreen;
    if (at.cell == 0) {
        at.cell = kCellsPerScreen;
        at.screen -= 1;
    }
    return at;
}

SearchMove PlanSearch(std::int64_t firstIndex, std::int64_t position) {
    const ScreenCell at = LocatePosition(position);
    const std::int64_t current = firstIndex / kCellsPerScreen;
    SearchMove move;
    move.firstIndex = firstIndex;
    move.cell = at.cell;
    if (at.screen > current) {
        move.firstIndex += (at.screen - current) * kCellsPerScreen;
        move.fill = SearchMove::Fill::kAfter;
        move.base = move.firstIndex - kCellsPerScreen;
    } else if (at.screen < current) {
        move.firstIndex -= (current - at.screen) * kCellsPerScreen;
        move.fill = SearchMove::Fill::kBefore;
        move.base = move.firstIndex + kCellsPerScreen;
    }
    return move;
}

bool IsAlreadyCurrent(std::u16string_view detailsName, std::u16string_view recordName) {
    if (detailsName.empty() || detailsName == u"0")
        return false;
    return LowerAZ(detailsName) == LowerAZ(recordName);
}

}  // namespace folv::paging
