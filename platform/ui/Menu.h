#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/Image.h"

namespace platform::ui {

// A key chord that picks a menu item. `key` is what the key types without Shift (a lower-case
// letter, a digit, a symbol such as "=" or "/") or a key's name ("Return"). `alternateKey` is the
// same key on layouts that type it without Shift ("+" where "=" is Shift+0).
struct Shortcut {
    std::string key;
    std::string alternateKey;
    bool control = false;
    bool shift = false;
    bool alt = false;
    bool super = false;

    bool isEmpty() const { return key.empty(); }
    // The same modifiers, and the pressed key is the key or its alternate.
    bool matches(std::string_view pressedKey, bool control, bool shift, bool alt, bool super) const;
};

// One entry of a menu: a titled command, or a separator. A hidden item is not shown but its
// shortcut still works; a disabled item is shown greyed and does nothing.
struct MenuItem {
    std::string title;
    Shortcut shortcut;
    std::function<void(const MenuItem&)> action;
    int tag = 0;
    // What the item stands for, for its owner's own use; never shown.
    std::string identifier;
    bool hidden = false;
    bool enabled = true;
    bool separator = false;
    // Shown with a check mark. In a menu where any item that is not `checkable` is checked, every
    // item is one choice of a list (the checked one the choice in force).
    bool checked = false;
    // An on/off setting of its own: shown as a check item, marked while `checked`, among plain items.
    bool checkable = false;
    // Shown before the title, `imageSize` points square (the image holds its pixels at the
    // window's scale or more).
    std::shared_ptr<const gfx::Image> image;
    double imageSize = 14;
    // Items of a submenu the item opens; its own action is then never run.
    std::vector<MenuItem> submenu;

    static MenuItem separatorItem() {
        MenuItem item;
        item.separator = true;
        return item;
    }
};

struct Menu {
    std::string title;
    std::vector<MenuItem> items;
};

// The menus of a window's menu bar, in order. Built whole and replaced whole: nothing in it
// changes after it is shown. Toolkits only show the shortcuts; the application's key handling
// asks itemForShortcut and runs the item itself.
struct MenuBar {
    std::vector<Menu> menus;

    // The first item, hidden or not, whose shortcut the chord is; null when none.
    const MenuItem* itemForShortcut(std::string_view pressedKey, bool control, bool shift, bool alt,
                                    bool super) const;
    // The first item with this title, for tests and for the toolkit's activations.
    const MenuItem* itemWithTitle(std::string_view title) const;
    // Runs an enabled item's action; false for a disabled item, a separator or one without action.
    static bool perform(const MenuItem& item);
};

}  // namespace platform::ui
