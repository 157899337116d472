#include "quiltdeck/panels/OnboardingView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Window.h"
#include "platform/ui/Workspace.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::ui::TextAlignment;
using C = PanelColors;
using Stage = Setup::Stage;
using Job = Setup::Job;

// --- Box -------------------------------------------------------------------------------------

void OnboardingView::Box::setColors(platform::gfx::Rgba fill, platform::gfx::Rgba border) {
    fill_ = fill;
    border_ = border;
    setNeedsDisplay();
}

void OnboardingView::Box::draw(platform::gfx::Canvas& canvas, const Rect&) {
    const Rect box = bounds();
    platform::gfx::Path shape;
    shape.addRoundedRect(box, cornerRadius);
    canvas.fill(shape, fill_);
    platform::gfx::Path edge;
    edge.addRoundedRect({0.5, 0.5, box.width - 1, box.height - 1}, cornerRadius - 0.5);
    canvas.stroke(edge, border_, {});
}

// --- Card ------------------------------------------------------------------------------------

OnboardingView::OnboardingView(const Rect& frame, Setup& setup) : FlippedView(frame), setup_(setup) {
    for (auto* label : {&title_, &subtitle_, &hints_, &privacy_}) label->setAlignment(TextAlignment::center);
    title_.setMaximumLines(1);
    subtitle_.setWraps(true);
    privacy_.setWraps(true);
    for (View* view : std::initializer_list<View*>{&title_, &subtitle_, &card_, &hints_, &privacy_}) addSubview(view);
    for (size_t i = 0; i < steps_.size(); ++i) {
        steps_[i].isLast = i + 1 == steps_.size();
        steps_[i].circle.setMark(std::to_string(i + 1));
        card_.addSubview(&steps_[i]);
    }

    StepRow& install = steps_[Step::install];
    install.button.setAction([this](auto&) { tapInstall(); });
    install.cancelButton.setAction([this](auto&) { tapCancel(); });
    StepRow& signIn = steps_[Step::signIn];
    signIn.button.setAction([this](auto&) { tapLogin(); });
    signIn.secondary.setAction([this](auto&) { tapConsole(); });
    signIn.codeButton.setAction([this](auto&) { tapCode(); });
    signIn.cancelButton.setAction([this](auto&) { tapCancel(); });
    // Return in the field sends the code; leaving the field sends nothing.
    signIn.codeField.onCommand = [this](platform::ui::TextField&, platform::ui::TextField::Command command) {
        if (command != platform::ui::TextField::Command::insertNewline) return false;
        tapCode();
        return true;
    };
    signIn.status.onLink = [](const std::string& url) { platform::ui::Workspace::open(url); };
    steps_[Step::openProject].button.setAction([this](auto&) { tapOpen(); });

    reload();
    auto& center = platform::runtime::NotificationCenter::defaultCenter();
    for (std::string_view name : {Setup::didChange, Theme::didChange, Lang::didChange}) {
        observers_.push_back(center.subscribe(std::string(name), [this](const auto&) { reload(); }));
    }
}

bool OnboardingView::compact(const Setup::Snapshot& state) {
    return state.stage == Stage::ready && (Store::shared().onboarded() || !Store::shared().currentWall().empty());
}

void OnboardingView::reload() { reload(setup_.snapshot()); }

void OnboardingView::reload(const Setup::Snapshot& state) {
    card_.setColors(C::panelBackground(), C::hairline());
    title_.setFont(Fonts::ui(22, FontWeight::semibold));
    title_.setTextColor(C::strongText());
    subtitle_.setFont(Fonts::ui(13.5, FontWeight::regular));
    hints_.setFont(Fonts::ui(12.5, FontWeight::regular));
    privacy_.setFont(Fonts::ui(12, FontWeight::regular));
    for (auto* label : {&subtitle_, &hints_, &privacy_}) label->setTextColor(C::mutedText());
    privacy_.setText(t("ob_private"));
    reloadTexts(state);
    reloadRows(state);
    card_.setHidden(state.stage == Stage::probing || compact(state));
    layoutContent(bounds().width, true);
    followCodeField();
}

void OnboardingView::followCodeField() {
    platform::ui::TextField& field = steps_[Step::signIn].codeField;
    const bool shown = !field.isHiddenOrHasHiddenAncestor();
    if (shown == codeFieldShown_) return;
    codeFieldShown_ = shown;
    platform::ui::Window* shownIn = window();
    if (!shownIn) return;
    if (shown) shownIn->makeFirstResponder(&field);
    else if (shownIn->firstResponder() == &field) shownIn->makeFirstResponder(nullptr);
}

void OnboardingView::reloadTexts(const Setup::Snapshot& state) {
    const Stage stage = state.stage;
    const std::string signedIn = state.email ? t("ob_signed_in_as", {*state.email}) : t("ob_sub_ready");
    const std::string hintLines = t("empty_hint1") + "\n" + t("empty_hint2");
    switch (stage) {
        case Stage::probing:
            title_.setText(t("ob_title_probing"));
            subtitle_.setText("");
            hints_.setText("");
            break;
        case Stage::needsInstall:
        case Stage::needsLogin:
            title_.setText(t("ob_title_setup"));
            subtitle_.setText(t("ob_sub_setup"));
            hints_.setText("");
            break;
        case Stage::ready:
            if (!compact(state))
                title_.setText(t("ob_title_ready"));
            else
                title_.setText(t(Store::shared().currentWall().empty() ? "empty_title" : "empty_tab"));
            subtitle_.setText(signedIn);
            hints_.setText(hintLines);
            break;
    }
}

