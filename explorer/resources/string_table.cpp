#include "explorer/resources/string_table.h"

#include <algorithm>
#include <array>
#include <utility>

namespace folv {
namespace {

using Entry = std::pair<int, std::u16string_view>;

// Sorted by number so that lookups can bisect.
constexpr std::array kStrings = {
    Entry{101, u"&About Folvane..."},
    Entry{102, u"Select library"},
    Entry{103, u"Fatal error!Unexpected NULL pointer.\nPlease exit and re-run again the Folvane."},
    Entry{104, u"Some exception occured while writing file INI."},
    Entry{105, u"Could not open file INI for writing."},
    Entry{106, u"Fatal error!Could not define program path."},
    Entry{107, u"Fatal error!Could not open INI file for reading."},
    Entry{108, u"The file could not be renamed."},
    Entry{109, u"The file could not be deleted."},
    Entry{110, u"The file could not be copied."},
    Entry{112, u"Cannot find link."},
    Entry{113, u"Invalid filename to open."},
    Entry{114, u"Undefined link."},
    Entry{115, u"DoTheView -> Null Pointer instead fileData."},
    Entry{116, u"Folvane message"},
    Entry{117, u"This command runs within AutoCAD enviroment only!"},
    Entry{118, u"AutoCAD can not open file %s"},
    Entry{119, u"AcadInsertF was NOT accessed"},
    Entry{120, u"Error loading DLL!"},
    Entry{121, u"AcadXRef was NOT accessed!"},
    Entry{122, u"Error loading ARX!"},
    Entry{123, u"Null Pointer! Error at 01."},
    Entry{124, u"folx2004.arx"},
    Entry{125, u"File can NOT be deleted!"},
    Entry{126, u"File already exists!Are you sure you want to overwrite it?"},
    Entry{127, u"AcadOpenF was NOT accessed!"},
    Entry{130, u"Are you sure you want to delete %s ?"},
    Entry{131, u"folvane.hlp"},
    Entry{132, u"Select page first!"},
    Entry{133, u"The command ignored."},
    Entry{134, u"Are you sure you want to exit?"},
    Entry{10001, u"Define directory"},
    Entry{10002, u"Copy file"},
    Entry{40001, u"Recover DWG file"},
};

static_assert(std::is_sorted(kStrings.begin(), kStrings.end(),
                             [](const Entry& a, const Entry& b) { return a.first < b.first; }));

}  // namespace

std::u16string_view LoadString(int id) {
    auto it = std::lower_bound(kStrings.begin(), kStrings.end(), id,
                               [](const Entry& e, int key) { return e.first < key; });
    if (it == kStrings.end() || it->first != id)
        return {};
    return it->second;
}

std::u16string_view LoadPluginString(int id) {
    if (id == 40001)
        return {};
    return LoadString(id);
}

}  // namespace folv
