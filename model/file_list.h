#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace folv {

// One listed file. Never changed after the listing made it.
struct FileData {
    PathBuffer name;  // as the enumeration returned it, case kept
    PathBuffer path;  // working folder + name
    std::uint32_t size = 0;
    std::int32_t modified = 0;  // seconds since 1970, low 32 bits of the last-write time
};

// The integer values are stored and compared by callers; keep them.
enum class SortMode : std::int32_t { byName = 0, bySize = 1, byDate = 2 };

// What a sort steps while it runs: the dialog implements it over its progress bar.
class SortProgress {
  public:
    virtual ~SortProgress() = default;
    virtual void SetRange(std::int16_t lower, std::int16_t upper) = 0;
    virtual void SetStep(int step) = 0;
    virtual void SetPos(int pos) = 0;
    virtual void StepIt() = 0;
};

// The progress control of the dialog as the listing uses it: stepped by the sort and shown
// only while a long listing sorts.
class ProgressControl : public SortProgress {
  public:
    virtual void SetVisible(bool visible) = 0;
};

// The records of the current listing in display order; owns them.
class CListF {
  public:
    CListF() = default;
    CListF(const CListF&) = delete;
    CListF& operator=(const CListF&) = delete;

    // The record at a zero-based index, or null outside 0..size-1. The pointer stays valid
    // until the next Clear (sorting moves records, never copies them).
    const FileData* FileAt(std::int64_t index) const noexcept;
    std::int64_t size() const noexcept { return static_cast<std::int64_t>(records_.size()); }
    bool empty() const noexcept { return records_.empty(); }

    void Add(std::unique_ptr<FileData> record);
    // Frees every record.
    void Clear() noexcept { records_.clear(); }

    // Descending by the key; records with equal keys keep their order. Any other mode keeps
    // the whole order. Steps the progress hook, when one is set, once per record.
    void SortFiles(SortMode mode);
    void ReverseFiles() noexcept;

    // Once set, the hook is stepped by every later sort, shown or not.
    void SetProgress(SortProgress* progress) noexcept { progress_ = progress; }
    SortProgress* Progress() const noexcept { return progress_; }

    // 1-based position of the first record whose name begins with the text, comparing the
    // letters A to Z without regard to case.
    std::optional<std::int64_t> FindByPrefix(std::u16string_view text) const;

  private:
    std::vector<std::unique_ptr<FileData>> records_;
    SortProgress* progress_ = nullptr;
};

// Record a counts as less than record b under the mode; never for an unknown mode.
bool SortsBefore(const FileData& a, const FileData& b, SortMode mode) noexcept;

// Listings longer than this show the progress control while they sort.
inline constexpr std::int64_t kProgressThreshold = 100;

struct ListingResult {
    // False when the enumeration found no entry at all (missing folder, nothing matches):
    // the dialog then clears its grid. True otherwise, even when every entry was a folder:
    // the dialog then shows its first screen.
    bool enumerated = false;
    std::int64_t count = 0;  // records now in the list
    // Files left out because working folder + name does not fit a path buffer.
    std::int64_t refused = 0;
};

// Replaces the list with the files (not folders) matching pattern, a folder followed by a
// file-name pattern, sorted ascending by the mode; equal keys come in the reverse of the
// enumeration order. Each record's path is workingDir + name (workingDir ends with the
// separator). With more than 100 files the progress control, when given, becomes the list's
// progress hook and is shown for the sort and hidden after it. The caller then runs
// ShowFirstScreen or ClearGrid as the result says, and resets its paging.
ListingResult ListFolder(std::u16string_view pattern, std::u16string_view workingDir,
                         SortMode sortMode, CListF& list, ProgressControl* progressControl);

}  // namespace folv