void OnboardingView::reloadRows(const Setup::Snapshot& state) {
    const Stage stage = state.stage;
    const Job job = state.job;
    const bool installed = stage == Stage::needsLogin || stage == Stage::ready;
    const bool ready = stage == Stage::ready;

    StepRow& install = steps_[Step::install];
    install.name.setText(t("ob_step_install"));
    install.detail.setText(t(installed ? "ob_step_install_done" : "ob_step_install_desc"));
    install.button.setTitle(t("ob_btn_install"));
    install.secondary.setTitle("");
    install.done = installed;
    install.current = stage == Stage::needsInstall;
    install.busy = job == Job::installing;
    install.wantsCode = false;
    std::string installStatus;
    if (install.current) installStatus = job == Job::installing ? state.progress : state.lastError.value_or("");
    install.status.setText(installStatus);

    StepRow& signIn = steps_[Step::signIn];
    signIn.name.setText(t("ob_step_login"));
    signIn.detail.setText(ready && state.email ? t("ob_signed_in_as", {*state.email}) : t("ob_step_login_desc"));
    signIn.button.setTitle(t("ob_btn_login"));
    signIn.secondary.setTitle(t("ob_btn_console"));
    signIn.done = ready;
    signIn.current = stage == Stage::needsLogin;
    signIn.busy = job == Job::loggingIn;
    signIn.wantsCode = job == Job::loggingIn && state.awaitingCode;
    signIn.status.setText("");
    if (signIn.current && job != Job::loggingIn) {
        signIn.status.setText(state.lastError.value_or(""));
    } else if (signIn.current && !state.loginURL) {
        signIn.status.setText(t("ob_login_opening"));
    } else if (signIn.current) {
        platform::ui::TextAttributes waiting;
        waiting.font = Fonts::ui(12, FontWeight::regular);
        waiting.color = C::mutedText();
        platform::ui::TextAttributes link = waiting;
        link.color = C::strongText();
        link.underline = true;
        link.link = *state.loginURL;
        platform::ui::RichText text(t("ob_login_waiting") + "\n", waiting);
        text.append(t("ob_login_link"), link);
        signIn.status.setRichText(std::move(text));
    }

    // No access step here: folders need no grant, so the last step follows sign-in.
    StepRow& open = steps_[Step::openProject];
    open.name.setText(t("ob_step_open"));
    open.detail.setText(t("ob_step_open_desc"));
    open.button.setTitle(t("ob_btn_open"));
    open.secondary.setTitle("");
    open.done = false;
    open.current = ready;
    open.busy = false;
    open.wantsCode = false;
    open.status.setText("");

    for (size_t i = 0; i < steps_.size(); ++i) {
        steps_[i].circle.setMark(steps_[i].done ? "\xE2\x9C\x93" : std::to_string(i + 1));
        steps_[i].style();
    }
}

double OnboardingView::layoutContent(double width, bool apply) {
    const double boxWidth = std::min(width - 80, maximumBoxWidth);
    const double x = (width - boxWidth) / 2;
    double y = 0;
    if (apply) title_.setFrame({0, 0, width, 30});
    if (!subtitle_.text().empty()) {
        // One line in most languages; a second where the words need it.
        const double height = std::max(20.0, std::ceil(subtitle_.shownText().measure(subtitle_.layoutOptions(boxWidth)).height));
        if (apply) subtitle_.setFrame({x, 34, boxWidth, height});
        y = 40 + height;
    } else {
        y = 34;
    }
    if (!card_.isHidden()) {
        y += 18;
        double rowTop = 8;
        for (StepRow& row : steps_) rowTop += row.place(rowTop, boxWidth);
        const double boxHeight = rowTop + (steps_.empty() ? 16 : 8);
        if (apply) card_.setFrame({x, y, boxWidth, boxHeight});
        y += boxHeight + 22;
    } else {
        y += 6;
    }
    if (!hints_.text().empty()) {
        if (apply) hints_.setFrame({0, y, width, 44});
        y += 44;
    }
    const double privacyHeight = std::ceil(privacy_.shownText().measure(privacy_.layoutOptions(boxWidth), 200).height);
    if (apply) privacy_.setFrame({x, y + 8, boxWidth, privacyHeight + 2});
    return y + privacyHeight + 10;
}

void OnboardingView::setFrameSize(Size size) {
    FlippedView::setFrameSize(size);
    layoutContent(size.width, true);
}

// --- Actions ---------------------------------------------------------------------------------

void OnboardingView::tapInstall() { setup_.install(); }
void OnboardingView::tapCancel() { setup_.cancelJob(); }
void OnboardingView::tapLogin() { setup_.login(false); }
void OnboardingView::tapConsole() { setup_.login(true); }

void OnboardingView::tapCode() {
    platform::ui::TextField& field = steps_[Step::signIn].codeField;
    setup_.submitCode(field.stringValue());
    field.setStringValue("");
}

void OnboardingView::tapOpen() {
    if (onOpenProject) onOpenProject();
}

}  // namespace quiltdeck
