#include "platform/ui/RichText.h"

#include <glib.h>

#include <algorithm>
#include <cmath>

#include "platform/ui/PangoText.h"

namespace platform::ui {

namespace {

std::string validUtf8(std::string text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
    gchar* made = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string valid(made);
    g_free(made);
    return valid;
}

double points(int pangoUnits) { return static_cast<double>(pangoUnits) / PANGO_SCALE; }

// The top of each shown line and the height of the paragraph down to the last one.
struct LineBoxes {
    std::vector<double> starts, tops, bottoms, rights;
    double height = 0;
    double width = 0;
};

LineBoxes lineBoxes(const pango::LaidParagraph& laid) {
    LineBoxes boxes;
    PangoLayoutIter* iter = pango_layout_get_iter(laid.layout.get());
    int index = 0;
    do {
        if (index >= laid.shownLines) break;
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(iter, nullptr, &logical);
        boxes.starts.push_back(points(logical.x));
        boxes.tops.push_back(points(logical.y));
        boxes.bottoms.push_back(points(logical.y + logical.height));
        boxes.rights.push_back(points(logical.x + logical.width));
        boxes.height = points(logical.y + logical.height);
        boxes.width = std::max(boxes.width, points(logical.x + logical.width));
        ++index;
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    return boxes;
}

double roundUp(double v) { return std::ceil(v - 1e-6); }

}  // namespace

RichText::RichText(std::string text, const TextAttributes& attributes) { append(std::move(text), attributes); }

RichText& RichText::append(std::string text, const TextAttributes& attributes) {
    if (text.empty()) return *this;
    text = validUtf8(std::move(text));
    if (!runs_.empty() && runs_.back().attributes == attributes) {
        runs_.back().text += text;
    } else {
        runs_.push_back({std::move(text), attributes});
    }
    return *this;
}

RichText& RichText::append(const RichText& other) {
    for (const Run& run : other.runs_) append(run.text, run.attributes);
    return *this;
}

std::string RichText::string() const {
    std::string whole;
    for (const Run& run : runs_) whole += run.text;
    return whole;
}

const TextAttributes* RichText::attributesAt(size_t byte) const {
    size_t at = 0;
    for (const Run& run : runs_) {
        at += run.text.size();
        if (byte < at) return &run.attributes;
    }
    return runs_.empty() ? nullptr : &runs_.back().attributes;
}

std::vector<RichText::Paragraph> RichText::paragraphs() const {
    std::vector<Paragraph> result;
    const std::string whole = string();
    size_t begin = 0;
    while (true) {
        const size_t feed = whole.find('\n', begin);
        const size_t end = feed == std::string::npos ? whole.size() : feed;
        const TextAttributes* style = attributesAt(begin);
        result.push_back({begin, end, style ? style->paragraph : ParagraphStyle{}});
        if (feed == std::string::npos) break;
        begin = feed + 1;
    }
    return result;
}

std::vector<RichText::ParagraphFrame> RichText::layout(const TextLayoutOptions& options) const {
    std::vector<ParagraphFrame> frames;
    double y = 0;
    for (const pango::LaidParagraph& laid : pango::layParagraphs(*this, options)) {
        const LineBoxes boxes = lineBoxes(laid);
        y += laid.paragraph.style.spacingBefore;
        ParagraphFrame frame{y, boxes.height, boxes.starts, {}};
        for (double top : boxes.tops) frame.lineTops.push_back(y + top);
        frames.push_back(std::move(frame));
        y += boxes.height + laid.paragraph.style.spacingAfter;
    }
    return frames;
}

gfx::Size RichText::measure(std::optional<double> width, std::optional<double> maxHeight) const {
    TextLayoutOptions options;
    options.width = width;
    return measure(options, maxHeight);
}

gfx::Size RichText::measure(const TextLayoutOptions& options, std::optional<double> maxHeight) const {
    const double limit = maxHeight && std::isfinite(*maxHeight) ? *maxHeight + 1e-6 : HUGE_VAL;
    gfx::Size size;
    double y = 0;
    for (const pango::LaidParagraph& laid : pango::layParagraphs(*this, options)) {
        const LineBoxes boxes = lineBoxes(laid);
        const double top = y + laid.paragraph.style.spacingBefore;
        for (size_t i = 0; i < boxes.bottoms.size(); ++i) {
            // Only whole lines that fit count.
            if (top + boxes.bottoms[i] > limit) return {roundUp(size.width), roundUp(size.height)};
            size.height = top + boxes.bottoms[i];
            size.width = std::max(size.width, boxes.rights[i]);
        }
        y = top + boxes.height + laid.paragraph.style.spacingAfter;
        if (y <= limit) size.height = y;
    }
    return {roundUp(size.width), roundUp(size.height)};
}

void RichText::draw(gfx::Canvas& canvas, const gfx::Rect& rect, bool flipped, const TextLayoutOptions& options) const {
    drawLaid(canvas, rect, flipped, Laid{options, pango::layParagraphs(*this, options)});
}

std::shared_ptr<const RichText::Laid> RichText::lay(const TextLayoutOptions& options) const {
    return std::make_shared<const Laid>(Laid{options, pango::layParagraphs(*this, options)});
}

void RichText::drawLaid(gfx::Canvas& canvas, const gfx::Rect& rect, bool flipped, const Laid& text) {
    const TextLayoutOptions& options = text.options;
    double y = 0;
    const bool pangoAligns = options.width && (options.wraps || options.truncation != Truncation::none);
    canvas.save();
    canvas.clip(rect);
    for (const pango::LaidParagraph& laid : text.paragraphs) {
        const LineBoxes boxes = lineBoxes(laid);
        y += laid.paragraph.style.spacingBefore;
        double x = rect.x;
        // Without a width Pango aligns nothing: place the block in the rectangle.
        if (!pangoAligns && laid.paragraph.style.alignment != TextAlignment::left) {
            const double room = rect.width - boxes.width;
            x += laid.paragraph.style.alignment == TextAlignment::center ? room / 2 : room;
        }
        const double top = flipped ? rect.y + y : rect.maxY() - y;
        canvas.save();
        // Lines past a line limit are not shown.
        const gfx::Rect shown = flipped ? gfx::Rect{rect.x, top, rect.width, boxes.height}
                                        : gfx::Rect{rect.x, top - boxes.height, rect.width, boxes.height};
        canvas.clip(shown);
        canvas.drawTextLayout(laid.layout.get(), {x, top}, gfx::Rgba{0, 0, 0, 1});
        canvas.restore();
        y += boxes.height + laid.paragraph.style.spacingAfter;
    }
    canvas.restore();
}

std::string RichText::linkAt(gfx::Point point, const TextLayoutOptions& options) const {
    double y = 0;
    for (const pango::LaidParagraph& laid : pango::layParagraphs(*this, options)) {
        const LineBoxes boxes = lineBoxes(laid);
        y += laid.paragraph.style.spacingBefore;
        if (point.y >= y && point.y < y + boxes.height) {
            int index = 0, trailing = 0;
            if (!pango_layout_xy_to_index(laid.layout.get(), static_cast<int>(point.x * PANGO_SCALE),
                                          static_cast<int>((point.y - y) * PANGO_SCALE), &index, &trailing)) {
                return {};
            }
            const TextAttributes* style = attributesAt(laid.paragraph.begin + static_cast<size_t>(index));
            return style ? style->link : std::string();
        }
        y += boxes.height + laid.paragraph.style.spacingAfter;
    }
    return {};
}

}  // namespace platform::ui
