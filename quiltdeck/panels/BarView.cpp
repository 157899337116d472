#include "quiltdeck/panels/BarView.h"

#include <algorithm>
#include <any>
#include <string>

#include "platform/runtime/MainLoop.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/panels/PillButton.h"
#include "quiltdeck/panels/StateNotice.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/AppVersion.h"
#include "quiltdeck/shell/BarMessage.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::ui::Button;
using platform::ui::RichText;
using platform::ui::TextAttributes;

namespace {

constexpr int primaryTag = 1;
constexpr double pillY = 13;
constexpr double pillHeight = 26;
constexpr double pillRadius = 13;
constexpr double pillPadding = 24;
constexpr double pillGap = 8;
constexpr double centreY = 26;
// Between the left items and the counts, and between the counts and the language pop-up.
constexpr double itemGap = 16;

void callIfSet(const std::function<void()>& callback) {
    if (callback) callback();
}

}  // namespace

void BarView::Rule::setColor(platform::gfx::Rgba color) {
    color_ = color;
    setNeedsDisplay();
}

void BarView::Rule::draw(platform::gfx::Canvas& canvas, const Rect&) { canvas.fill(bounds(), color_); }

BarView::BarView(const Rect& frame) : View(frame) {
    addSubview(&material_);
    addSubview(&brand_);

    const std::string version = AppVersion::shortVersion();
    version_.setText("v" + version);
    const std::string build = AppVersion::build();
    version_.setToolTip("Quiltdeck " + version + (build.empty() ? "" : " (" + build + ")"));
    addSubview(&version_);

    const std::array<std::function<void()>*, 5> callbacks = {&onNew, &onBrowsers, &onHistory, &onSettings, &onGuide};
    for (size_t i = 0; i < pills().size(); ++i) {
        Button& pill = *pills()[i];
        pill.setBordered(false);
        pill.setBezelStyle(Button::BezelStyle::regularSquare);
        pill.setShowsFocusRing(false);
        pill.setTag(i == 0 ? primaryTag : 0);
        std::function<void()>* callback = callbacks[i];
        pill.setAction([callback](platform::ui::Control&) { callIfSet(*callback); });
        addSubview(&pill);
        styleButton(pill);
    }

    aiToggle_.setState(Store::shared().aiTitles() ? Button::State::on : Button::State::off);
    aiToggle_.setIdentifier(std::string(noPill));
    aiToggle_.setAction([this](platform::ui::Control&) {
        if (onToggleAI) onToggleAI(aiToggle_.state() == Button::State::on);
    });
    addSubview(&aiToggle_);

    counts_.setAlignment(platform::ui::TextAlignment::right);
    addSubview(&counts_);

    stateStore_ = &Store::shared();
    notice_.setTruncation(platform::ui::Truncation::tail);
    addSubview(&notice_);

    for (Lang lang : Lang::allCases()) languagePicker_.addItem(std::string(lang.ownName()));
    languagePicker_.selectItem(Lang::current().index());
    if (languagePicker_.indexOfSelectedItem() < 0) languagePicker_.selectItem(0);
    languagePicker_.setControlSize(Button::ControlSize::small);
    languagePicker_.setFont(Fonts::ui(11, FontWeight::regular));
    languagePicker_.setAction([this](platform::ui::Control&) { pickLanguage(); });
    addSubview(&languagePicker_);

    addSubview(&hairline_);
    applyTheme();
    themeObserver_ = platform::runtime::NotificationCenter::defaultCenter().subscribe(
        std::string(Theme::didChange), [this](const platform::runtime::Notification&) { applyTheme(); });
    savesObserver_ = platform::runtime::NotificationCenter::defaultCenter().subscribe(
        std::string(Store::savesDidChange), [this](const platform::runtime::Notification&) { savesChanged(); });
    auto& center = platform::runtime::NotificationCenter::defaultCenter();
    messageObserver_ = center.subscribe(std::string(BarMessage::didPost), [this](const platform::runtime::Notification& note) {
        if (const auto* message = std::any_cast<BarMessage::Message>(&note.object)) showMessage(*message);
    });
    withdrawObserver_ = center.subscribe(std::string(BarMessage::didWithdraw), [this](const platform::runtime::Notification& note) {
        const auto* topic = std::any_cast<std::string>(&note.object);
        // An empty topic is each message's own: nobody can name it.
        if (!topic || topic->empty()) return;
        dropMessages([topic](const ShownMessage& shown) { return shown.message.topic == *topic; });
        noticeChanged();
    });
    // The theme notification that follows words them again too; this one may come alone.
    languageObserver_ = center.subscribe(std::string(Lang::didChange), [this](const platform::runtime::Notification&) {
        for (ShownMessage& shown : messages_) shown.text = shown.message.text();
        noticeChanged();
    });
}

