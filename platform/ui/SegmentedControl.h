#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Image.h"
#include "platform/gfx/InterfaceFont.h"
#include "platform/ui/Control.h"
#include "platform/ui/RichText.h"

namespace platform::ui {

// A row of segments, each a text or an image; one is selected, or each acts like a button.
class SegmentedControl : public Control {
public:
    enum class Tracking { selectOne, momentary };

    struct Segment {
        std::string label;
        std::optional<gfx::Image> image;
        // The image's size in points (its pixels may be more, for the window's scale); none: one
        // pixel a point.
        std::optional<gfx::Size> imageSize;
        // 0: as wide as its content.
        double width = 0;
        bool enabled = true;
        std::string toolTip;
    };

    // Colours drawn in place of the toolkit's own: every segment's fill and title, the selected
    // segment's, and the border around them.
    struct Look {
        gfx::Rgba fill;
        gfx::Rgba text;
        gfx::Rgba selectedFill;
        gfx::Rgba selectedText;
        gfx::Rgba border;
        friend bool operator==(const Look&, const Look&) = default;
    };

    explicit SegmentedControl(const Rect& frame = {});

    const std::vector<Segment>& segments() const { return segments_; }
    void setSegments(std::vector<Segment> segments);
    Tracking tracking() const { return tracking_; }
    void setTracking(Tracking tracking);
    // -1 for none.
    int selectedSegment() const { return selected_; }
    // Selects without running the action; an index outside the segments selects none.
    void setSelectedSegment(int index);
    const gfx::InterfaceFont& font() const { return font_; }
    void setFont(gfx::InterfaceFont font);
    const std::optional<Look>& look() const { return look_; }
    void setLook(std::optional<Look> look);

    // The user clicks a segment: a selecting control selects it, then the action runs. False
    // for a disabled segment or control or an index outside.
    bool choose(int index);
    // Selected when selecting; in a momentary control, the segment clicked last.
    int clickedSegment() const { return clicked_; }

    // The width a segment takes.
    double widthOfSegment(int index) const;
    // The width its label or image needs with the segment's margins, whatever width it was given.
    double neededWidthOfSegment(int index) const;
    Size fittingSize() const override;
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

    // The keyboard goes through the segments one by one: Tab, Shift+Tab and the arrows move among
    // the usable ones, Space or Return chooses the one that has it.
    bool isKeyboardOperable() const override { return true; }
    // The segment that has the keyboard while the control has it: the selected one until the
    // keyboard moves; -1 for none.
    int focusedSegment() const;
    // The toolkit moved its keyboard to a segment itself.
    void setFocusedSegment(int index);
    bool advanceKeyFocus(bool forward) override;
    void keyFocusEntered(bool forward) override;
    void keyDown(const KeyEvent& event) override;

private:
    RichText labelText(const Segment& segment, bool selected = false) const;

    std::vector<Segment> segments_;
    Tracking tracking_ = Tracking::selectOne;
    // The next usable segment from `from` (exclusive) in a direction; -1 past the ends.
    int usableSegmentAfter(int from, bool forward) const;

    int selected_ = -1;
    int clicked_ = -1;
    std::optional<int> focused_;
    gfx::InterfaceFont font_;
    std::optional<Look> look_;
};

}  // namespace platform::ui
