#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/RichText.h"
#include "platform/ui/View.h"
#include "quiltdeck/panels/BrandView.h"
#include "quiltdeck/shell/BarMessage.h"
#include "quiltdeck/shell/Lang.h"

namespace quiltdeck {

class Store;

// The strip across the top of the main window: brand and version, five pills (new session,
// browsers, history, settings, guide), the AI-titles check box, the notice that changes are not
// saved (while the store is read-only or its saves fail, and for a while once they work again) or
// that the run started afresh (its state file damaged and set aside), or a message said to it (a
// paste cut short, for a while; a paste still waiting, until withdrawn), and right-aligned the
// counts line and the language pop-up, on a flat ground closed by a hairline. It keeps no state of its own: its owner sets the
// callbacks, the frame, and the counts; the only thing it changes by itself is the interface
// language. Main thread.
class BarView : public platform::ui::View {
public:
    static constexpr double height = 52;
    // Less room than this between the check box and the counts, and the notice is not shown.
    static constexpr double minimumNoticeWidth = 120;

    // The bottom rule: its colour drawn over the ground (a translucent one too).
    class Rule : public platform::ui::View {
    public:
        const platform::gfx::Rgba& color() const { return color_; }
        void setColor(platform::gfx::Rgba color);
        void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;

    private:
        platform::gfx::Rgba color_{0, 0, 0, 0};
    };

    // How long the notice says that saves work again.
    static constexpr std::chrono::seconds savedAgainShown{10};
    // How long a message said to the bar (BarMessage) stays, before anything else the notice says,
    // unless it lasts until withdrawn.
    static constexpr std::chrono::seconds messageShown{12};
    // Messages kept at once, the latest shown: an older one shows again when a later one goes.
    static constexpr size_t messagesKept = 8;

    explicit BarView(const Rect& frame = {});
    ~BarView() override;

    bool isFlipped() const override { return true; }
    void setFrameSize(Size size) override;

    // Rebuilds the counts line and places it again when it reads otherwise.
    void update(int total, int busy, int waiting, int done);
    // Re-reads every title and colour (on each Theme.didChange, which follows language changes).
    void applyTheme();
    // The interface language from elsewhere (the menu bar) as from the pop-up: shown there, stored,
    // told.
    void chooseLanguage(Lang lang);
    // The AI-titles setting changed elsewhere: the check box shows it (its callback is not called).
    void showAiTitles(bool on);
    // The store whose state file the notice tells about (the process's store unless set).
    void setStateStore(const Store& store);
    void layout();

    // How much of the counts line shows: all of it, without the working part, or the numbers.
    enum class CountsForm { full, short_, numbers };
    // "3 tiles · 1 working · 0 waiting for you · 2 done" with the numbers strong; the done part
    // only when done is above 0.
    static platform::ui::RichText countsLine(int total, int busy, int waiting, int done, CountsForm form = CountsForm::full);

    // What a narrow bar gives up so that nothing overlaps, one step after another: the room left
    // of the brand, the version, the pills' margins, the counts' working part, the word mark, the
    // guide pill (also in the Help menu), the counts' words. 0: nothing.
    static constexpr int mostCompact = 7;
    int compaction() const { return compaction_; }

    std::function<void()> onNew;
    std::function<void()> onBrowsers;
    std::function<void()> onSettings;
    std::function<void()> onHistory;
    std::function<void()> onGuide;
    // The check box's new state.
    std::function<void(bool)> onToggleAI;
    // The notice began to say something new (a message, saves failing or working again), news for
    // this long: a bar that slid away comes back for it.
    std::function<void(std::chrono::seconds)> onNews;

    // What the notice says now, whole, even where the bar has no room to show it; none when it
    // says nothing.
    const std::optional<BarMessage::Text>& said() const { return said_; }

    BrandView& brand() { return brand_; }
    platform::ui::Label& version() { return version_; }
    platform::ui::Button& newButton() { return newButton_; }
    platform::ui::Button& browsersButton() { return browsersButton_; }
    platform::ui::Button& historyButton() { return historyButton_; }
    platform::ui::Button& settingsButton() { return settingsButton_; }
    platform::ui::Button& guideButton() { return guideButton_; }
    platform::ui::Button& aiToggle() { return aiToggle_; }
    platform::ui::PopUpButton& languagePicker() { return languagePicker_; }
    platform::ui::Label& counts() { return counts_; }
    // Hidden while there is nothing to tell, and where the bar has no room for it. While saves
    // fail it says their cause briefly; its tool tip says the whole line.
    platform::ui::Label& notice() { return notice_; }
    Rule& hairline() { return hairline_; }
    platform::ui::View& material() { return material_; }

private:
    // A message the bar holds: worded again when the language changes; one that does not last
    // ends on its own timer.
    struct ShownMessage {
        BarMessage::Message message;
        BarMessage::Text text;
        uint64_t serial = 0;
        std::shared_ptr<platform::runtime::WorkItem> end;
    };

    // The pills in the order they stand.
    std::array<platform::ui::Button*, 5> pills() {
        return {&newButton_, &browsersButton_, &historyButton_, &settingsButton_, &guideButton_};
    }
    void styleButton(platform::ui::Button& button);
    // Places the brand, the version, the pills and the check box as `compaction` allows; where
    // the check box ends.
    double placeLeft(int compaction);
    void placeCounts();
    void placeNotice();
    // Sets the counts line in the form the compaction allows; false when it reads as it did.
    bool showCounts();
    static CountsForm countsForm(int compaction);
    // The room the left items leave before the counts: a gap, and the notice's least width while
    // it has something to say (the whole brief save line, else minimumNoticeWidth).
    double middleRoom() const;
    void pickLanguage();
    // The notice's text as the store's file and saves stand; placed by the caller.
    void setNoticeText();
    void savesChanged();
    void showMessage(const BarMessage::Message& message);
    // Takes a message away (withdrawn, replaced, its time over), by topic or by serial.
    void dropMessages(const std::function<bool(const ShownMessage&)>& which);
    void noticeChanged();
    void tellNews(std::chrono::seconds shown);

    platform::ui::View material_;
    BrandView brand_;
    platform::ui::Label version_;
    platform::ui::Button newButton_;
    platform::ui::Button browsersButton_;
    platform::ui::Button historyButton_;
    platform::ui::Button settingsButton_;
    platform::ui::Button guideButton_;
    platform::ui::Button aiToggle_{platform::ui::Button::Type::checkBox};
    platform::ui::Label counts_;
    platform::ui::Label notice_;
    const Store* stateStore_ = nullptr;
    double noticeLeastWidth_ = minimumNoticeWidth;
    bool savesFailing_ = false;
    // How many times the store found another's state file where it saves, as said so far.
    size_t keptTold_ = 0;
    bool savedAgain_ = false;
    std::shared_ptr<platform::runtime::WorkItem> savedAgainEnd_;
    // Oldest first; the last is the one shown.
    std::vector<ShownMessage> messages_;
    uint64_t messageSerial_ = 0;
    std::optional<BarMessage::Text> said_;
    platform::ui::RichText shownCounts_;
    int counted_[4] = {0, 0, 0, 0};
    int compaction_ = 0;
    platform::ui::PopUpButton languagePicker_;
    Rule hairline_;
    platform::runtime::NotificationCenter::Subscription themeObserver_;
    platform::runtime::NotificationCenter::Subscription savesObserver_;
    platform::runtime::NotificationCenter::Subscription messageObserver_;
    platform::runtime::NotificationCenter::Subscription withdrawObserver_;
    platform::runtime::NotificationCenter::Subscription languageObserver_;
};

}  // namespace quiltdeck
