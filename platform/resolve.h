#pragma once

#include <string>
#include <string_view>

namespace folv {

// The file system here tells case apart; the original did not, and several commands build
// a path from an upper-case display name. Each component that does not exist as written is
// replaced by the one entry of its folder whose name matches it without regard to A-Z case
// (the first in ordinal order when several do). Components that match nothing are kept as
// written, so the result names the file to create when none exists.
std::u16string ResolveExistingPath(std::u16string_view path);

// Folder + name, resolved as above.
std::u16string ResolveInFolder(std::u16string_view folder, std::u16string_view name);

}  // namespace folv
