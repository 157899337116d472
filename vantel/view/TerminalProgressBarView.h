#pragma once

#include <cstdint>
#include <optional>

#include "platform/gfx/Rgba.h"
#include "platform/ui/View.h"
#include "vantel/core/TerminalTypes.h"

namespace vantel {

// The thin bar that shows a program's progress reports (OSC 9;4): a bar as wide as the
// percentage, or, without one, a quarter-width segment sweeping end to end over a faint track.
// Red for errors, orange while paused, the accent colour otherwise. Hidden after `remove`. It
// never takes the pointer.
class TerminalProgressBarView : public platform::ui::View {
public:
    using State = ProgressReport::State;
    static constexpr const char* indeterminateAnimationKey = "terminalProgressIndeterminate";
    static constexpr const char* widthAnimationKey = "bar.width";
    static constexpr double barWidthRatio = 0.25;
    static constexpr double indeterminateDuration = 1.2;
    static constexpr double determinateDuration = 0.2;
    static constexpr platform::gfx::Rgba accentColor = platform::gfx::Rgba::fromBytes(0x35, 0x84, 0xE4);
    static constexpr platform::gfx::Rgba errorColor = platform::gfx::Rgba::fromBytes(0xE0, 0x1B, 0x24);
    static constexpr platform::gfx::Rgba pauseColor = platform::gfx::Rgba::fromBytes(0xFF, 0x78, 0x00);

    // A layer of the bar: where it stands (view coordinates), its colour, whether it shows.
    struct Layer {
        Rect frame;
        std::optional<platform::gfx::Rgba> color;
        bool hidden = false;
    };

    explicit TerminalProgressBarView(const Rect& frame = {});

    void apply(State state, std::optional<uint8_t> progress);
    State state() const { return state_; }
    std::optional<uint8_t> progress() const { return progress_; }
    const Layer& trackLayer() const { return track_; }
    const Layer& barLayer() const { return bar_; }
    // The bar as it shows now, animations applied.
    Rect presentationBarFrame() const;

    void setFrameSize(Size size) override;
    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;
    View* hitTest(Point) override { return nullptr; }

private:
    void layout();
    void updateDeterminate(uint8_t progress, bool animated);
    void updateIndeterminate();

    Layer track_{{}, std::nullopt, true};
    Layer bar_;
    State state_ = State::remove;
    std::optional<uint8_t> progress_;
};

}  // namespace vantel
