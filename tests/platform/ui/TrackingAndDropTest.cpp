// Tracking areas, tool tips and drags over a window.
#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/View.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;
using platform::gfx::Point;
using platform::gfx::Rect;

namespace {

class Recorder : public View {
public:
    Recorder(std::string name, const Rect& frame, std::string& log) : View(frame), name_(std::move(name)), log_(log) {}
    bool isFlipped() const override { return true; }

    void mouseEntered(const MouseEvent& e) override { note("entered", e.trackingArea); }
    void mouseMoved(const MouseEvent& e) override { note("moved", e.trackingArea); }
    void mouseExited(const MouseEvent& e) override { note("exited", e.trackingArea); }

    std::string tip;
    std::string toolTipText() const override { return tip; }

    DragOperation answer = DragOperation::copy;
    bool takes = true;
    std::function<void()> onPerform;
    DragOperation draggingEntered(const DraggingInfo&) override {
        note("drag-entered");
        return answer;
    }
    void draggingExited(const DraggingInfo&) override { note("drag-exited"); }
    bool performDragOperation(const DraggingInfo& info) override {
        std::string what = "perform ";
        what.append(info.pasteboard && info.pasteboard->string() ? *info.pasteboard->string() : std::string("-"));
        note(what);
        if (onPerform) onPerform();
        return takes;
    }
    void draggingEnded(const DraggingInfo&) override { note("drag-ended"); }

private:
    void note(const std::string& what, int area = 0) {
        if (!log_.empty()) log_.append(", ");
        log_.append(name_).append(":").append(what);
        if (area) log_.append(" ").append(std::to_string(area));
    }
    std::string name_;
    std::string& log_;
};

MouseEvent moved(Point at) {
    MouseEvent e;
    e.type = MouseEvent::Type::moved;
    e.locationInWindow = at;
    return e;
}

struct Scene {
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    headless::HeadlessWindow window{{200, 100}, 1};
    std::string log;
    // y up in the window: the card spans the whole window, flipped.
    Recorder card{"card", {0, 0, 200, 100}, log};
    Recorder cover{"cover", {0, 0, 100, 100}, log};
    Scene() {
        window.setContentView(&card);
        card.addSubview(&cover);
    }
    std::string take() { return std::exchange(log, {}); }
};

TEST(TrackingAreas, CrossingsAndMovesWhateverLiesOnTop) {
    Scene s;
    // Top strip of the flipped card, 20 points high; the cover lies over half of it.
    const int band = s.card.addTrackingArea({0, 0, 200, 20});
    EXPECT_EQ(band, 1);
    struct Step {
        Point at;
        std::string log;
    } steps[] = {
        {{50, 50}, ""},
        {{50, 90}, "card:entered 1, card:moved 1"},
        {{150, 95}, "card:moved 1"},
        {{150, 70}, "card:exited 1"},
    };
    for (const Step& step : steps) {
        s.window.sendMouseEvent(moved(step.at));
        EXPECT_EQ(s.take(), step.log) << step.at.x << "," << step.at.y;
    }
    s.window.sendMouseEvent(moved({10, 95}));
    s.take();
    s.window.pointerLeft();
    EXPECT_EQ(s.take(), "card:exited 1");

    // A hidden owner gets nothing; a removed area nothing more.
    s.window.sendMouseEvent(moved({10, 95}));
    s.take();
    s.card.removeTrackingArea(band);
    s.window.sendMouseEvent(moved({12, 95}));
    EXPECT_EQ(s.take(), "");
    const int second = s.cover.addTrackingArea({0, 0, 100, 100});
    EXPECT_EQ(second, 1);
    s.cover.setHidden(true);
    s.window.sendMouseEvent(moved({14, 95}));
    EXPECT_EQ(s.take(), "");
    s.cover.setHidden(false);
    s.window.sendMouseEvent(moved({16, 95}));
    EXPECT_EQ(s.take(), "cover:entered 1, cover:moved 1");
    // Leaving the window forgets it without a call.
    s.cover.removeFromSuperview();
    s.window.sendMouseEvent(moved({18, 95}));
    EXPECT_EQ(s.take(), "");
}

TEST(TrackingAreas, ToolTipOfTheNearestViewThatHasOne) {
    Scene s;
    EXPECT_FALSE(s.window.toolTipAt({50, 50}));
    s.card.tip = "Card";
    const auto card = s.window.toolTipAt({50, 50});
    ASSERT_TRUE(card);
    EXPECT_EQ(card->text, "Card");
    EXPECT_EQ(card->rect, (Rect{0, 0, 200, 100}));
    s.cover.tip = "Close Tile  Ctrl+Shift+W";
    EXPECT_EQ(s.window.toolTipAt({50, 50})->rect, (Rect{0, 0, 100, 100}));
    EXPECT_EQ(s.window.toolTipAt({150, 50})->text, "Card");
}

TEST(Drops, EnteredExitedPerformedAndEnded) {
    Scene s;
    const std::vector<std::string> files = {"text/uri-list"};
    // Nothing registered: nothing takes the drag.
    EXPECT_EQ(s.window.dragMoved(files, {50, 50}), DragOperation::none);
    EXPECT_EQ(s.take(), "");

    // The cover registered nothing: its superview, the card, takes the drag.
    s.card.registerForDraggedTypes({"text/uri-list", "text/plain;charset=utf-8"});
    EXPECT_EQ(s.window.dragMoved(files, {50, 50}), DragOperation::copy);
    EXPECT_EQ(s.window.dragMoved(files, {150, 50}), DragOperation::copy);
    EXPECT_EQ(s.take(), "card:drag-entered");
    EXPECT_EQ(s.window.dragDestination(), &s.card);
    s.window.dragLeft();
    EXPECT_EQ(s.take(), "card:drag-exited");

    // A type nobody takes; then the cover takes text for itself.
    EXPECT_EQ(s.window.dragMoved({"image/x-xcf"}, {50, 50}), DragOperation::none);
    s.cover.registerForDraggedTypes({"text/plain;charset=utf-8"});
    const std::vector<std::string> text = {"text/plain;charset=utf-8"};
    s.window.dragMoved(text, {150, 50});
    s.window.dragMoved(text, {50, 50});
    EXPECT_EQ(s.take(), "card:drag-entered, card:drag-exited, cover:drag-entered");
    Pasteboard content;
    content.setString("hello");
    EXPECT_TRUE(s.window.dragDropped(content, {50, 50}));
    EXPECT_EQ(s.take(), "cover:perform hello, cover:drag-ended");
    EXPECT_EQ(s.window.dragDestination(), nullptr);

    // A refusal is never asked to perform; the session still ends there.
    s.cover.answer = DragOperation::none;
    EXPECT_EQ(s.window.dragMoved(text, {50, 50}), DragOperation::none);
    EXPECT_FALSE(s.window.dragDropped(content, {50, 50}));
    EXPECT_EQ(s.take(), "cover:drag-entered, cover:drag-ended");

    // A destination that goes while performing is not told the end.
    s.cover.answer = DragOperation::copy;
    s.window.dragMoved(text, {50, 50});
    s.cover.onPerform = [&] { s.cover.removeFromSuperview(); };
    EXPECT_TRUE(s.window.dragDropped(content, {50, 50}));
    EXPECT_EQ(s.take(), "cover:drag-entered, cover:perform hello");
}

}  // namespace
