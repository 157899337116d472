#include "vantel/view/TerminalFindBarView.h"

#include <algorithm>

#include "platform/gfx/Path.h"
#include "platform/ui/Window.h"

namespace vantel {

namespace Modifier = platform::ui::Modifier;
using platform::ui::Control;
using platform::ui::TextField;

TerminalFindBarView::TerminalFindBarView(const Rect& frame) : View(frame) {
    searchField.setPlaceholder("Find");
    searchField.onTextChange = [this](TextField& field) {
        if (auto changed = onSearchChanged) changed(field.stringValue());
    };
    searchField.onCommand = [this](TextField& field, TextField::Command command) {
        if (command == TextField::Command::cancelOperation) {
            if (auto close = onClose) close();
            return true;
        }
        if (command == TextField::Command::insertNewline) {
            // Shift-Return goes backward: the modifiers of the key that brought the command.
            searchFieldAction(field.window() ? field.window()->currentKeyModifiers() : 0);
            return true;
        }
        return false;
    };
    auto configureButton = [](platform::ui::Button& button, const char* symbol, const char* tooltip,
                              std::function<void()>* what) {
        // Toolbar buttons: the symbol alone, no bezel, small.
        button.setSymbol(symbol, symbolSize);
        button.setBordered(false);
        button.setControlSize(platform::ui::Button::ControlSize::small);
        button.setShowsFocusRing(false);
        button.setToolTip(tooltip);
        button.setAction([what](Control&) {
            if (auto run = *what) run();
        });
    };
    configureButton(previousButton, "go-up-symbolic", "Previous", &onFindPrevious);
    configureButton(nextButton, "go-down-symbolic", "Next", &onFindNext);
    configureButton(closeButton, "window-close-symbolic", "Close", &onClose);
    auto configureOption = [this](platform::ui::Button& box, const char* title, const char* tooltip) {
        box.setTitle(title);
        // Small: the 11-point system font.
        box.setControlSize(platform::ui::Button::ControlSize::small);
        box.setToolTip(tooltip);
        box.setAction([this](Control&) {
            if (auto changed = onOptionsChanged) changed(options());
        });
    };
    configureOption(caseSensitiveButton, "Aa", "Case Sensitive");
    configureOption(regexButton, ".*", "Regex");
    configureOption(wholeWordButton, "Word", "Whole Word");
    for (View* control : {static_cast<View*>(&searchField), static_cast<View*>(&previousButton),
                          static_cast<View*>(&nextButton), static_cast<View*>(&caseSensitiveButton),
                          static_cast<View*>(&regexButton), static_cast<View*>(&wholeWordButton),
                          static_cast<View*>(&closeButton)}) {
        addSubview(control);
    }
    layoutRow();
}

TerminalFindBarView::~TerminalFindBarView() {
    // The controls go before the view they sit in.
    for (View* control : std::vector<View*>(subviews())) control->removeFromSuperview();
}

SearchOptions TerminalFindBarView::options() const {
    using State = platform::ui::Button::State;
    return SearchOptions(caseSensitiveButton.state() == State::on, regexButton.state() == State::on,
                         wholeWordButton.state() == State::on);
}

void TerminalFindBarView::searchFieldAction(platform::ui::ModifierFlags modifiers) {
    auto run = (modifiers & Modifier::shift) ? onFindPrevious : onFindNext;
    if (run) run();
}

double TerminalFindBarView::checkBoxWidth(const platform::ui::Button& box) {
    // A toolkit's check box sets its box a little further from its title than the stand-in.
    return box.fittingSize().width + checkBoxSlack;
}

double TerminalFindBarView::minimumWidth() const {
    double width = 2 * horizontalInset + minimumFieldWidth;
    width += 3 * (spacing + buttonSide);
    for (const platform::ui::Button* box : {&caseSensitiveButton, &regexButton, &wholeWordButton}) {
        width += spacing + checkBoxWidth(*box);
    }
    return width;
}

double TerminalFindBarView::preferredHeight() const {
    const double tallest = std::max({searchField.fittingSize().height, buttonSide,
                                     caseSensitiveButton.fittingSize().height});
    return tallest + 2 * verticalInset;
}

void TerminalFindBarView::resizeSubviews(Size) { layoutRow(); }

void TerminalFindBarView::layoutRow() {
    const Rect b = bounds();
    // The field takes what the others leave, never less than its minimum.
    const double others = minimumWidth() - 2 * horizontalInset - minimumFieldWidth;
    const double fieldWidth = std::max(minimumFieldWidth, b.width - 2 * horizontalInset - others);
    double x = horizontalInset;
    const double middle = b.height / 2;
    auto place = [&](Control& control, double width) {
        // Every control gets at least the buttons' height: a toolkit's check box needs the room.
        const double height = std::max(control.fittingSize().height, buttonSide);
        control.setFrame(Rect{x, std::round(middle - height / 2), width, height});
        x += width + spacing;
    };
    place(searchField, fieldWidth);
    place(previousButton, buttonSide);
    place(nextButton, buttonSide);
    place(caseSensitiveButton, checkBoxWidth(caseSensitiveButton));
    place(regexButton, checkBoxWidth(regexButton));
    place(wholeWordButton, checkBoxWidth(wholeWordButton));
    place(closeButton, buttonSide);
}

void TerminalFindBarView::draw(platform::gfx::Canvas& canvas, const Rect&) {
    // A flat popover ground with rounded corners.
    platform::gfx::Path ground;
    const Rect b = bounds();
    ground.addRoundedRect(b, cornerRadius);
    canvas.fill(ground, platform::gfx::Rgba{0.95, 0.95, 0.96, 0.97});
    platform::gfx::Path edge;
    edge.addRoundedRect(Rect{b.x + 0.5, b.y + 0.5, b.width - 1, b.height - 1}, cornerRadius);
    canvas.stroke(edge, platform::gfx::Rgba{0, 0, 0, 0.18}, platform::gfx::StrokeStyle{});
}

}  // namespace vantel
