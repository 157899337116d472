#include "platform/ui/Menu.h"

namespace platform::ui {

bool Shortcut::matches(std::string_view pressedKey, bool c, bool s, bool a, bool su) const {
    if (isEmpty() || pressedKey.empty()) return false;
    if (c != control || s != shift || a != alt || su != super) return false;
    return pressedKey == key || (!alternateKey.empty() && pressedKey == alternateKey);
}

const MenuItem* MenuBar::itemForShortcut(std::string_view pressedKey, bool control, bool shift, bool alt,
                                         bool super) const {
    for (const Menu& menu : menus) {
        for (const MenuItem& item : menu.items) {
            if (!item.separator && item.shortcut.matches(pressedKey, control, shift, alt, super)) return &item;
        }
    }
    return nullptr;
}

const MenuItem* MenuBar::itemWithTitle(std::string_view title) const {
    for (const Menu& menu : menus) {
        for (const MenuItem& item : menu.items) {
            if (!item.separator && item.title == title) return &item;
        }
    }
    return nullptr;
}

bool MenuBar::perform(const MenuItem& item) {
    if (item.separator || !item.enabled || !item.action) return false;
    item.action(item);
    return true;
}

}  // namespace platform::ui
