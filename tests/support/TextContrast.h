#pragma once

// How well each control's text stands out from what lies under it, read from drawn pixels: the
// ground is the commonest colour of the text's area, the ink the pixel that differs from it most
// (the cores of the glyphs), and their contrast is measured as WCAG 2 measures it. Texts whose runs
// carry colours of their own are measured with each run's colour against the drawn ground too, so
// that a muted run beside a strong one cannot hide behind it. Texts and buttons a view draws itself
// (a card's labels, its drawn buttons) count as controls' do; a drawn button's symbol, and the
// focus ring of whatever has the keyboard (a segment, a drawn button), count as marks (3:1).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/gfx/Rect.h"
#include "platform/gfx/Rgba.h"
#include "platform/ui/Button.h"
#include "platform/ui/DrawnButton.h"
#include "platform/ui/Label.h"
#include "platform/ui/Layers.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/RichTextView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"
#include "support/LayoutCheck.h"

namespace testing_support {

// WCAG 2's relative luminance of an sRGB colour.
inline double luminance(const platform::gfx::Rgba& c) {
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.red) + 0.7152 * linear(c.green) + 0.0722 * linear(c.blue);
}

inline double contrastRatio(const platform::gfx::Rgba& a, const platform::gfx::Rgba& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// An opaque pixel as 0xRRGGBB.
inline platform::gfx::Rgba colourOf(uint32_t rgb) {
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, 1};
}

// Reads one device pixel of a drawn window (from its top-left) as 0xRRGGBB.
using PixelReader = std::function<uint32_t(int x, int y)>;

struct Contrast {
    double ratio = 21;
    platform::gfx::Rgba ground{0, 0, 0, 1};
    platform::gfx::Rgba ink{0, 0, 0, 1};
};

// The ground and the ink of a device rectangle.
inline Contrast pixelContrast(const PixelReader& pixel, int x0, int y0, int x1, int y1) {
    std::map<uint32_t, int> counts;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) ++counts[pixel(x, y) & 0xFFFFFF];
    Contrast found;
    if (counts.empty()) return found;
    const uint32_t ground = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
    found.ground = colourOf(ground);
    found.ratio = 1;
    found.ink = found.ground;
    for (const auto& [rgb, count] : counts) {
        const double ratio = contrastRatio(found.ground, colourOf(rgb));
        if (ratio > found.ratio) found = {ratio, found.ground, colourOf(rgb)};
    }
    return found;
}

// One text of a control: where it is drawn in the window (points, y up) and the colours its
// runs ask for (none: the toolkit chooses). A mark that is not text (a check box's tick) needs
// only `minimum` (the non-text contrast of 3:1); 0 takes the check's own minimum.
struct DrawnText {
    std::string name;
    platform::gfx::Rect area;
    std::vector<platform::gfx::Rgba> runColours;
    double minimum = 0;
};

// Parts of a user interface that are not text stand out by 3:1.
inline constexpr double nonTextMinimum = 3;

