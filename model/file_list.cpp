#include "model/file_list.h"

#include <algorithm>
#include <string>

#include "platform/enumerate.h"

namespace folv {

const FileData* CListF::FileAt(std::int64_t index) const noexcept {
    if (index < 0 || index >= size())
        return nullptr;
    return records_[static_cast<std::size_t>(index)].get();
}

void CListF::Add(std::unique_ptr<FileData> record) {
    if (record)
        records_.push_back(std::move(record));
}

bool SortsBefore(const FileData& a, const FileData& b, SortMode mode) noexcept {
    switch (mode) {
        case SortMode::byName:
            return CompareNoCaseAZ(a.name.View(), b.name.View()) < 0;
        case SortMode::bySize:
            return a.size < b.size;
        case SortMode::byDate:
            return a.modified < b.modified;
    }
    return false;
}

void CListF::SortFiles(SortMode mode) {
    const std::int64_t n = size();
    if (progress_) {
        // The bar's range is 16-bit: a longer listing wraps as it always did.
        progress_->SetRange(1, static_cast<std::int16_t>(static_cast<std::uint16_t>(n & 0xFFFF)));
        progress_->SetStep(1);
        progress_->SetPos(1);
    }
    // A stable sort on the reversed comparison gives exactly what inserting each record
    // behind the last one not below it gives (largest first, ties in their old order),
    // without the quadratic cost.
    std::stable_sort(
        records_.begin(), records_.end(),
        [mode](const std::unique_ptr<FileData>& a, const std::unique_ptr<FileData>& b) {
            return SortsBefore(*b, *a, mode);
        });
    if (progress_) {
        for (std::int64_t i = 1; i < n; ++i)
            progress_->StepIt();
        progress_->StepIt();
    }
}

void CListF::ReverseFiles() noexcept {
    std::reverse(records_.begin(), records_.end());
}

std::optional<std::int64_t> CListF::FindByPrefix(std::u16string_view text) const {
    const std::u16string wanted = LowerAZ(text);
    for (std::size_t i = 0; i < records_.size(); ++i) {
        const std::u16string_view name = records_[i]->name.View();
        if (name.size() < wanted.size())
            continue;
        if (LowerAZ(name.substr(0, wanted.size())) == wanted) {
            return static_cast<std::int64_t>(i) + 1;
        }
    }
    return std::nullopt;
}

ListingResult ListFolder(std::u16string_view pattern, std::u16string_view workingDir,
                         SortMode sortMode, CListF& list, ProgressControl* progressControl) {
    ListingResult result;
    list.Clear();

    const std::vector<DirEntry> entries = ListMatchingFiles(pattern);
    if (entries.empty())
        return result;
    result.enumerated = true;

    for (const DirEntry& entry : entries) {
        if (entry.IsFolder())
            continue;
        auto record = std::make_unique<FileData>();
        // A path cut to fit would name another file: such a file is left out instead.
        if (!record->name.Assign(entry.name) || !record->path.Assign(workingDir) ||
            !record->path.Append(entry.name)) {
            ++result.refused;
            continue;
        }
        record->size = entry.size;
        record->modified =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(entry.modified & 0xFFFFFFFF));
        list.Add(std::move(record));
    }

    const bool longListing = list.size() > kProgressThreshold;
    if (longListing && progressControl) {
        list.SetProgress(progressControl);
        progressControl->SetVisible(true);
    }
    list.SortFiles(sortMode);
    list.ReverseFiles();
    if (longListing && progressControl)
        progressControl->SetVisible(false);

    result.count = list.size();
    return result;
}

}  // namespace folv
