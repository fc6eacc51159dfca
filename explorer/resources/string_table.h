#pragma once

#include <string_view>

namespace folv {

// Texts of the explorer's string table, addressed by resource number.
// Returns an empty view for a number the table does not hold.
std::u16string_view LoadString(int id);

// The plug-in build has no Recover command and therefore no text 40001.
std::u16string_view LoadPluginString(int id);

}  // namespace folv