namespace detail {

inline std::vector<platform::gfx::Rgba> coloursOf(const platform::ui::RichText& text) {
    std::vector<platform::gfx::Rgba> colours;
    for (const auto& run : text.runs()) {
        bool blank = true;
        for (char c : run.text) blank = blank && (c == ' ' || c == '\n');
        if (!blank) colours.push_back(run.attributes.color);
    }
    return colours;
}

// A run's colour as the view's opacity shows it.
inline std::vector<platform::gfx::Rgba> faded(std::vector<platform::gfx::Rgba> colours, double opacity) {
    for (platform::gfx::Rgba& colour : colours) colour.alpha *= opacity;
    return colours;
}

// A focus ring drawn inside `frame` (window points, y up): a strip across its top edge, in from the
// corners, the ring and the fill under it and none of a centred title.
inline platform::gfx::Rect ringStrip(const platform::gfx::Rect& frame) {
    const double width = std::min(20.0, frame.width / 2);
    return {frame.x + (frame.width - width) / 2, frame.maxY() - 5, width, 5};
}

// The texts and marks of views that draw themselves.
inline void collectDrawn(const platform::ui::View& view, const platform::gfx::Rect& frame, std::vector<DrawnText>& out) {
    using namespace platform::ui;
    if (auto* text = dynamic_cast<const TextLayer*>(&view)) {
        const RichText shownText = text->shownText();
        if (!shownText.empty() && view.opacity() > 0)
            out.push_back({"text \"" + shownText.string().substr(0, 40) + "\"", frame, faded(coloursOf(shownText), view.opacity())});
    } else if (auto* button = dynamic_cast<const DrawnButton*>(&view); button && button->isEnabled()) {
        const std::string name = "drawn button \"" + button->attributedTitle().string() + "\"";
        if (!button->attributedTitle().empty()) out.push_back({name, frame, coloursOf(button->attributedTitle())});
        else if (button->symbol() != DrawnButton::Symbol::none) out.push_back({name + " (its symbol)", frame, {}, nonTextMinimum});
        if (button->isKeyboardOperable() && button->isFirstResponder())
            out.push_back({name + " (its focus ring)", ringStrip(frame), {}, nonTextMinimum});
    }
}

// Only what shows whole inside the scroll views around it (`shown`, window points) is measured.
inline void collectTexts(const platform::ui::View& view, std::vector<DrawnText>& out, platform::gfx::Rect shown) {
    using namespace platform::ui;
    if (view.isHidden()) return;
    const size_t first = out.size();
    const platform::gfx::Rect frame = view.convertToWindow(view.bounds());
    collectDrawn(view, frame, out);
    if (auto* control = dynamic_cast<const Control*>(&view); control && control->isEnabled()) {
        const std::string name = describeControl(*control);
        if (auto* label = dynamic_cast<const Label*>(&view)) {
            if (!label->shownText().empty()) out.push_back({name, frame, coloursOf(label->shownText())});
        } else if (auto* popUp = dynamic_cast<const PopUpButton*>(&view)) {
            // The selected item, left of the arrows.
            if (!popUp->titleOfSelectedItem().empty())
                out.push_back({name, {frame.x, frame.y, std::max(1.0, frame.width - 24), frame.height}, {}});
        } else if (auto* button = dynamic_cast<const Button*>(&view)) {
            const bool tinted = button->attributedTitle() || button->contentTintColor();
            if (button->type() == Button::Type::checkBox) {
                // Its box, which the toolkit centres on the frame: once it is on, the middle of it
                // (the tick on the box's fill); while it is off, all of it (its edge on the ground).
                const double middle = frame.y + frame.height / 2, side = Button::checkBoxSide;
                const platform::gfx::Rect box = button->state() == Button::State::on ? platform::gfx::Rect{frame.x + 3, middle - 4, side - 6, 8}
                                                                                     : platform::gfx::Rect{frame.x, middle - side / 2, side, side};
                out.push_back({name + " (its box)", box, {}, nonTextMinimum});
            }
            if (!button->title().empty()) {
                platform::gfx::Rect area = frame;
                if (button->type() == Button::Type::checkBox) {
                    area.x += Button::checkBoxTitleX;
                    area.width -= Button::checkBoxTitleX;
                }
                out.push_back({name, area, tinted ? coloursOf(button->shownTitle()) : std::vector<platform::gfx::Rgba>{}});
            } else if (button->image() || !button->symbolName().empty()) {
                out.push_back({name + " (its image)", frame, {}});
            }
        } else if (auto* field = dynamic_cast<const TextField*>(&view)) {
            // Its text, or its placeholder while it is empty.
            const bool empty = field->stringValue().empty();
            const std::optional<platform::gfx::Rgba>& colour = empty ? field->placeholderColor() : field->textColor();
            if (!(empty ? field->placeholder() : field->stringValue()).empty())
                out.push_back({name + (empty ? " (its placeholder)" : ""), frame,
                               colour ? std::vector<platform::gfx::Rgba>{*colour} : std::vector<platform::gfx::Rgba>{}});
        } else if (auto* table = dynamic_cast<const TableView*>(&view)) {
            // Each row wholly in sight on its own ground: the selected one on the highlight.
            for (int row = 0; row < table->numberOfRows(); ++row) {
                const double top = row * table->rowHeight() - table->scrollOffset();
                if (top < 0 || top + table->rowHeight() > frame.height) continue;
                out.push_back({name + " row " + std::to_string(row) + (row == table->selectedRow() ? " (selected)" : ""),
                               {frame.x, frame.maxY() - top - table->rowHeight(), frame.width, table->rowHeight()},
                               coloursOf(table->rows()[static_cast<size_t>(row)].text)});
            }
        } else if (auto* text = dynamic_cast<const RichTextView*>(&view)) {
            if (!text->text().empty()) out.push_back({name, frame, coloursOf(text->text())});
        } else if (auto* segmented = dynamic_cast<const SegmentedControl*>(&view)) {
            // Each segment on its own ground; the toolkit shares out what the frame has beyond
            // the segments' widths.
            const double total = segmented->fittingSize().width;
            const double extra = std::max(0.0, frame.width - total) / std::max<size_t>(1, segmented->segments().size());
            double x = frame.x;
            for (int i = 0; i < static_cast<int>(segmented->segments().size()); ++i) {
                const double w = segmented->widthOfSegment(i) + extra;
                const std::string segment = name + " segment " + std::to_string(i) + (i == segmented->selectedSegment() ? " (selected)" : "");
                out.push_back({segment, {x + 3, frame.y + 3, w - 6, frame.height - 6}, {}});
                if (i == segmented->focusedSegment() && segmented->isFirstResponder())
                    out.push_back({segment + " (its focus ring)", ringStrip({x, frame.y, w, frame.height}), {}, nonTextMinimum});
                x += w;
            }
        }
    }
    out.erase(std::remove_if(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                             [&](const DrawnText& text) {
                                 const platform::gfx::Rect& a = text.area;
                                 return a.x < shown.x - layoutSlack || a.y < shown.y - layoutSlack ||
                                        a.maxX() > shown.maxX() + layoutSlack || a.maxY() > shown.maxY() + layoutSlack;
                             }),
              out.end());
    if (dynamic_cast<const ScrollView*>(&view)) shown = detail::intersection(shown, view.convertToWindow(view.bounds()));
    for (const View* sub : view.subviews()) collectTexts(*sub, out, shown);
}

}  // namespace detail

