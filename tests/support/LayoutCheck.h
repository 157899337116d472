#pragma once

// Whether a tree of views is laid out so that a user can read it: every text fits the frame it is
// drawn in (measured by Pango as it is drawn, wrapping where the label wraps), and no two controls
// overlap or stand outside the root. A control inside a scroll view stands inside its document
// and overlaps others only where the scroll view shows it. The faults come back as lines that
// name the control.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <typeinfo>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/RichTextView.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Spinner.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"

namespace testing_support {

// Half a point of rounding is no fault.
inline constexpr double layoutSlack = 0.5;

// A control's name in a fault: its kind and its text.
inline std::string describeControl(const platform::ui::Control& control) {
    using namespace platform::ui;
    if (auto* label = dynamic_cast<const Label*>(&control)) return "label \"" + label->shownText().string() + "\"";
    if (auto* popUp = dynamic_cast<const PopUpButton*>(&control)) return "pop-up \"" + popUp->titleOfSelectedItem() + "\"";
    if (auto* button = dynamic_cast<const Button*>(&control)) {
        const std::string name = button->title().empty() ? button->symbolName() : button->title();
        return (button->type() == Button::Type::checkBox ? "check box \"" : "button \"") + name + "\"";
    }
    if (auto* segmented = dynamic_cast<const SegmentedControl*>(&control)) {
        std::string labels;
        for (const auto& segment : segmented->segments()) labels += (labels.empty() ? "" : "|") + segment.label + segment.toolTip;
        return "segments \"" + labels + "\"";
    }
    if (auto* field = dynamic_cast<const TextField*>(&control)) return "field \"" + field->placeholder() + "\"";
    if (dynamic_cast<const TableView*>(&control)) return "table";
    if (dynamic_cast<const RichTextView*>(&control)) return "text view";
    return std::string("control ") + typeid(control).name();
}

// The fault of one control's text, if its text does not fit its frame.
inline std::string textFault(const platform::ui::Control& control) {
    using namespace platform::ui;
    namespace gfx = platform::gfx;
    const gfx::Rect frame = control.frame();
    auto tooBig = [&](gfx::Size needed) {
        return needed.width > frame.width + layoutSlack || needed.height > frame.height + layoutSlack;
    };
    auto say = [&](gfx::Size needed) {
        char sizes[96];
        std::snprintf(sizes, sizeof sizes, " needs %.1f x %.1f in %.1f x %.1f", needed.width, needed.height, frame.width,
                      frame.height);
        return describeControl(control) + sizes;
    };
    if (auto* label = dynamic_cast<const Label*>(&control)) {
        if (label->shownText().empty()) return {};
        // The whole text, every line it needs, at the frame's width where it wraps.
        TextLayoutOptions whole = label->layoutOptions(label->wraps() ? std::optional<double>(frame.width) : std::nullopt);
        whole.maximumLines = 0;
        whole.truncation = Truncation::none;
        const gfx::Size needed = label->shownText().measure(whole);
        if (tooBig(needed)) return say(needed);
        if (label->maximumLines() > 0) {
            TextLayoutOptions limited = whole;
            limited.maximumLines = label->maximumLines();
            if (label->shownText().measure(limited).height + layoutSlack < needed.height) return say(needed) + " (lines cut)";
        }
        return {};
    }
    if (auto* button = dynamic_cast<const Button*>(&control)) {
        if (button->title().empty()) return {};
        // Its margins across, the title's own height (a push button's bezel may be thinner than
        // the stand-in's margins).
        gfx::Size needed = button->fittingSize();
        if (button->type() == Button::Type::push) needed.height = button->shownTitle().measure().height;
        return tooBig(needed) ? say(needed) : std::string();
    }
    if (auto* popUp = dynamic_cast<const PopUpButton*>(&control)) {
        const gfx::Size needed = popUp->fittingSize();
        return tooBig(needed) ? say(needed) : std::string();
    }
    if (auto* segmented = dynamic_cast<const SegmentedControl*>(&control)) {
        for (int i = 0; i < static_cast<int>(segmented->segments().size()); ++i) {
            const double needed = segmented->neededWidthOfSegment(i), given = segmented->widthOfSegment(i);
            if (needed > given + layoutSlack) {
                return describeControl(control) + " segment " + std::to_string(i) + " needs " + std::to_string(needed) +
                       " in " + std::to_string(given);
            }
        }
        const gfx::Size needed = segmented->fittingSize();
        return needed.width > frame.width + layoutSlack ? say(needed) : std::string();
    }
    return {};
}

namespace detail {

inline void collectControls(const platform::ui::View& view, std::vector<const platform::ui::Control*>& out,
                            std::vector<const platform::ui::View*>& scrollViews) {
    if (view.isHidden()) return;
    if (dynamic_cast<const platform::ui::ScrollView*>(&view)) scrollViews.push_back(&view);
    // A stopped spinner that hides when stopped shows nothing, wherever it stands.
    if (auto* spinner = dynamic_cast<const platform::ui::Spinner*>(&view); spinner && !spinner->isAnimating() && spinner->hidesWhenStopped())
        return;
    if (auto* control = dynamic_cast<const platform::ui::Control*>(&view)) out.push_back(control);
    for (const platform::ui::View* sub : view.subviews()) collectControls(*sub, out, scrollViews);
}

// Where a view stands in the window and the part of it that shows there (cut at the scroll views
// around it), and the area it must keep inside: the document of the nearest scroll view, else `area`.
struct Placed {
    platform::gfx::Rect frame, shown, inside;
};

inline platform::gfx::Rect intersection(const platform::gfx::Rect& a, const platform::gfx::Rect& b) {
    const double x = std::max(a.x, b.x), y = std::max(a.y, b.y);
    return {x, y, std::max(0.0, std::min(a.maxX(), b.maxX()) - x), std::max(0.0, std::min(a.maxY(), b.maxY()) - y)};
}

inline Placed placed(const platform::ui::View& view, const platform::ui::View& root, const platform::gfx::Rect& area) {
    Placed at{view.convertToWindow(view.bounds()), {}, area};
    at.shown = at.frame;
    bool inner = true;
    for (const platform::ui::View* v = view.superview(); v && v != &root; v = v->superview()) {
        auto* scroll = dynamic_cast<const platform::ui::ScrollView*>(v);
        if (!scroll) continue;
        at.shown = intersection(at.shown, scroll->convertToWindow(scroll->bounds()));
        if (inner && scroll->documentView()) at.inside = scroll->documentView()->convertToWindow(scroll->documentView()->bounds());
        inner = false;
    }
    return at;
}

inline bool isAncestor(const platform::ui::View& maybe, const platform::ui::View& of) {
    for (const platform::ui::View* v = of.superview(); v; v = v->superview())
        if (v == &maybe) return true;
    return false;
}

}  // namespace detail

// Every fault of the shown controls under `root`.
inline std::vector<std::string> layoutFaults(const platform::ui::View& root) {
    std::vector<const platform::ui::Control*> controls;
    std::vector<const platform::ui::View*> scrollViews;
    for (const platform::ui::View* sub : root.subviews()) detail::collectControls(*sub, controls, scrollViews);
    std::vector<std::string> faults;
    const platform::gfx::Rect area = root.convertToWindow(root.bounds());
    for (const platform::ui::View* scroll : scrollViews) {
        const platform::gfx::Rect frame = detail::placed(*scroll, root, area).shown;
        if (frame.x < area.x - layoutSlack || frame.y < area.y - layoutSlack || frame.maxX() > area.maxX() + layoutSlack ||
            frame.maxY() > area.maxY() + layoutSlack)
            faults.push_back("a scroll view leaves the root");
    }
    std::vector<platform::gfx::Rect> frames;
    for (const platform::ui::Control* control : controls) {
        if (std::string fault = textFault(*control); !fault.empty()) faults.push_back(fault);
        const detail::Placed at = detail::placed(*control, root, area);
        frames.push_back(at.shown);
        const platform::gfx::Rect& frame = at.frame;
        if (frame.x < at.inside.x - layoutSlack || frame.y < at.inside.y - layoutSlack || frame.maxX() > at.inside.maxX() + layoutSlack ||
            frame.maxY() > at.inside.maxY() + layoutSlack) {
            faults.push_back(describeControl(*control) + (at.inside == area ? " leaves the root" : " leaves its scroll view's document"));
        }
    }
    for (size_t i = 0; i < controls.size(); ++i) {
        for (size_t j = i + 1; j < controls.size(); ++j) {
            if (detail::isAncestor(*controls[i], *controls[j]) || detail::isAncestor(*controls[j], *controls[i])) continue;
            const double w = std::min(frames[i].maxX(), frames[j].maxX()) - std::max(frames[i].x, frames[j].x);
            const double h = std::min(frames[i].maxY(), frames[j].maxY()) - std::max(frames[i].y, frames[j].y);
            if (w > layoutSlack && h > layoutSlack)
                faults.push_back(describeControl(*controls[i]) + " overlaps " + describeControl(*controls[j]));
        }
    }
    return faults;
}

}  // namespace testing_support
