#include "explorer/resources/menu142.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <array>

#include "explorer/qt_text.h"

namespace folv {
namespace {

constexpr std::array kFile = {
    MenuItemDef{1016, u"&Open", true, true},
    MenuItemDef{1045, u"&Copy", true},
    MenuItemDef{1044, u"&Delete", true},
    MenuItemDef{1043, u"&Rename", true},
    MenuItemDef{1047, u"&Insert", true},
    MenuItemDef{32782, u"&XRef", true},
    MenuItemDef{40001, u"Recover", true, true},
    MenuItemDef{0, u"", false},
    MenuItemDef{1037, u"Sort by &name", false},
    MenuItemDef{1056, u"Sort by &size", false},
    MenuItemDef{1057, u"Sort by &date", false},
    MenuItemDef{0, u"", false},
    MenuItemDef{2, u"E&xit", false},
};

constexpr std::array kPage = {
    MenuItemDef{32784, u"&Add", false},
    MenuItemDef{32785, u"&Rename", false},
    MenuItemDef{32786, u"&Delete", false},
    MenuItemDef{0, u"", false},
    MenuItemDef{32775, u"Move &Up", false},
    MenuItemDef{32776, u"Move Do&wn", false},
    MenuItemDef{0, u"", false},
    MenuItemDef{10001, u"De&fine directory", false},
    MenuItemDef{1021, u"Open with", false},
    MenuItemDef{1073, u"Default &Layer", false},
};

constexpr std::array kHelp = {
    MenuItemDef{1088, u"&Folvane Help", false},
    MenuItemDef{1058, u"&About", false},
};

constexpr std::array kMenu = {
    MenuDef{u"&File", kFile},
    MenuDef{u"&Page", kPage},
    MenuDef{u"&Help", kHelp},
};

bool IsSortItem(int id) {
    return id == 1037 || id == 1056 || id == 1057;
}

}  // namespace

std::span<const MenuDef> Menu142() {
    return kMenu;
}

void BuildMenuBar(QMenuBar& bar, BuildKind build) {
    for (const MenuDef& menuDef : Menu142()) {
        QMenu* menu = bar.addMenu(ToQ(menuDef.title));
        for (const MenuItemDef& item : menuDef.items) {
            if (item.libraryOnly && build == BuildKind::Plugin)
                continue;
            QAction* action = nullptr;
            if (item.id == 0) {
                action = menu->addSeparator();
            } else {
                action = menu->addAction(ToQ(item.text));
                action->setEnabled(!item.grayed);
                if (IsSortItem(item.id))
                    action->setCheckable(true);
            }
            action->setProperty("id", item.id);
        }
    }
}

}  // namespace folv
