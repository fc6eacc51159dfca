#pragma once

#include <span>
#include <string_view>

#include "model/build_kind.h"

class QMenuBar;

namespace folv {

// One item of a drop-down menu; id 0 is a separator.
struct MenuItemDef {
    int id;
    std::u16string_view text;
    bool grayed;
    bool libraryOnly = false;  // the plug-in build has no Open and no Recover
};

struct MenuDef {
    std::u16string_view title;
    std::span<const MenuItemDef> items;
};

// Menu 142: "&File", "&Page", "&Help", as the library build has it.
std::span<const MenuDef> Menu142();

// Fills the bar with the menus of the table, leaving out the library-only items in the
// plug-in build. Every item becomes a QAction whose "id" property holds its command number;
// separators are actions too, so positions count them as the original menu does.
void BuildMenuBar(QMenuBar& bar, BuildKind build);

}  // namespace folv
