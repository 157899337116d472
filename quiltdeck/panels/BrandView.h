#pragma once

#include <string_view>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/RichText.h"
#include "platform/ui/View.h"
#include "quiltdeck/panels/Mark.h"

namespace quiltdeck {

// The mark and the word mark at the left of the top bar, drawn with Cairo in the theme's ink.
// The 44-point mark is scaled into a 32-point frame that starts 6.4 points left of the view, so
// its own margin falls outside and its ink starts at the view's left edge. Redraws on every
// Theme.didChange (the settings panel posts one after a new mark style).
class BrandView : public platform::ui::View {
public:
    static constexpr double markSize = 44;
    static constexpr double glyphSide = 32;
    static constexpr double glyphX = -6.4;
    // The word mark's left edge; the bar places its version after it.
    static constexpr double wordX = 24.2;

    explicit BrandView(const Rect& frame = {});

    bool isFlipped() const override { return true; }

    // Re-reads the ink, the stored style and the word mark, and redraws.
    void applyTheme();
    // The bar shows tiles and dots as they are and the converge mark for anything else.
    static MarkStyle barStyle(std::string_view stored);

    // Without its word mark the view is the mark alone (a narrow bar gives the word up).
    bool showsWord() const { return showsWord_; }
    void setShowsWord(bool shows);
    // Where its ink ends: after the word mark, or after the mark.
    double inkRight() const;

    MarkStyle style() const { return style_; }
    platform::gfx::Rgba ink() const { return ink_; }
    const platform::ui::RichText& word() const { return word_; }
    Rect glyphFrame() const;
    Rect wordFrame() const;

    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;

private:
    MarkStyle style_ = MarkStyle::converge;
    bool showsWord_ = true;
    platform::gfx::Rgba ink_;
    platform::ui::RichText word_;
    platform::runtime::NotificationCenter::Subscription themeObserver_;
};

}  // namespace quiltdeck