BarView::~BarView() {
    if (savedAgainEnd_) savedAgainEnd_->cancel();
    for (const ShownMessage& shown : messages_) {
        if (shown.end) shown.end->cancel();
    }
}

void BarView::setFrameSize(Size size) {
    View::setFrameSize(size);
    layout();
}

void BarView::styleButton(Button& button) {
    const bool primary = button.tag() == primaryTag;
    Button::Look look = PillButton::lookFor(primary);
    // The radius belongs to the layout.
    if (button.look()) look.cornerRadius = button.look()->cornerRadius;
    button.setLook(look);
    button.setAttributedTitle(RichText(button.title(), PillButton::titleAttributes(primary)));
}

void BarView::applyTheme() {
    newButton_.setTitle(t("new_session"));
    browsersButton_.setTitle(t("browsers"));
    historyButton_.setTitle(t("history"));
    settingsButton_.setTitle(t("settings"));
    guideButton_.setTitle(t("guide"));
    aiToggle_.setTitle(t("ai_titles"));
    for (ShownMessage& shown : messages_) shown.text = shown.message.text();

    setLayerBackgroundColor(std::nullopt);
    material_.setLayerBackgroundColor(PanelColors::panelBackground());
    hairline_.setColor(PanelColors::hairline());
    aiToggle_.setFont(Fonts::ui(12, FontWeight::regular));
    aiToggle_.setContentTintColor(PanelColors::mutedText());
    counts_.setFont(Fonts::ui(12, FontWeight::regular));
    counts_.setTextColor(PanelColors::mutedText());
    version_.setFont(Fonts::ui(11, FontWeight::regular));
    version_.setTextColor(PanelColors::mutedText());
    notice_.setFont(Fonts::ui(12, FontWeight::medium));
    setNoticeText();
    for (Button* pill : pills()) styleButton(*pill);
    layout();
}

void BarView::setNoticeText() {
    // What shows, and all of it for the tip where the shown line is a brief form.
    std::string notice, whole;
    const bool message = !messages_.empty();
    if (message) {
        notice = messages_.back().text.shown, whole = messages_.back().text.whole;
    } else if (stateStore_ && savedAgain_) {
        notice = t("state_saved_again_brief"), whole = t("state_saved_again_line");
    } else if (stateStore_) {
        const Store& store = *stateStore_;
        if (auto line = StateNotice::saveLine(store)) notice = StateNotice::briefSaveLine(store).value_or(""), whole = std::move(*line);
        else if ((line = StateNotice::line(store))) notice = StateNotice::briefLine(store).value_or(""), whole = std::move(*line);
    }
    if (notice.empty()) notice = std::move(whole), whole.clear();
    if (whole.empty()) whole = notice;
    notice_.setText(notice);
    notice_.setToolTip(whole);
    said_.reset();
    if (!notice.empty()) said_ = BarMessage::Text{notice, whole};
    // A brief line (saves failing, entries left out) and a message are made to show whole: the bar
    // gives up its other items for them first. A long line with no brief form is cut.
    const bool brief = message || notice != whole;
    noticeLeastWidth_ = brief ? std::max(minimumNoticeWidth, notice_.fittingSize().width) : minimumNoticeWidth;
    using C = PanelColors;
    notice_.setTextColor(savedAgain_ && !message ? C::pick(C::rgb(95, 176, 122), C::rgb(46, 125, 75))
                                                 : C::pick(C::rgb(224, 162, 71), C::rgb(140, 90, 10)));
}

void BarView::setStateStore(const Store& store) {
    stateStore_ = &store;
    savesFailing_ = store.saveError() != 0;
    savedAgain_ = false;
    keptTold_ = store.keptAside() ? store.keptAside()->times : 0;
    applyTheme();
}

