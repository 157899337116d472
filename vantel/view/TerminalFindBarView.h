#pragma once

#include <functional>
#include <string>

#include "platform/ui/Button.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"
#include "vantel/core/SearchOptions.h"

namespace vantel {

// The find bar that floats at a terminal view's top-right corner: a search field, previous and
// next, the three options as check boxes ("Aa", ".*", "Word") and close, in one row. The controls
// are the toolkit's own widgets where there is a toolkit. It only reports what the user does;
// the view searches.
class TerminalFindBarView : public platform::ui::View {
public:
    static constexpr double maximumWidth = 520;
    static constexpr double spacing = 6;
    static constexpr double horizontalInset = 8;
    static constexpr double verticalInset = 6;
    static constexpr double minimumFieldWidth = 200;
    static constexpr double cornerRadius = 8;
    // The icon buttons' square, and the symbol in it.
    static constexpr double buttonSide = 22;
    static constexpr double symbolSize = 16;

    explicit TerminalFindBarView(const Rect& frame = {});
    ~TerminalFindBarView() override;

    std::function<void(const std::string&)> onSearchChanged;
    std::function<void()> onFindNext;
    std::function<void()> onFindPrevious;
    std::function<void()> onClose;
    std::function<void(SearchOptions)> onOptionsChanged;

    platform::ui::TextField searchField;
    platform::ui::Button previousButton{platform::ui::Button::Type::push};
    platform::ui::Button nextButton{platform::ui::Button::Type::push};
    platform::ui::Button closeButton{platform::ui::Button::Type::push};
    platform::ui::Button caseSensitiveButton{platform::ui::Button::Type::checkBox};
    platform::ui::Button regexButton{platform::ui::Button::Type::checkBox};
    platform::ui::Button wholeWordButton{platform::ui::Button::Type::checkBox};

    // What the three check boxes say.
    SearchOptions options() const;
    // Return in the field: previous with Shift, else next.
    void searchFieldAction(platform::ui::ModifierFlags modifiers);

    // The narrowest the row fits in (the field at its minimum), and the height of the bar.
    double minimumWidth() const;
    double preferredHeight() const;
    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;
    // The bar takes the pointer where no control does: nothing reaches the terminal under it.
    void mouseDown(const platform::ui::MouseEvent&) override {}
    void mouseUp(const platform::ui::MouseEvent&) override {}
    void mouseDragged(const platform::ui::MouseEvent&) override {}
    void scrollWheel(const platform::ui::ScrollEvent&) override {}

protected:
    void resizeSubviews(Size oldSize) override;

private:
    static constexpr double checkBoxSlack = 6;
    static double checkBoxWidth(const platform::ui::Button& box);
    void layoutRow();
};

}  // namespace vantel
