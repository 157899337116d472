#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/DrawnButton.h"
#include "platform/ui/View.h"

namespace platform::ui {
class Window;
}

namespace quiltdeck {

// The bar of wall tabs under the top bar: one pill per wall (Main first) with
// its name and its counts of tiles waiting and done, a round plus button for a
// new wall, a hairline along its bottom, and on every tab but Main a right-click
// menu to rename or remove the wall. It keeps only what its owner last gave it.
// Its buttons are drawn in the view tree, so a dragged tile passes under the
// bar's own layer order, and the drag lights up the tab under the pointer.
// Flipped. Main thread.
class TabsView : public platform::ui::View {
public:
    static constexpr double height = 38;

    explicit TabsView(const Rect& frame = {});
    ~TabsView() override;

    bool isFlipped() const override { return true; }

    std::function<void(const std::string& wall)> onSelect;
    std::function<void()> onNew;
    std::function<void(const std::string& wall)> onRename;
    std::function<void(const std::string& wall)> onRemove;

    // `walls` without the main wall. Rebuilds the tabs only when the names changed.
    void reload(const std::vector<std::string>& walls, const std::string& current,
                const std::map<std::string, int>& waiting, const std::map<std::string, int>& done);
    // Every colour, font and title again.
    void restyle();
    // The drop target of a dragged tile; a call that changes nothing restyles nothing.
    void highlight(const std::optional<std::string>& wall);
    void layout();

    // The tabs in order, Main first.
    const std::vector<std::pair<std::string, platform::ui::DrawnButton*>>& buttons() const { return buttons_; }
    platform::ui::DrawnButton& plus() { return plus_; }
    platform::ui::View& hairline() { return hairline_; }
    const std::optional<std::string>& dropTarget() const { return dropTarget_; }
    const std::string& current() const { return current_; }
    int restyleCount() const { return restyles_; }
    // The tab under a point of this view, its frame grown by 3 points left and
    // right and 6 above and below; none between tabs.
    std::optional<std::string> wallAt(Point point) const;

    void setFrameSize(Size size) override;

private:
    void tapped(platform::ui::DrawnButton& button);

    std::vector<std::unique_ptr<platform::ui::DrawnButton>> owned_;
    std::vector<std::pair<std::string, platform::ui::DrawnButton*>> buttons_;
    platform::ui::DrawnButton plus_;
    platform::ui::View hairline_;
    std::optional<std::string> dropTarget_;
    std::string current_;
    std::map<std::string, int> waiting_;
    std::map<std::string, int> done_;
    int restyles_ = 0;
};

// A one-line prompt: OK and Cancel and an entry holding `initial`. Over a window
// it is a modal sheet answered later; without one it runs at once and `done`
// has run when it returns. `done` gets the text trimmed of spaces and tabs when
// OK ended it with something left, nothing otherwise, exactly once.
void askText(platform::ui::Window* window, const std::string& title, const std::string& initial,
             std::function<void(std::optional<std::string>)> done);

}  // namespace quiltdeck