// Said once while saves fail (again when their cause changes), and for a while once they work
// again. A state file kept beside the one saved is said each time one is, while saves work too,
// with the count of this run's copies: each is a version the user may want back.
void BarView::savesChanged() {
    const bool failing = stateStore_ && stateStore_->saveError() != 0;
    const size_t kept = stateStore_ && stateStore_->keptAside() ? stateStore_->keptAside()->times : 0;
    const bool keptAgain = kept != keptTold_;
    keptTold_ = kept;
    if (keptAgain && failing == savesFailing_ && !failing) {
        noticeChanged();
        tellNews(messageShown);
        return;
    }
    // Nothing new while they keep working; a new cause while they keep failing is said in its place.
    if (failing == savesFailing_ && !failing) return;
    if (failing != savesFailing_) {
        savesFailing_ = failing;
        savedAgain_ = !failing;
        if (savedAgainEnd_) savedAgainEnd_->cancel();
        savedAgainEnd_.reset();
        if (savedAgain_) {
            savedAgainEnd_ = platform::runtime::MainLoop::main().postAfter(savedAgainShown, [this] {
                savedAgain_ = false;
                setNoticeText();
                layout();
            });
        }
    }
    noticeChanged();
    // A message said meanwhile keeps the notice; saves failing or working again are news still.
    if (failing || savedAgain_) tellNews(failing ? messageShown : savedAgainShown);
}

// The latest message goes before everything else the notice says, for a while or until it is
// withdrawn; a later one of its topic takes its place.
void BarView::showMessage(const BarMessage::Message& message) {
    if (!message.topic.empty()) {
        dropMessages([&message](const ShownMessage& shown) { return shown.message.topic == message.topic; });
    }
    if (messages_.size() >= messagesKept) {
        const uint64_t oldest = messages_.front().serial;
        dropMessages([oldest](const ShownMessage& shown) { return shown.serial == oldest; });
    }
    ShownMessage shown{message, message.text(), ++messageSerial_, nullptr};
    if (!message.lasting) {
        shown.end = platform::runtime::MainLoop::main().postAfter(messageShown, [this, serial = shown.serial] {
            dropMessages([serial](const ShownMessage& held) { return held.serial == serial; });
            noticeChanged();
        });
    }
    messages_.push_back(std::move(shown));
    noticeChanged();
    tellNews(messageShown);
}

void BarView::dropMessages(const std::function<bool(const ShownMessage&)>& which) {
    std::erase_if(messages_, [&which](const ShownMessage& shown) {
        if (!which(shown)) return false;
        if (shown.end) shown.end->cancel();
        return true;
    });
}

void BarView::noticeChanged() {
    setNoticeText();
    layout();
}

void BarView::tellNews(std::chrono::seconds shown) {
    // A copy: the owner may replace it.
    if (auto told = onNews) told(shown);
}

RichText BarView::countsLine(int total, int busy, int waiting, int done, CountsForm form) {
    using C = PanelColors;
    TextAttributes strong;
    strong.font = Fonts::ui(12, FontWeight::semibold);
    strong.color = C::strongText();
    TextAttributes weak;
    weak.font = Fonts::ui(12, FontWeight::regular);
    weak.color = C::mutedText();
    const std::string separator = " \u00B7 ";
    // A number, a blank and the key's text in the form for that number ("1 arbeitet", "2 arbeiten").
    auto counted = [](std::string number, std::string_view key, int count) {
        return number.append(1, ' ').append(tCount(key, count));
    };
    TextAttributes finished = strong;
    finished.color = C::pick(C::rgb(95, 176, 122), C::rgb(46, 125, 75));
    RichText line;
    if (form == CountsForm::numbers) {
        // The numbers alone, in the colours of their parts; the full line is the tool tip.
        line.append(std::to_string(total), strong).append(separator, weak).append(std::to_string(waiting), strong);
        if (done > 0) line.append(separator, weak).append(std::to_string(done), finished);
        return line;
    }
    // The noun agrees with its number in the interface language ("1 tile", "5 плиток").
    line.append(std::to_string(total), strong).append(std::string(" ").append(tCount("tiles", total)).append(separator), weak);
    if (form == CountsForm::full) line.append(std::to_string(busy), strong).append(counted("", "working", busy).append(separator), weak);
    line.append(std::to_string(waiting), strong).append(counted("", "waiting_for_you", waiting), weak);
    if (done > 0) line.append(separator, weak).append(counted(std::to_string(done), "done_for_you", done), finished);
    return line;
}

BarView::CountsForm BarView::countsForm(int compaction) {
    return compaction >= 7 ? CountsForm::numbers : compaction >= 4 ? CountsForm::short_ : CountsForm::full;
}

void BarView::update(int total, int busy, int waiting, int done) {
    counted_[0] = total, counted_[1] = busy, counted_[2] = waiting, counted_[3] = done;
    // Counts change with every status a tile reports: only the counts are measured and placed
    // again, and only when their line reads otherwise; the whole bar only when they no longer fit.
    if (!showCounts()) return;
    if (compaction_ < mostCompact && counts_.frame().x < aiToggle_.frame().maxX() + middleRoom()) layout();
}

