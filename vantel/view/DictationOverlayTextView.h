#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Rgba.h"
#include "platform/ui/View.h"

namespace vantel {

// The text an input method is composing, shown over the terminal: laid out by Pango on the cell
// grid (one line per cell height, letters spaced to the cell width), wrapping by words within
// its width, its first line indented to the caret. The line fragments are painted with
// `overlayBackgroundColor` (clear by default) under the text. It never takes the pointer.
class DictationOverlayTextView : public platform::ui::View {
public:
    struct Style {
        std::string fontFamily = "monospace";
        double fontSize = 13;
        platform::gfx::Rgba foreground{0, 0, 0, 1};
        // Extra space after each character, and the height of every line.
        double kern = 0;
        double lineHeight = 16;
        // The width lines wrap in, and how far the first line starts to the right.
        double width = 100;
        double firstLineIndent = 0;
    };

    explicit DictationOverlayTextView(const Rect& frame = {});
    ~DictationOverlayTextView() override;

    platform::gfx::Rgba overlayBackgroundColor{0, 0, 0, 0};

    // Lays the text out; the height of the lines is usedHeight().
    void setText(const std::string& text, const Style& style);
    const std::string& text() const { return text_; }
    const Style& style() const { return style_; }
    double usedHeight() const;
    int lineCount() const;
    // Each laid-out line's fragment, in the view's coordinates: the full wrap width of its line
    // (from the indent on the first one).
    std::vector<Rect> lineFragments() const;

    View* hitTest(Point) override { return nullptr; }
    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;

private:
    struct Layout;
    std::unique_ptr<Layout> layout_;
    std::string text_;
    Style style_;
};

}  // namespace vantel
