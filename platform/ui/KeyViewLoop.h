#pragma once

#include <vector>

namespace platform::ui {

class View;

// The views Tab and Shift+Tab move the keyboard through: every view at or below a root that can
// become a key view, in reading order. Views whose tops lie above the middle of a row's first
// (highest) view share its row; rows go from the top down, each from the left. A scroll view's
// key views follow one another where the scroll view stands, in their document's reading order,
// however far it is scrolled. Main thread.
class KeyViewLoop {
public:
    KeyViewLoop() = delete;

    // The key views below `root`, with `including` placed among them by its position when it is
    // below `root` too (a view that had the keyboard and can no longer take it).
    static std::vector<View*> inReadingOrder(View& root, View* including = nullptr);
    // The key view after `from` (before it, backward), round the ends; from none (or a view
    // outside the loop), the first (last). None when the loop is empty.
    static View* next(View& root, View* from, bool forward);
    // The same among `group` alone (views that keep the keyboard among themselves), `from` placed
    // among them when it is one of them.
    static View* next(const std::vector<View*>& group, View* from, bool forward);
};

}  // namespace platform::ui