double BarView::middleRoom() const { return notice_.text().empty() ? itemGap : itemGap + noticeLeastWidth_ + itemGap; }

bool BarView::showCounts() {
    const auto [total, busy, waiting, done] = counted_;
    RichText line = countsLine(total, busy, waiting, done, countsForm(compaction_));
    if (line == shownCounts_) return false;
    shownCounts_ = line;
    counts_.setRichText(std::move(line));
    // A shortened line says the whole of it under the pointer.
    counts_.setToolTip(countsForm(compaction_) != CountsForm::full ? countsLine(total, busy, waiting, done).string() : std::string());
    placeCounts();
    return true;
}

void BarView::placeCounts() {
    counts_.sizeToFit();
    const Rect counts = counts_.frame();
    counts_.setFrameOrigin({languagePicker_.frame().x - counts.width - itemGap, centreY - counts.height / 2});
    placeNotice();
}

// Between the check box and the counts, cut at its end where it runs short.
void BarView::placeNotice() {
    const double left = aiToggle_.frame().maxX() + itemGap, right = counts_.frame().x - itemGap;
    const Size fitted = notice_.fittingSize();
    const bool shown = !notice_.text().empty() && right - left >= minimumNoticeWidth;
    notice_.setHidden(!shown);
    if (shown) notice_.setFrame({left, centreY - fitted.height / 2, std::min(fitted.width, right - left), fitted.height});
}

void BarView::pickLanguage() {
    const int index = languagePicker_.indexOfSelectedItem();
    if (index < 0 || index >= Lang::count) return;
    chooseLanguage(Lang::allCases()[static_cast<size_t>(index)]);
}

void BarView::chooseLanguage(Lang lang) {
    languagePicker_.selectItem(lang.index());
    Lang::setCurrent(lang);
    Store::shared().setLanguage(std::string(lang.rawValue()));
    platform::runtime::NotificationCenter::defaultCenter().post(std::string(Lang::didChange));
}

void BarView::showAiTitles(bool on) { aiToggle_.setState(on ? Button::State::on : Button::State::off); }

double BarView::placeLeft(int compaction) {
    // The room left of the brand is the first thing a narrow bar gives up.
    const double inset = compaction >= 1 ? 16 : 84;
    brand_.setFrame({inset, 0, 200, height});
    brand_.setShowsWord(compaction < 5);

    version_.setHidden(compaction >= 2);
    version_.sizeToFit();
    const Rect version = version_.frame();
    const double versionX = inset + brand_.inkRight() + 8;
    version_.setFrameOrigin({versionX, 27 - version.height / 2});

    double x = version_.isHidden() ? inset + brand_.inkRight() + 16 : versionX + version.width + 16;
    // The title's own width and 12 points on either side, 7 when the bar is short of room.
    const double padding = compaction >= 3 ? 14 : pillPadding;
    guideButton_.setHidden(compaction >= 6);
    for (Button* pill : pills()) {
        if (pill->isHidden()) continue;
        const double pillWidth = pill->shownTitle().measure().width + padding;
        pill->setFrame({x, pillY, pillWidth, pillHeight});
        Button::Look look = pill->look().value_or(Button::Look{});
        look.cornerRadius = pillRadius;
        pill->setLook(look);
        x += pillWidth + pillGap;
    }

    aiToggle_.sizeToFit();
    aiToggle_.setFrameOrigin({x + 6, centreY - aiToggle_.frame().height / 2});
    return aiToggle_.frame().maxX();
}

void BarView::layout() {
    const double width = frame().width;
    languagePicker_.sizeToFit();
    const Rect picker = languagePicker_.frame();
    languagePicker_.setFrameOrigin({width - picker.width - 14, centreY - picker.height / 2});

    // The least given up that lets the left items and the counts stand apart.
    for (compaction_ = 0;; ++compaction_) {
        const double leftEnd = placeLeft(compaction_);
        const auto [total, busy, waiting, done] = counted_;
        const double countsWidth = countsLine(total, busy, waiting, done, countsForm(compaction_)).measure().width;
        if (leftEnd + middleRoom() <= languagePicker_.frame().x - itemGap - countsWidth || compaction_ == mostCompact) break;
    }
    shownCounts_ = {};
    showCounts();

    material_.setFrame(bounds());
    hairline_.setFrame({0, height - 1, width, 1});
}

}  // namespace quiltdeck
