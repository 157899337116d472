#include "vantel/view/TerminalDebugView.h"

#include <pango/pangocairo.h>

#include <cstdio>

#include "platform/gfx/Font.h"
#include "vantel/core/Character.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

namespace {

struct LayoutDeleter {
    void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, LayoutDeleter>;

PangoContext* debugContext() {
    static PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
    return context;
}

LayoutPtr layoutOf(const std::string& text, const std::string& family, double size) {
    LayoutPtr layout(pango_layout_new(debugContext()));
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, family.c_str());
    pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), font);
    pango_font_description_free(font);
    pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
    pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
    return layout;
}

// The first installed of the two typewriter faces, else the system's monospace one.
std::string debugFamily() {
    for (const char* family : {"Lucida Sans Typewriter", "Courier"}) {
        if (auto font = platform::gfx::Font::create(family, 8); font && font->family() == family) return family;
    }
    return "monospace";
}

}  // namespace

TerminalDebugView::TerminalDebugView(const Rect& frame, TerminalView& terminal)
    : View(frame), terminalView_(terminal), terminal_(terminal.getTerminal()), family_(debugFamily()) {
    terminalView_.setDebug(this);
    PangoRectangle ink;
    pango_layout_get_pixel_extents(layoutOf("W", family_, fontSize_).get(), &ink, nullptr);
    height_ = ink.height > 0 ? ink.height : fontSize_;
}

TerminalDebugView::~TerminalDebugView() {
    if (terminalView_.debug() == this) terminalView_.setDebug(nullptr);
}

int TerminalDebugView::slotCount() const { return terminal_.buffer().lines().capacity(); }

void TerminalDebugView::update() {
    setNeedsDisplay();
    const Buffer& buffer = terminal_.buffer();
    char text[200];
    std::snprintf(text, sizeof text, "x: %d y: %d yDisp: %d yBase: %d clc: %d startIndex: %lld", buffer.x(), buffer.y(),
                  buffer.yDisp(), buffer.yBase(), buffer.lines().capacity(),
                  static_cast<long long>(buffer.lines().startIndex()));
    status_ = text;
}

std::string TerminalDebugView::getDebugString(const BufferLine* line, int cols, const std::string& prefix) const {
    std::string out = prefix;
    if (!line) return out + "<empty>";
    for (int col = 0; col < cols; ++col) {
        const CharData& cell = (*line)[col];
        if (cell.code == 0) {
            out += ' ';
        } else {
            out += toUtf8(terminal_.getCharacter(cell));
        }
    }
    return out;
}

std::string TerminalDebugView::flags(int i) const {
    const Buffer& buffer = terminal_.buffer();
    return std::string(i == buffer.yDisp() ? "D" : " ") + (i == buffer.yBase() ? "B" : " ");
}

std::string TerminalDebugView::rawSlotRow(int i) const {
    const auto& lines = terminal_.buffer().lines();
    const int slots = std::max(1, lines.capacity());
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "[%03d:%03d]", i, static_cast<int>(((lines.startIndex() + i) % slots + slots) % slots));
    return getDebugString(lines.lineInSlot(i), terminal_.cols(), prefix + flags(i));
}

std::string TerminalDebugView::logicalLineRow(int i) const {
    auto& lines = const_cast<Terminal&>(terminal_).buffer().lines();
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "[%03d]", i);
    const BufferLine* line = i < lines.count() ? &lines[i] : lines.peek(i);
    return getDebugString(line, terminal_.cols(), prefix + flags(i));
}

void TerminalDebugView::draw(platform::gfx::Canvas& canvas, const Rect& dirty) {
    const Rect b = bounds();
    canvas.fill(b, platform::gfx::Rgba{1, 1, 1, 1});
    const platform::gfx::Rgba black{0, 0, 0, 1};
    const int slots = slotCount();
    for (int i = 0; i < slots; ++i) {
        const double y = (b.height - height_) - (i * height_ + height_);
        if (y + height_ < dirty.minY()) break;
        if (y > dirty.maxY()) continue;
        // The two runs one after the other on the row.
        auto raw = layoutOf(rawSlotRow(i), family_, fontSize_);
        PangoRectangle logical;
        pango_layout_get_pixel_extents(raw.get(), nullptr, &logical);
        canvas.drawTextLayout(raw.get(), {0, y + height_}, black);
        canvas.drawTextLayout(layoutOf(logicalLineRow(i), family_, fontSize_).get(),
                              {double(logical.width) + 8, y + height_}, black);
    }
    canvas.fill(Rect{0, 8, b.width, 14}, platform::gfx::Rgba{1, 1, 1, 1});
    canvas.drawTextLayout(layoutOf(status_, family_, fontSize_).get(), {0, 8 + 14}, black);
}

}  // namespace vantel
