#include "platform/ui/KeyViewLoop.h"

#include <algorithm>

#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"

namespace platform::ui {

namespace {

struct Placed {
    View* view;
    gfx::Rect frame;  // window points, y up
    // A scroll view's key views, in their own reading order (the view is then none).
    std::vector<View*> group;
};

std::vector<View*> ordered(std::vector<Placed> placed);

void collect(View& view, View* including, std::vector<Placed>& out) {
    if (view.isHidden()) return;
    if (&view == including || view.canBecomeKeyView()) out.push_back({&view, view.convertToWindow(view.bounds()), {}});
    // A scroll view's key views stand together where it stands, in their order in its document,
    // however far it is scrolled (one scrolled out below it does not come after what lies below).
    if (dynamic_cast<ScrollView*>(&view)) {
        std::vector<Placed> inside;
        for (View* sub : view.subviews()) collect(*sub, including, inside);
        if (!inside.empty()) out.push_back({nullptr, view.convertToWindow(view.bounds()), ordered(std::move(inside))});
        return;
    }
    for (View* sub : view.subviews()) collect(*sub, including, out);
}

bool isBelow(const View* view, const View& root) {
    for (const View* v = view; v; v = v->superview()) {
        if (v == &root) return true;
    }
    return false;
}

// Highest top first; ties keep the given order. Each row then from the left.
std::vector<View*> ordered(std::vector<Placed> placed) {
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.frame.maxY() > b.frame.maxY(); });
    std::vector<View*> order;
    order.reserve(placed.size());
    for (size_t start = 0; start < placed.size();) {
        const double middle = placed[start].frame.maxY() - placed[start].frame.height / 2;
        size_t end = start + 1;
        while (end < placed.size() && placed[end].frame.maxY() > middle) ++end;
        std::stable_sort(placed.begin() + static_cast<std::ptrdiff_t>(start), placed.begin() + static_cast<std::ptrdiff_t>(end),
                         [](const Placed& a, const Placed& b) { return a.frame.x < b.frame.x; });
        for (size_t i = start; i < end; ++i) {
            if (placed[i].view) order.push_back(placed[i].view);
            else order.insert(order.end(), placed[i].group.begin(), placed[i].group.end());
        }
        start = end;
    }
    return order;
}

// The view after `from` in `order`, round the ends; `from` itself last, and only while it still
// is a key view. From none (or a view outside the order), the first (last).
View* after(const std::vector<View*>& order, View* from, bool forward) {
    if (order.empty()) return nullptr;
    const auto at = std::find(order.begin(), order.end(), from);
    if (at == order.end()) return forward ? order.front() : order.back();
    const size_t index = static_cast<size_t>(at - order.begin()), count = order.size();
    for (size_t step = 1; step <= count; ++step) {
        View* candidate = order[(forward ? index + step : index + count - step) % count];
        if (candidate->canBecomeKeyView()) return candidate;
    }
    return nullptr;
}

}  // namespace

std::vector<View*> KeyViewLoop::inReadingOrder(View& root, View* including) {
    std::vector<Placed> placed;
    if (including && !isBelow(including, root)) including = nullptr;
    // A view that lost the keyboard by being hidden still marks where the loop stands.
    if (including && including->isHiddenOrHasHiddenAncestor()) {
        collect(root, nullptr, placed);
        placed.push_back({including, including->convertToWindow(including->bounds()), {}});
    } else {
        collect(root, including, placed);
    }
    return ordered(std::move(placed));
}

View* KeyViewLoop::next(View& root, View* from, bool forward) { return after(inReadingOrder(root, from), from, forward); }

View* KeyViewLoop::next(const std::vector<View*>& group, View* from, bool forward) {
    std::vector<Placed> placed;
    for (View* view : group) {
        if (view && (view == from || view->canBecomeKeyView())) placed.push_back({view, view->convertToWindow(view->bounds()), {}});
    }
    return after(ordered(std::move(placed)), from, forward);
}

}  // namespace platform::ui
