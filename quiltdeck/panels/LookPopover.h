#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Popover.h"

namespace platform::ui {
class Window;
}

namespace quiltdeck {

// A tile's look, chosen per folder in a popover at the tile: a tint among the theme's eight (or
// the automatic one) and a logo among the images found in the folder, a file from disk, the
// automatic one or none. Every choice is stored at once, told to `onChange`, and closes the
// popover. The content is built once per showing, from the store as it is then. Held by a
// shared pointer: a file chooser still open when the popover goes changes nothing. Main thread.
class LookPopover : public std::enable_shared_from_this<LookPopover> {
public:
    static constexpr double width = 436;
    static constexpr size_t maxCandidates = 12;
    static constexpr int thumbnailsPerRow = 7;
    // Thumbnails are 52 points: decoded at 104 pixels for a scale of 2.
    static constexpr int thumbnailPixels = 104;

    static std::shared_ptr<LookPopover> make(std::string cwd, std::function<void()> onChange);
    LookPopover(std::string cwd, std::function<void()> onChange);
    ~LookPopover();

    const std::string& cwd() const { return cwd_; }
    const std::vector<std::string>& candidates() const { return candidates_; }

    // The content, built on first use.
    platform::ui::FlippedView& view();
    platform::gfx::Size preferredContentSize();

    // The parts of the content, for its host and its tests.
    const std::vector<std::unique_ptr<platform::ui::Button>>& swatches() {
        view();
        return swatches_;
    }
    const std::vector<std::unique_ptr<platform::ui::Button>>& thumbs() {
        view();
        return thumbs_;
    }
    platform::ui::Button& automaticButton() {
        view();
        return automatic_;
    }
    platform::ui::Button& pickFileButton() {
        view();
        return pickFile_;
    }
    platform::ui::Button& logoAutomaticButton() {
        view();
        return logoAutomatic_;
    }
    platform::ui::Button& noLogoButton() {
        view();
        return noLogo_;
    }
    platform::ui::Label& autoPickLabel() {
        view();
        return autoPick_;
    }

    // The user's choices.
    void pickColour(int index);
    void autoColour();
    void pickCandidate(int index);
    // Opens the image chooser in the folder; its answer is stored when the popover still exists.
    void pickFile();
    void resetLogo();
    void noLogo();

    // Shows the content in a popover at `anchor` (points of `parent`, a tile's frame); a click
    // outside closes it without a change.
    void show(platform::ui::Window& parent, const platform::gfx::Rect& anchor);
    platform::ui::Popover& popover() { return popover_; }

    // Closes the popover after a choice (show() sets it; a host of its own may set another).
    std::function<void()> dismiss;
    // The window the chooser belongs to; none is fine.
    platform::ui::Window* window = nullptr;

private:
    void loadView();
    void finish();
    std::unique_ptr<platform::ui::Label> heading(const std::string& text, double y);

    std::string cwd_;
    std::function<void()> onChange_;
    std::vector<std::string> candidates_;
    bool loaded_ = false;

    platform::ui::FlippedView root_;
    std::vector<std::unique_ptr<platform::ui::Label>> headings_;
    platform::ui::View swatchRow_;
    std::vector<std::unique_ptr<platform::ui::Button>> swatches_;
    platform::ui::Button automatic_;
    std::vector<std::unique_ptr<platform::ui::Button>> thumbs_;
    platform::ui::Label autoPick_;
    platform::ui::Button pickFile_;
    platform::ui::Button logoAutomatic_;
    platform::ui::Button noLogo_;
    platform::ui::Popover popover_;
};

}  // namespace quiltdeck
