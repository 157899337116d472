#pragma once

#include <optional>

#include "platform/gfx/Rgba.h"
#include "platform/ui/View.h"
#include "vantel/core/CharData.h"
#include "vantel/core/TerminalOptions.h"
#include "vantel/view/AttributedText.h"

namespace vantel {

class TerminalView;

// The cursor: a small subview that its terminal view places over the cursor cell. It draws the
// block, underline or bar of its style in the caret colour, the character under a block in the
// caret text colour (a filled powerline separator as its shape), and a hollow box without focus.
// A blinking style with focus fades its opacity out and back (half the desktop's blink each way,
// 0.7 s without a desktop, ease-in, in steps) until the style or the focus changes, or the
// desktop's blink timeout holds it still. It never takes the pointer.
class CaretView : public platform::ui::View {
public:
    // A toolkit's highlight blue, until a theme sets the caret colour.
    static constexpr platform::gfx::Rgba systemSelectedControlColor = platform::gfx::Rgba::fromBytes(0x35, 0x84, 0xE4);
    static constexpr const char* blinkAnimationKey = "opacity";
    // Steps of the fade each way, each a fifth of the opacity.
    static constexpr int blinkSteps = 5;
    // The hollow box's stroke; inside the clip half of it shows.
    static constexpr double hollowLineWidth = 3;

    CaretView(const Rect& frame, CursorStyle cursorStyle, TerminalView* terminal);

    TerminalView* terminal() const { return terminal_; }
    CursorStyle style = CursorStyle::blinkBlock;
    bool tracksFocus = true;
    bool focused = false;
    platform::gfx::Rgba defaultCaretColor = systemSelectedControlColor;
    platform::gfx::Rgba caretColor = systemSelectedControlColor;
    platform::gfx::Rgba bgColor = systemSelectedControlColor;  // kept equal to caretColor by the terminal view
    std::optional<platform::gfx::Rgba> defaultCaretTextColor;
    std::optional<platform::gfx::Rgba> caretTextColor;

    // What a block caret shows of a cell: its character in the caret colours (a space while
    // blinking text is hidden), its column width, and its code point when it is a filled
    // powerline separator.
    struct Content {
        AttributedText text;
        int glyphColumnWidth = 1;
        std::optional<uint32_t> powerlineCodePoint;
    };
    static Content contentFor(const CharData& ch, TerminalView* terminal);
    // The character shown inside a block caret.
    void setText(const CharData& ch);
    // Applies the style and focus to the blink and redraws.
    void updateCursorStyle();
    // Starts (true) or stops the blink.
    void updateAnimation(bool blink);
    void drawCursor(platform::gfx::Canvas& canvas, bool hasFocus);

    int glyphColumnWidth() const { return glyphColumnWidth_; }
    std::optional<uint32_t> powerlineCodePoint() const { return powerlineCodePoint_; }
    const AttributedText& text() const { return text_; }

    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;
    View* hitTest(Point) override { return nullptr; }

private:
    bool currentFocus() const;

    TerminalView* terminal_;
    AttributedText text_;
    bool hasText_ = false;
    int glyphColumnWidth_ = 1;
    std::optional<uint32_t> powerlineCodePoint_;
};

}  // namespace vantel
