#include "quiltdeck/wall/TabsView.h"

#include "platform/ui/Alert.h"
#include "platform/ui/HiddenCharacters.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Shorten.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/wall/TileLayout.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::gfx::Rgba;
using platform::ui::DrawnButton;
using C = PanelColors;

TabsView::TabsView(const Rect& frame) : View(frame) {
    plus_.setSymbol(DrawnButton::Symbol::plus, 11, FontWeight::bold);
    plus_.setAccessibilityDescription(t("new_tab"));
    plus_.setToolTip(t("new_tab") + "  Ctrl+Shift+T");
    plus_.action = [this](DrawnButton&) {
        if (onNew) onNew();
    };
    addSubview(&plus_);
    addSubview(&hairline_);
    restyle();
}

TabsView::~TabsView() = default;

void TabsView::reload(const std::vector<std::string>& walls, const std::string& current,
                      const std::map<std::string, int>& waiting, const std::map<std::string, int>& done) {
    current_ = current;
    waiting_ = waiting;
    done_ = done;
    std::vector<std::string> names{""};
    names.insert(names.end(), walls.begin(), walls.end());
    std::vector<std::string> shown;
    for (const auto& [wall, button] : buttons_) shown.push_back(wall);
    if (shown != names) {
        for (auto& button : owned_) button->removeFromSuperview();
        buttons_.clear();
        owned_.clear();
        for (const std::string& wall : names) {
            auto button = std::make_unique<DrawnButton>();
            button->setClipsToBounds(true);
            button->setIdentifier(wall);
            button->action = [this](DrawnButton& b) { tapped(b); };
            if (!wall.empty()) {
                platform::ui::Menu menu;
                platform::ui::MenuItem rename;
                rename.title = t("rename_tab");
                rename.action = [this, wall](const platform::ui::MenuItem&) {
                    if (onRename) onRename(wall);
                };
                platform::ui::MenuItem remove;
                remove.title = t("remove_tab");
                remove.action = [this, wall](const platform::ui::MenuItem&) {
                    if (onRemove) onRemove(wall);
                };
                menu.items = {rename, remove};
                button->menu = menu;
            }
            // Under the plus button and the hairline, which stay on top.
            addSubview(button.get(), &plus_);
            buttons_.emplace_back(wall, button.get());
            owned_.push_back(std::move(button));
        }
    }
    restyle();
}

void TabsView::tapped(DrawnButton& button) {
    if (onSelect) onSelect(button.identifier().value_or(""));
}

void TabsView::restyle() {
    ++restyles_;
    setLayerBackgroundColor(C::pick(C::rgb(11, 12, 13), C::rgb(233, 232, 230)));
    hairline_.setLayerBackgroundColor(C::hairline());
    plus_.setTint(C::mutedText());
    for (const auto& [wall, button] : buttons_) {
        const bool isCurrent = wall == current_;
        const bool isTarget = dropTarget_ && *dropTarget_ == wall;
        platform::ui::TextAttributes title;
        title.font = Fonts::ui(12.5, isCurrent ? FontWeight::semibold : FontWeight::regular);
        title.color = isCurrent ? C::strongText() : C::mutedText();
        platform::ui::RichText text(wall.empty() ? t("tab_main") : platform::ui::HiddenCharacters::spelledOut(wall), title);
        platform::ui::TextAttributes count;
        count.font = Fonts::ui(11, FontWeight::semibold);
        // The badges are bare numbers; the tool tip says them in words, in the form for each number.
        std::string said;
        auto say = [&said](int n, std::string_view key) {
            said.append(said.empty() ? "" : " \u00B7 ").append(std::to_string(n)).append(1, ' ').append(tCount(key, n));
        };
        if (auto it = waiting_.find(wall); it != waiting_.end() && it->second > 0) {
            count.color = TileLayout::waitingText(Theme::isDark());
            text.append("  " + std::to_string(it->second), count);
            say(it->second, "waiting_for_you");
        }
        if (auto it = done_.find(wall); it != done_.end() && it->second > 0) {
            count.color = TileLayout::doneText(Theme::isDark());
            text.append("  \u2713" + std::to_string(it->second), count);
            say(it->second, "done_for_you");
        }
        button->setAttributedTitle(std::move(text));
        button->setToolTip(std::move(said));
        const Rgba targetColour = C::pick(C::rgb(142, 155, 174), C::rgb(83, 96, 122));
        if (isTarget) {
            Rgba fill = targetColour;
            fill.alpha = 0.35;
            button->setLayerBackgroundColor(fill);
        } else if (isCurrent) {
            button->setLayerBackgroundColor(C::controlBackground());
        } else {
            button->setLayerBackgroundColor(std::nullopt);
        }
        button->setBorder(isCurrent || isTarget ? 1 : 0, isTarget ? targetColour : C::hairline());
    }
    layout();
}

void TabsView::highlight(const std::optional<std::string>& wall) {
    if (wall == dropTarget_) return;
    dropTarget_ = wall;
    restyle();
}

void TabsView::setFrameSize(Size size) {
    View::setFrameSize(size);
    layout();
}

void TabsView::layout() {
    double x = 20;
    for (const auto& [wall, button] : buttons_) {
        const double width = button->fittingSize().width + 22;
        button->setFrame(Rect{x, 6, width, 26});
        button->setCornerRadius(13);
        x += width + 6;
    }
    plus_.setFrame(Rect{x + 2, 6, 26, 26});
    plus_.setCornerRadius(13);
    hairline_.setFrame(Rect{0, 37, bounds().width, 1});
}

std::optional<std::string> TabsView::wallAt(Point p) const {
    for (const auto& [wall, button] : buttons_) {
        const Rect f = button->frame();
        if (p.x >= f.x - 3 && p.x <= f.maxX() + 3 && p.y >= f.y - 6 && p.y <= f.maxY() + 6) return wall;
    }
    return std::nullopt;
}

// --- The prompt ------------------------------------------------------------------------------------

namespace {

std::optional<std::string> trimmedAnswer(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    const size_t first = text->find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const size_t last = text->find_last_not_of(" \t");
    // A wall's name is kept as long as a title, however much was pasted.
    return std::string(prefixWithin(std::string_view(*text).substr(first, last - first + 1), Store::titleLimit));
}

}  // namespace

void askText(platform::ui::Window* window, const std::string& title, const std::string& initial,
             std::function<void(std::optional<std::string>)> done) {
    platform::ui::TextPrompt prompt{title, initial, {t("ok"), t("cancel")}};
    if (!window) {
        const auto answer = trimmedAnswer(prompt.runModal());
        if (done) done(answer);
        return;
    }
    prompt.present(window, [done = std::move(done)](std::optional<std::string> text) {
        if (done) done(trimmedAnswer(text));
    });
}

}  // namespace quiltdeck
