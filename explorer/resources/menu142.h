#pragma once

#include <span>
#include <string_view>

class QMenuBar;

namespace folv {

// One item of a drop-down menu; id 0 is a separator.
struct MenuItemDef {
    int id;
    std::u16string_view text;
    bool grayed;
};

struct MenuDef {
    std::u16string_view title;
    std::span<const MenuItemDef> items;
};

enum class MenuVariant { library, plugin };

// Menu 142: "&File", "&Page", "&Help". The plug-in build has no Open and no Recover.
std::span<const MenuDef> Menu142(MenuVariant variant);

// Fills the bar with the menus of the table. Every item becomes a QAction whose "id" property
// holds its command number; separators are actions too, so positions count them as the
// original menu does.
void BuildMenuBar(QMenuBar& bar, MenuVariant variant);

}  // namespace folv
