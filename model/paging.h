#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace folv::paging {

// Three columns by four rows; cell k is control 1001 + k, its label 1025 + k.
inline constexpr int kCellsPerScreen = 12;

// The record shown in cell k (0..11) of the screen starting at firstIndex.
constexpr std::int64_t RecordForCell(std::int64_t firstIndex, int cell) {
    return firstIndex + cell;
}

// How many cells of the screen starting at firstIndex hold a record (0..12).
int FilledCells(std::int64_t count, std::int64_t firstIndex);

// A button change made by a paging step: kKeep leaves the button as it was.
enum class Button { kKeep, kEnable, kDisable };
enum class Focus { kNone, kPrevious, kNext };

// The button states right after a listing: "<<" disabled, ">>" enabled exactly when the
// twelfth cell was filled.
struct AfterListingState {
    std::int64_t firstIndex = 0;
    bool previousEnabled = false;
    bool nextEnabled = false;
};
AfterListingState AfterListing(std::int64_t count);

// One screen change: which records show and what happens to the buttons.
struct ScreenChange {
    bool runs = false;            // false: the guard failed and nothing changes
    std::int64_t firstIndex = 0;  // firstIndex once the step is over
    std::int64_t shownFrom = 0;   // cell k shows record shownFrom + k ...
    int filled = 0;               // ... for k below filled; the other cells are hidden
    bool selectFirst = false;     // cell 1 becomes the selected file (back on the first screen)
    Button previous = Button::kKeep;
    Button next = Button::kKeep;
    Focus focus = Focus::kNone;
};

// ">>": needs a record at firstIndex + 12.
ScreenChange NextScreen(std::int64_t count, std::int64_t firstIndex);
// "<<": needs firstIndex not 0 and a record at firstIndex.
ScreenChange PreviousScreen(std::int64_t count, std::int64_t firstIndex);
// The search's fillers: shows base + 12 ... / base - 12 ...; the caller has already moved
// firstIndex (returned unchanged from what the caller set).
ScreenChange ShowScreenAfter(std::int64_t count, std::int64_t base);
ScreenChange ShowScreenBefore(std::int64_t count, std::int64_t base);

bool CanGoNext(std::int64_t count, std::int64_t firstIndex);
bool CanGoPrevious(std::int64_t count, std::int64_t firstIndex);

// Screen and cell of a 1-based position: cell 1..12, screen s starting at record 12 * s.
struct ScreenCell {
    std::int64_t screen = 0;
    int cell = 1;
};
ScreenCell LocatePosition(std::int64_t position);

// What the search does to reach a hit at a 1-based position from the screen at firstIndex.
struct SearchMove {
    enum class Fill { kNone, kAfter, kBefore };
    std::int64_t firstIndex = 0;  // the new firstIndex, set before the fill runs
    Fill fill = Fill::kNone;      // ShowScreenAfter / ShowScreenBefore, or the grid stays
    std::int64_t base = 0;        // the argument of that fill
    int cell = 1;                 // then SelectCell(cell)
};
SearchMove PlanSearch(std::int64_t firstIndex, std::int64_t position);

// The search stops when the hit is already the current file: the details panel's name (upper
// case) equals the record's name without regard to the case of A to Z, and is neither empty
// nor "0".
bool IsAlreadyCurrent(std::u16string_view detailsName, std::u16string_view recordName);

}  // namespace folv::paging