// Every text and image of the shown, enabled controls under `root` whose contrast with its drawn
// ground stays under `minimum` (a check box's box under nonTextMinimum), as lines that name it:
// titles, labels, fields (their placeholders too), the rows of tables in sight, scrolling text;
// inside a scroll view, those it shows whole. `scale` device pixels a point; the window
// is `windowHeight` points high.
inline std::vector<std::string> contrastFaults(const platform::ui::View& root, const PixelReader& pixel, double scale,
                                               double windowHeight, double minimum = 4.5) {
    std::vector<DrawnText> texts;
    const platform::gfx::Rect everywhere{-1e9, -1e9, 2e9, 2e9};
    for (const platform::ui::View* sub : root.subviews()) detail::collectTexts(*sub, texts, everywhere);
    std::vector<std::string> faults;
    for (const DrawnText& text : texts) {
        const int x0 = static_cast<int>(std::floor(text.area.x * scale)), x1 = static_cast<int>(std::ceil(text.area.maxX() * scale));
        const int y0 = static_cast<int>(std::floor((windowHeight - text.area.maxY()) * scale));
        const int y1 = static_cast<int>(std::ceil((windowHeight - text.area.y) * scale));
        if (x1 <= x0 || y1 <= y0) continue;
        const Contrast drawn = pixelContrast(pixel, x0, y0, x1, y1);
        auto say = [&](const std::string& what, double ratio, const platform::gfx::Rgba& ink) {
            char line[200];
            std::snprintf(line, sizeof line, ": %s %.2f:1 (ink %d,%d,%d on %d,%d,%d)", what.c_str(), ratio, int(std::lround(ink.red * 255)),
                          int(std::lround(ink.green * 255)), int(std::lround(ink.blue * 255)), int(std::lround(drawn.ground.red * 255)),
                          int(std::lround(drawn.ground.green * 255)), int(std::lround(drawn.ground.blue * 255)));
            faults.push_back(text.name + line);
        };
        if (text.minimum > 0) {
            if (drawn.ratio < text.minimum) say("drawn", drawn.ratio, drawn.ink);
            continue;
        }
        if (drawn.ratio < minimum) say("drawn", drawn.ratio, drawn.ink);
        for (const platform::gfx::Rgba& colour : text.runColours) {
            // A translucent run is seen over the ground.
            const platform::gfx::Rgba seen{colour.red * colour.alpha + drawn.ground.red * (1 - colour.alpha),
                                           colour.green * colour.alpha + drawn.ground.green * (1 - colour.alpha),
                                           colour.blue * colour.alpha + drawn.ground.blue * (1 - colour.alpha), 1};
            if (const double ratio = contrastRatio(seen, drawn.ground); ratio < minimum) say("its colour", ratio, seen);
        }
    }
    return faults;
}

}  // namespace testing_support
