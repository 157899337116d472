#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/InterfaceFont.h"
#include "platform/gfx/Rect.h"
#include "platform/gfx/Rgba.h"

namespace platform::ui {

enum class TextAlignment { left, center, right };

// How a text that does not fit its width or its lines is cut.
enum class Truncation { none, tail, middle };

// Laid out per paragraph, as the text views do: the spacings stack between paragraphs, the line
// spacing goes between the lines of one paragraph.
struct ParagraphStyle {
    double spacingBefore = 0;
    double spacingAfter = 0;
    double lineSpacing = 0;
    // Left-aligned tab stops, points from the paragraph's left edge.
    std::vector<double> tabStops;
    // Where the lines after the first start.
    double headIndent = 0;
    TextAlignment alignment = TextAlignment::left;

    friend bool operator==(const ParagraphStyle&, const ParagraphStyle&) = default;
};

struct TextAttributes {
    gfx::InterfaceFont font;
    gfx::Rgba color{0, 0, 0, 1};
    // Points added after each character (negative tightens).
    double kern = 0;
    bool underline = false;
    // Digits of one width (the font's "tnum" feature), so numbers that change do not shift.
    bool tabularDigits = false;
    // A link target; empty for plain text.
    std::string link;
    // Of the paragraph that starts with this run.
    ParagraphStyle paragraph;

    friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};

// How a text is fitted into a rectangle.
struct TextLayoutOptions {
    // No width: every line as long as its text.
    std::optional<double> width;
    bool wraps = true;
    // 0: as many as the text needs.
    int maximumLines = 0;
    // Lines each paragraph may take at most (0: no limit of its own); a paragraph cut short takes
    // the truncation's ellipsis.
    int linesPerParagraph = 0;
    Truncation truncation = Truncation::none;

    friend bool operator==(const TextLayoutOptions&, const TextLayoutOptions&) = default;
};

// Styled text: runs of UTF-8 with their attributes. Every fitted or sized-to-fit text of the
// interface is measured here, by Pango, the same way in every backend. Main thread.
class RichText {
public:
    struct Run {
        std::string text;
        TextAttributes attributes;
        friend bool operator==(const Run&, const Run&) = default;
    };
    // A paragraph's bytes in string(), its line feed excluded, and its style.
    struct Paragraph {
        size_t begin = 0;
        size_t end = 0;
        ParagraphStyle style;
    };
    // Where a paragraph lies and how its lines start, in the text's own flipped coordinates.
    struct ParagraphFrame {
        double top = 0;
        double height = 0;
        // The left edge of each line's ink-independent box.
        std::vector<double> lineStarts;
        std::vector<double> lineTops;
    };

    RichText() = default;
    RichText(std::string text, const TextAttributes& attributes);

    // Appends a run; invalid UTF-8 becomes U+FFFD. An empty text adds nothing.
    RichText& append(std::string text, const TextAttributes& attributes);
    RichText& append(const RichText& other);

    const std::vector<Run>& runs() const { return runs_; }
    std::string string() const;
    bool empty() const { return runs_.empty(); }
    // The attributes at a byte of string(); the last run's past the end; none when empty.
    const TextAttributes* attributesAt(size_t byte) const;
    // A text ending in a line feed has an empty last paragraph, one line high.
    std::vector<Paragraph> paragraphs() const;

    // The size the text takes at `width` (no wrapping without one), in whole points rounded up;
    // with `maxHeight`, only the lines that fit in it whole count.
    gfx::Size measure(std::optional<double> width = std::nullopt, std::optional<double> maxHeight = std::nullopt) const;
    gfx::Size measure(const TextLayoutOptions& options, std::optional<double> maxHeight = std::nullopt) const;
    // The paragraphs as laid out at these options.
    std::vector<ParagraphFrame> layout(const TextLayoutOptions& options) const;
    // Draws the text into `rect` of a view (flipped or not), its first line at the top.
    void draw(gfx::Canvas& canvas, const gfx::Rect& rect, bool flipped, const TextLayoutOptions& options) const;
    // The text laid out at some options, to be drawn again and again while neither changes.
    struct Laid;
    std::shared_ptr<const Laid> lay(const TextLayoutOptions& options) const;
    static void drawLaid(gfx::Canvas& canvas, const gfx::Rect& rect, bool flipped, const Laid& laid);
    // The link under a point given from the text's top-left corner (y downwards); empty for none.
    std::string linkAt(gfx::Point point, const TextLayoutOptions& options) const;

    friend bool operator==(const RichText&, const RichText&) = default;

private:
    std::vector<Run> runs_;
};

}  // namespace platform::ui
