#include "quiltdeck/panels/BarView.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/panels/PanelTestSupport.h"
#include "quiltdeck/panels/StateNotice.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/BarMessage.h"
#include "quiltdeck/shell/Lang.h"

namespace quiltdeck {
namespace {

using platform::gfx::FontWeight;
using platform::gfx::Rect;
using platform::gfx::Rgba;
using platform::ui::Button;
using testing::rgb;

class BarViewTest : public testing::PanelTest {
protected:
    ~BarViewTest() override {
        Lang::setCurrent(Lang::en);
        Store::shared().setLanguage("en");
    }
};

// The counts line: its text, and which runs are strong (semibold), weak or the green done run.
TEST_F(BarViewTest, CountsLine) {
    struct Case {
        int total, busy, waiting, done;
        const char* text;
    } cases[] = {
        {3, 1, 0, 2, "3 tiles \u00B7 1 working \u00B7 0 waiting for you \u00B7 2 done"},
        {0, 0, 0, 0, "0 tiles \u00B7 0 working \u00B7 0 waiting for you"},
        {1, 0, 0, -1, "1 tile \u00B7 0 working \u00B7 0 waiting for you"},
        {12, 10, 2, 1, "12 tiles \u00B7 10 working \u00B7 2 waiting for you \u00B7 1 done"},
    };
    for (const Case& c : cases) EXPECT_EQ(BarView::countsLine(c.total, c.busy, c.waiting, c.done).string(), c.text);

    for (bool dark : {true, false}) {
        setDark(dark);
        const platform::ui::RichText line = BarView::countsLine(3, 1, 0, 2);
        const std::string text = line.string();
        struct Run {
            std::string at;
            FontWeight weight;
            Rgba color;
        } runs[] = {
            {"3", FontWeight::semibold, dark ? rgb(233, 235, 237) : rgb(20, 22, 26)},
            {" tiles", FontWeight::regular, dark ? rgb(158, 163, 169) : rgb(86, 91, 97)},
            {"1 working", FontWeight::semibold, dark ? rgb(233, 235, 237) : rgb(20, 22, 26)},
            {" waiting", FontWeight::regular, dark ? rgb(158, 163, 169) : rgb(86, 91, 97)},
            {"2 done", FontWeight::semibold, dark ? rgb(95, 176, 122) : rgb(46, 125, 75)},
            {"done", FontWeight::semibold, dark ? rgb(95, 176, 122) : rgb(46, 125, 75)},
        };
        for (const Run& run : runs) {
            const auto& attributes = testing::runAt(line, text.find(run.at));
            EXPECT_EQ(attributes.font.weight, run.weight) << run.at;
            EXPECT_EQ(attributes.font.size, 12) << run.at;
            EXPECT_EQ(attributes.color, run.color) << run.at << (dark ? " dark" : " light");
        }
    }
}

// Every count takes its language's form for that number, the status words as the tile count.
TEST_F(BarViewTest, CountsAgreeWithTheirNumbersInEveryLanguage) {
    const struct {
        const char* lang;
        int count;
        const char* line;
    } cases[] = {
        {"en", 0, "0 tiles · 0 working · 0 waiting for you"},
        {"en", 1, "1 tile · 1 working · 1 waiting for you · 1 done"},
        {"en", 2, "2 tiles · 2 working · 2 waiting for you · 2 done"},
        {"en", 5, "5 tiles · 5 working · 5 waiting for you · 5 done"},
        {"en", 21, "21 tiles · 21 working · 21 waiting for you · 21 done"},
        {"et", 0, "0 paani · 0 töötavad · 0 ootavad sind"},
        {"et", 1, "1 paan · 1 töötab · 1 ootab sind · 1 valmis"},
        {"et", 2, "2 paani · 2 töötavad · 2 ootavad sind · 2 valmis"},
        {"et", 5, "5 paani · 5 töötavad · 5 ootavad sind · 5 valmis"},
        {"et", 21, "21 paani · 21 töötavad · 21 ootavad sind · 21 valmis"},
        {"de", 0, "0 Kacheln · 0 arbeiten · 0 warten auf dich"},
        {"de", 1, "1 Kachel · 1 arbeitet · 1 wartet auf dich · 1 fertig"},
        {"de", 2, "2 Kacheln · 2 arbeiten · 2 warten auf dich · 2 fertig"},
        {"de", 5, "5 Kacheln · 5 arbeiten · 5 warten auf dich · 5 fertig"},
        {"de", 21, "21 Kacheln · 21 arbeiten · 21 warten auf dich · 21 fertig"},
        {"fr", 0, "0 tuile · 0 en cours · 0 t'attend"},
        {"fr", 1, "1 tuile · 1 en cours · 1 t'attend · 1 terminée"},
        {"fr", 2, "2 tuiles · 2 en cours · 2 t'attendent · 2 terminées"},
        {"fr", 5, "5 tuiles · 5 en cours · 5 t'attendent · 5 terminées"},
        {"fr", 21, "21 tuiles · 21 en cours · 21 t'attendent · 21 terminées"},
        {"es", 0, "0 mosaicos · 0 trabajando · 0 te esperan"},
        {"es", 1, "1 mosaico · 1 trabajando · 1 te espera · 1 listo"},
        {"es", 2, "2 mosaicos · 2 trabajando · 2 te esperan · 2 listos"},
        {"es", 5, "5 mosaicos · 5 trabajando · 5 te esperan · 5 listos"},
        {"es", 21, "21 mosaicos · 21 trabajando · 21 te esperan · 21 listos"},
        {"it", 0, "0 riquadri · 0 al lavoro · 0 ti aspettano"},
        {"it", 1, "1 riquadro · 1 al lavoro · 1 ti aspetta · 1 fatto"},
        {"it", 2, "2 riquadri · 2 al lavoro · 2 ti aspettano · 2 fatti"},
        {"it", 5, "5 riquadri · 5 al lavoro · 5 ti aspettano · 5 fatti"},
        {"it", 21, "21 riquadri · 21 al lavoro · 21 ti aspettano · 21 fatti"},
        {"pt", 0, "0 mosaicos · 0 a trabalhar · 0 à tua espera"},
        {"pt", 1, "1 mosaico · 1 a trabalhar · 1 à tua espera · 1 pronto"},
        {"pt", 2, "2 mosaicos · 2 a trabalhar · 2 à tua espera · 2 prontos"},
        {"pt", 5, "5 mosaicos · 5 a trabalhar · 5 à tua espera · 5 prontos"},
        {"pt", 21, "21 mosaicos · 21 a trabalhar · 21 à tua espera · 21 prontos"},
        {"nl", 0, "0 tegels · 0 bezig · 0 wachten op jou"},
        {"nl", 1, "1 tegel · 1 bezig · 1 wacht op jou · 1 klaar"},
        {"nl", 2, "2 tegels · 2 bezig · 2 wachten op jou · 2 klaar"},
        {"nl", 5, "5 tegels · 5 bezig · 5 wachten op jou · 5 klaar"},
        {"nl", 21, "21 tegels · 21 bezig · 21 wachten op jou · 21 klaar"},
        {"pl", 0, "0 kafelków · 0 pracuje · 0 czeka na ciebie"},
        {"pl", 1, "1 kafelek · 1 pracuje · 1 czeka na ciebie · 1 gotowy"},
        {"pl", 2, "2 kafelki · 2 pracują · 2 czekają na ciebie · 2 gotowe"},
        {"pl", 5, "5 kafelków · 5 pracuje · 5 czeka na ciebie · 5 gotowych"},
        {"pl", 21, "21 kafelków · 21 pracuje · 21 czeka na ciebie · 21 gotowych"},
        {"ru", 0, "0 плиток · 0 работают · 0 ждут вас"},
        {"ru", 1, "1 плитка · 1 работает · 1 ждёт вас · 1 готова"},
        {"ru", 2, "2 плитки · 2 работают · 2 ждут вас · 2 готовы"},
        {"ru", 5, "5 плиток · 5 работают · 5 ждут вас · 5 готовы"},
        {"ru", 21, "21 плитка · 21 работает · 21 ждёт вас · 21 готова"},
        {"zh", 0, "0 磁贴 · 0 运行中 · 0 等待你"},
        {"zh", 1, "1 磁贴 · 1 运行中 · 1 等待你 · 1 完成"},
        {"zh", 2, "2 磁贴 · 2 运行中 · 2 等待你 · 2 完成"},
        {"zh", 5, "5 磁贴 · 5 运行中 · 5 等待你 · 5 完成"},
        {"zh", 21, "21 磁贴 · 21 运行中 · 21 等待你 · 21 完成"},
    };
    for (const auto& c : cases) {
        Lang::setCurrent(*Lang::fromRawValue(c.lang));
        EXPECT_EQ(BarView::countsLine(c.count, c.count, c.count, c.count).string(), c.line) << c.lang << " " << c.count;
    }
}

TEST_F(BarViewTest, LayoutPlacesEveryPart) {
    BarView bar({0, 0, 1200, BarView::height});
    bar.update(3, 1, 0, 2);
    EXPECT_EQ(bar.brand().frame(), (Rect{84, 0, 200, 52}));
    const Rect version = bar.version().frame();
    EXPECT_DOUBLE_EQ(version.x, 84 + 24.2 + bar.brand().wordFrame().width + 8);
    EXPECT_GT(bar.brand().wordFrame().width, 40);
    EXPECT_DOUBLE_EQ(version.y + version.height / 2, 27);
    EXPECT_EQ(bar.version().text().substr(0, 1), "v");

    double x = version.x + version.width + 16;
    Button* pills[] = {&bar.newButton(), &bar.browsersButton(), &bar.historyButton(), &bar.settingsButton(), &bar.guideButton()};
    for (Button* pill : pills) {
        const Rect frame = pill->frame();
        EXPECT_DOUBLE_EQ(frame.x, x) << pill->title();
        EXPECT_EQ(frame.y, 13) << pill->title();
        EXPECT_EQ(frame.height, 26) << pill->title();
        EXPECT_DOUBLE_EQ(frame.width, pill->attributedTitle()->measure().width + 24) << pill->title();
        EXPECT_EQ(pill->look()->cornerRadius, 13) << pill->title();
        x += frame.width + 8;
    }
    EXPECT_DOUBLE_EQ(bar.aiToggle().frame().x, x + 6);
    EXPECT_DOUBLE_EQ(bar.aiToggle().frame().y + bar.aiToggle().frame().height / 2, 26);
    const Rect picker = bar.languagePicker().frame();
    EXPECT_DOUBLE_EQ(picker.maxX(), 1200 - 14);
    EXPECT_DOUBLE_EQ(picker.y + picker.height / 2, 26);
    EXPECT_DOUBLE_EQ(bar.counts().frame().maxX(), picker.x - 16);
    EXPECT_GT(bar.counts().frame().width, 100);
    EXPECT_EQ(bar.hairline().frame(), (Rect{0, 51, 1200, 1}));
    EXPECT_EQ(bar.material().frame(), (Rect{0, 0, 1200, 52}));

    // A wider window moves only what is right-aligned.
    bar.setFrame({0, 0, 1400, BarView::height});
    EXPECT_DOUBLE_EQ(bar.languagePicker().frame().maxX(), 1400 - 14);
    EXPECT_DOUBLE_EQ(bar.newButton().frame().x, version.x + version.width + 16);
}

TEST_F(BarViewTest, CountsFollowEveryUpdateRightAlignedBeforeThePicker) {
    BarView bar({0, 0, 1200, BarView::height});
    struct Case {
        const char* name;
        int total, busy, waiting, done;
        std::function<void()> before;
    };
    const Case cases[] = {
        {"first counts", 3, 1, 0, 2, nullptr},
        {"the same again", 3, 1, 0, 2, nullptr},
        {"a longer line", 120, 100, 15, 5, nullptr},
        {"a shorter line", 1, 0, 0, 0, nullptr},
        {"the same counts in another language", 1, 0, 0, 0, [] { Lang::setCurrent(Lang::de); }},
        {"the same counts in the light theme", 1, 0, 0, 0, [this] { setDark(false); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.before) c.before();
        bar.update(c.total, c.busy, c.waiting, c.done);
        const platform::ui::RichText line = BarView::countsLine(c.total, c.busy, c.waiting, c.done);
        EXPECT_EQ(bar.counts().text(), line.string());
        const Rect counts = bar.counts().frame();
        EXPECT_DOUBLE_EQ(counts.maxX(), bar.languagePicker().frame().x - 16);
        EXPECT_DOUBLE_EQ(counts.y + counts.height / 2, 26);
        EXPECT_NEAR(counts.width, line.measure().width, 2);
    }
}

// A narrow bar gives up as little as it can, in order, until nothing overlaps, in every language;
// a wide one gives up nothing. The AI-titles box keeps its whole title at every width. A shortened counts line says the whole of it as its tool tip.
TEST_F(BarViewTest, ANarrowBarGivesUpWhatDoesNotFit) {
    for (Lang lang : Lang::allCases()) {
        Lang::setCurrent(lang);
        post(Theme::didChange);
        int previous = BarView::mostCompact;
        for (double width : {900.0, 960.0, 1100.0, 1280.0, 1720.0}) {
            BarView bar({0, 0, width, BarView::height});
            bar.update(16, 9, 3, 2);
            SCOPED_TRACE(std::string(lang.rawValue()) + " at " + std::to_string(int(width)));
            // Wider, never more given up.
            EXPECT_LE(bar.compaction(), previous);
            previous = bar.compaction();
            std::vector<Rect> items = {Rect{bar.brand().frame().x, 0, bar.brand().inkRight(), BarView::height}};
            for (platform::ui::View* item : std::initializer_list<platform::ui::View*>{
                     &bar.version(), &bar.newButton(), &bar.browsersButton(), &bar.historyButton(), &bar.settingsButton(),
                     &bar.guideButton(), &bar.aiToggle(), &bar.notice(), &bar.counts(), &bar.languagePicker()}) {
                if (!item->isHidden()) items.push_back(item->frame());
            }
            for (size_t i = 0; i < items.size(); ++i) {
                EXPECT_GE(items[i].x, 0) << i;
                EXPECT_LE(items[i].maxX(), width) << i;
                for (size_t j = i + 1; j < items.size(); ++j) EXPECT_LE(items[i].intersection(items[j]).width, 0) << i << " " << j;
            }
            // The check box is never given up: its title whole in its frame, and the focus ring
            // (drawn 2 points inside the frame) clear of its end.
            const double title = bar.aiToggle().shownTitle().measure().width;
            EXPECT_GE(bar.aiToggle().frame().width - platform::ui::Button::checkBoxTitleX - title, 2 + 1);
            EXPECT_EQ(bar.guideButton().isHidden(), bar.compaction() >= 6);
            EXPECT_EQ(bar.version().isHidden(), bar.compaction() >= 2);
            const std::string whole = BarView::countsLine(16, 9, 3, 2).string();
            if (bar.compaction() >= 4) {
                EXPECT_NE(bar.counts().richText()->string(), whole);
                EXPECT_EQ(bar.counts().toolTip(), whole);
            } else {
                EXPECT_EQ(bar.counts().richText()->string(), whole);
                EXPECT_EQ(bar.counts().toolTip(), "");
            }
        }
        EXPECT_EQ(previous, 0) << lang.rawValue();
    }
    Lang::setCurrent(Lang::en);
    // The shorter lines keep the numbers that matter most.
    EXPECT_EQ(BarView::countsLine(16, 9, 3, 2, BarView::CountsForm::short_).string(),
              "16 tiles \u00B7 3 waiting for you \u00B7 2 done");
    EXPECT_EQ(BarView::countsLine(16, 9, 3, 0, BarView::CountsForm::numbers).string(), "16 \u00B7 3");
}

// Counts that grow past their room make the bar give up more; a change that still fits moves
// the counts alone.
TEST_F(BarViewTest, CountsThatNoLongerFitLayTheBarOutAgain) {
    BarView bar({0, 0, 1100, BarView::height});
    bar.update(1, 0, 0, 0);
    const int roomy = bar.compaction();
    bar.update(12345, 12345, 12345, 12345);
    EXPECT_GT(bar.compaction(), roomy);
    EXPECT_GE(bar.counts().frame().x, bar.aiToggle().frame().maxX() + 16);
}

TEST_F(BarViewTest, PillsTitlesAndRoles) {
    BarView bar({0, 0, 1200, BarView::height});
    EXPECT_EQ(bar.newButton().title(), "new session");
    EXPECT_EQ(bar.guideButton().title(), "guide");
    EXPECT_EQ(bar.aiToggle().title(), "AI titles");
    EXPECT_EQ(bar.newButton().tag(), 1);
    EXPECT_EQ(bar.historyButton().tag(), 0);
    EXPECT_EQ(bar.newButton().look()->fill, rgb(237, 239, 241));
    EXPECT_EQ(bar.historyButton().look()->fill, rgb(25, 27, 29));
    EXPECT_EQ(bar.aiToggle().identifier(), "noPill");
    EXPECT_FALSE(bar.aiToggle().look());
    ASSERT_EQ(bar.languagePicker().items().size(), 11u);
    EXPECT_EQ(bar.languagePicker().items()[2], "Deutsch");
    EXPECT_EQ(bar.languagePicker().items()[10], "中文");
    EXPECT_EQ(bar.languagePicker().titleOfSelectedItem(), "English");
}

TEST_F(BarViewTest, ThemeSwitchRecoloursTheBar) {
    BarView bar({0, 0, 1200, BarView::height});
    for (bool dark : {false, true}) {
        setDark(dark);
        const std::string name = dark ? "dark" : "light";
        EXPECT_EQ(bar.newButton().look()->fill, dark ? rgb(237, 239, 241) : rgb(20, 22, 26)) << name;
        EXPECT_EQ(bar.browsersButton().look()->fill, dark ? rgb(25, 27, 29) : rgb(255, 255, 255)) << name;
        EXPECT_EQ(testing::runAt(*bar.newButton().attributedTitle(), 0).color, dark ? rgb(11, 12, 13) : rgb(255, 255, 255)) << name;
        EXPECT_EQ(bar.hairline().color(), dark ? (Rgba{1, 1, 1, 0.08}) : (Rgba{0, 0, 0, 0.10})) << name;
        EXPECT_EQ(bar.version().textColor(), dark ? rgb(158, 163, 169) : rgb(86, 91, 97)) << name;
        EXPECT_EQ(bar.aiToggle().contentTintColor(), dark ? rgb(158, 163, 169) : rgb(86, 91, 97)) << name;
        EXPECT_EQ(bar.material().layerBackgroundColor(), dark ? rgb(18, 19, 21) : rgb(244, 243, 241)) << name;
        EXPECT_EQ(bar.brand().ink(), dark ? rgb(233, 235, 237) : rgb(20, 22, 26)) << name;
        // The radius stays the layout's.
        EXPECT_EQ(bar.newButton().look()->cornerRadius, 13) << name;
    }
}

TEST_F(BarViewTest, ChoosingALanguageStoresItAndTitlesFollow) {
    BarView bar({0, 0, 1200, BarView::height});
    int languageChanges = 0;
    // As the application delegate does: a language change is followed by a theme notification.
    auto relay = platform::runtime::NotificationCenter::defaultCenter().subscribe(std::string(Lang::didChange), [&](const auto&) {
        ++languageChanges;
        platform::runtime::NotificationCenter::defaultCenter().post(std::string(Theme::didChange));
    });
    EXPECT_TRUE(bar.languagePicker().choose(2));
    loop_.runPending();
    EXPECT_EQ(Store::shared().language(), "de");
    EXPECT_EQ(Lang::current(), Lang::de);
    EXPECT_EQ(languageChanges, 1);
    EXPECT_EQ(bar.newButton().title(), "neue Sitzung");
    EXPECT_EQ(bar.guideButton().title(), "Anleitung");
    // The counts follow at the next update.
    bar.update(1, 0, 0, 0);
    EXPECT_EQ(bar.counts().text(), BarView::countsLine(1, 0, 0, 0).string());
    EXPECT_FALSE(bar.languagePicker().choose(11));
    EXPECT_FALSE(bar.languagePicker().choose(-1));
    loop_.runPending();
    EXPECT_EQ(languageChanges, 1);
}

TEST_F(BarViewTest, ClicksReachTheirCallbacksOnlyWhenSet) {
    BarView bar({0, 0, 1200, BarView::height});
    // Nothing set: every click does nothing.
    for (Button* b : {&bar.newButton(), &bar.browsersButton(), &bar.historyButton(), &bar.settingsButton(), &bar.guideButton(), &bar.aiToggle()})
        EXPECT_TRUE(b->performClick());
    std::string calls;
    bar.onNew = [&] { calls += "new "; };
    bar.onBrowsers = [&] { calls += "browsers "; };
    bar.onHistory = [&] { calls += "history "; };
    bar.onSettings = [&] { calls += "settings "; };
    bar.onGuide = [&] { calls += "guide "; };
    bar.onToggleAI = [&](bool on) { calls += on ? "ai:on " : "ai:off "; };
    const bool storedOn = bar.aiToggle().state() == Button::State::on;
    for (Button* b : {&bar.newButton(), &bar.browsersButton(), &bar.historyButton(), &bar.settingsButton(), &bar.guideButton(), &bar.aiToggle(), &bar.aiToggle()})
        b->performClick();
    EXPECT_EQ(calls, std::string("new browsers history settings guide ") + (storedOn ? "ai:off ai:on " : "ai:on ai:off "));
}

// A new bar takes the stored language (an unknown code is English) and AI-titles setting.
// A message said to the bar (a paste cut short) goes before the state's line for a while, whole in
// its tip; then the line is back, and with nothing else to say the notice hides.
TEST_F(BarViewTest, AMessageGoesBeforeTheStateLineForAWhile) {
    testing::TempFolder folder, other;
    std::filesystem::create_directory(folder.path() / "state.json");
    const Store broken(folder.path()), good(other.path());
    BarView bar(Rect{0, 0, 1720, BarView::height});
    for (const Store* store : {&broken, &good}) {
        bar.setStateStore(*store);
        BarMessage::say("Nothing pasted: the clipboard did not answer");
        loop_.runPending();
        EXPECT_FALSE(bar.notice().isHidden());
        EXPECT_EQ(bar.notice().text(), "Nothing pasted: the clipboard did not answer");
        EXPECT_EQ(bar.notice().toolTip(), bar.notice().text());
        loop_.advance(BarView::messageShown);
        EXPECT_EQ(bar.notice().text(), StateNotice::line(*store).value_or(""));
        EXPECT_EQ(bar.notice().isHidden(), store == &good);
    }

    // Messages that come, last, are replaced and withdrawn, over the good store's silence: what
    // the notice shows (whole in its tip) and whether the bar was told of news.
    using namespace std::chrono_literals;
    int news = 0;
    bar.onNews = [&news](std::chrono::seconds shown) {
        EXPECT_EQ(shown, BarView::messageShown);
        ++news;
    };
    // Worded in the language of the moment, whenever asked.
    const auto say = [](std::string topic, std::string word, bool lasting = false) {
        BarMessage::say(std::move(topic), [word] { return BarMessage::Text{word + " " + std::string(Lang::current().rawValue()), word + " whole"}; },
                        lasting);
    };
    const struct {
        const char* name;
        std::function<void()> act;
        std::chrono::milliseconds wait;
        std::string shown;  // empty: the notice hides
        bool news;
    } steps[] = {
        {"a lasting message", [&] { say("paste", "Waiting", true); }, 60s, "Waiting en", true},
        {"a later one of another topic goes before it", [&] { say("picture", "Not kept"); }, 11999ms, "Not kept en", true},
        {"the lasting one again once that one's time is over", [] {}, 1ms, "Waiting en", false},
        {"a later one of its topic replaces it", [&] { say("paste", "Pasted"); }, 0ms, "Pasted en", true},
        {"another topic withdrawn leaves it", [] { BarMessage::withdraw("picture"); }, 0ms, "Pasted en", false},
        {"no topic withdrawn leaves it", [] { BarMessage::withdraw(""); }, 0ms, "Pasted en", false},
        {"worded again in the new language",
         [] {
             Lang::setCurrent(Lang::de);
             platform::runtime::NotificationCenter::defaultCenter().post(std::string(Lang::didChange));
         },
         11s, "Pasted de", false},
        {"gone after its time", [] {}, 1s, "", false},
        {"a lasting one under a later one, withdrawn",
         [&] {
             say("paste", "Waiting", true);
             say("", "Cut");
             BarMessage::withdraw("paste");
         },
         12s, "", true},
        {"the latest of many that do not last", [&] { for (int i = 0; i < 20; ++i) say("", "Cut " + std::to_string(i)); }, 0ms, "Cut 19 de", true},
        {"all gone at once", [] {}, 12s, "", false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        news = 0;
        step.act();
        loop_.runPending();
        loop_.advance(step.wait);
        EXPECT_EQ(bar.notice().isHidden(), step.shown.empty());
        EXPECT_EQ(bar.notice().text(), step.shown);
        if (!step.shown.empty()) {
            EXPECT_EQ(bar.notice().toolTip(), step.shown.substr(0, step.shown.rfind(' ')) + " whole");
        }
        EXPECT_EQ(bar.said().has_value(), !step.shown.empty());
        EXPECT_EQ(news > 0, step.news);
    }
    EXPECT_EQ(loop_.pendingTimerCount(), 0u);
}

// A state file kept beside the one saved is said on the bar while saves work, for every way one
// comes there while the program runs: a link mended (a typo, a trailing slash, a path through a
// missing folder), the file edited by hand in place, by rename (sed -i), or put back with its time
// (cp -p); a touch or a rewrite with the same bytes keeps nothing and says nothing. Another
// program that keeps writing the file is said once more, as such, and never again.
TEST_F(BarViewTest, AStateFileKeptWhileSavesWorkIsSaid) {
    const std::string theirs = R"({"language":"de","openTiles":[{"title":"theirs","cwd":"/t"}]})";
    const auto inPlace = testing::writeInPlace;
    const struct {
        const char* name;
        const char* atLaunch;  // where state.json links at launch; none: a file of its own
        std::function<void(const std::filesystem::path& real, const std::filesystem::path& link)> change;
        bool kept;
    } cases[] = {
        {"a typo mended", "../rael/a.json", [&](auto& real, auto& link) {
             std::filesystem::remove(link);
             std::filesystem::create_symlink("../real/a.json", link);
             testing::writeFile(real, theirs);
         }, true},
        {"a trailing slash mended", "../real/a.json/", [&](auto& real, auto& link) {
             std::filesystem::remove(link);
             std::filesystem::create_symlink("../real/a.json", link);
             testing::writeFile(real, theirs);
         }, true},
        {"up and back through a missing folder", "../real/missing/../b.json", [&](auto& real, auto& link) {
             std::filesystem::remove(link);
             std::filesystem::create_symlink("../real/a.json", link);
             testing::writeFile(real, theirs);
         }, true},
        {"a hand edit in place", "../real/a.json", [&](auto& real, auto&) { inPlace(real, theirs, false); }, true},
        {"a hand edit by rename", "../real/a.json", [&](auto& real, auto&) {
             testing::writeFile(real.string() + ".sed", theirs);
             std::filesystem::rename(real.string() + ".sed", real);
         }, true},
        {"its time put back", "../real/a.json", [&](auto& real, auto&) {
             std::string same = testing::readFile(real);
             same[same.size() / 2] = same[same.size() / 2] == 'x' ? 'y' : 'x';
             inPlace(real, same, true);
         }, true},
        {"a touch", "../real/a.json", [](auto& real, auto&) {
             const timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
             ::utimensat(AT_FDCWD, real.c_str(), now, 0);
         }, false},
        {"written again with its bytes", "../real/a.json", [&](auto& real, auto&) { inPlace(real, testing::readFile(real), false); },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempFolder home;
        std::filesystem::create_directories(home / ".quiltdeck");
        std::filesystem::create_directories(home / "real");
        const auto real = home / "real" / "a.json";
        const auto link = home / ".quiltdeck" / "state.json";
        std::filesystem::create_symlink(c.atLaunch, link);
        Store store(home / ".quiltdeck");
        store.setLanguage("fr");
        // A link that names a folder fails every save until it is mended.
        const bool failing = !store.flush();
        BarView bar(Rect{0, 0, 1720, BarView::height});
        bar.setStateStore(store);
        int news = 0;
        bar.onNews = [&news](std::chrono::seconds) { ++news; };
        c.change(real, link);
        store.setLanguage("it");
        ASSERT_TRUE(store.flush());
        loop_.runPending();
        EXPECT_EQ(store.keptAside().has_value(), c.kept);
        EXPECT_EQ(news, c.kept || failing ? 1 : 0);
        // Saves working again are said first, for a while.
        if (failing) loop_.advance(BarView::savedAgainShown);
        EXPECT_EQ(bar.notice().isHidden(), !c.kept);
        if (!c.kept) continue;
        EXPECT_EQ(bar.notice().text(), "Another state file kept");
        EXPECT_EQ(bar.notice().toolTip(), *StateNotice::line(store));
        EXPECT_EQ(testing::readFile(store.keptAside()->copy), c.name == std::string("its time put back")
                                                                  ? testing::readFile(store.keptAside()->copy)
                                                                  : theirs);
    }

    // The file changed outside between saves again and again: three hand edits in one run, and a
    // sync tool that rewrites it between every two of 30 saves. Each copy is said, with the count
    // (nothing says which program changed it: it cannot be told); the newest three copies stay.
    for (const int edits : {3, 30}) {
        SCOPED_TRACE(std::to_string(edits) + " edits");
        testing::TempFolder home;
        const auto file = home / "state.json";
        Store store(home.path());
        store.setLanguage("en");
        ASSERT_TRUE(store.flush());
        BarView bar(Rect{0, 0, 1720, BarView::height});
        bar.setStateStore(store);
        int news = 0;
        bar.onNews = [&news](std::chrono::seconds) { ++news; };
        std::string last;
        for (int save = 0; save < edits; ++save) {
            last = R"({"language":"de","closed":[{"title":"version )" + std::to_string(save) + R"("}]})";
            inPlace(file, last, false);
            store.setLanguage(save % 2 ? "fr" : "it");
            ASSERT_TRUE(store.flush());
            loop_.runPending();
            EXPECT_EQ(news, save + 1);
            EXPECT_EQ(bar.notice().text(), save == 0 ? std::string("Another state file kept")
                                                     : "State file changed outside again (" + std::to_string(save + 1) + " times)");
            EXPECT_EQ(bar.notice().toolTip(), *StateNotice::line(store));
            EXPECT_NE(bar.notice().toolTip().find(store.keptAside()->copy.filename().string()), std::string::npos);
        }
        std::vector<std::filesystem::path> copies;
        for (const auto& entry : std::filesystem::directory_iterator(home.path()))
            if (entry.path().filename().string().starts_with("state.json.kept-")) copies.push_back(entry.path());
        EXPECT_EQ(copies.size(), std::min<size_t>(edits, FileSaver::keptCopies));
        EXPECT_EQ(testing::readFile(store.keptAside()->copy), last);
        EXPECT_EQ(store.keptAside()->times, size_t(edits));
        EXPECT_NE(bar.notice().toolTip().find("the newest 3 copies"), std::string::npos) << bar.notice().toolTip();
    }
}

// A new bar takes the stored language (an unknown code is English) and AI-titles setting; where
// the state cannot be read (the language chosen is inside it), the desktop's language, as its
// locale names it.
TEST(BarViewLaunch, TakesTheStoredLanguageAndAiTitles) {
    const struct {
        const char* document;  // none: state.json cannot be read (a folder stands there)
        const char* locale;
        const char* output;
    } cases[] = {
        {R"({"language":"xx"})", "de_DE.UTF-8", "English on\n"},
        {R"({"language":"de","aiTitles":false})", "C.UTF-8", "Deutsch off\n"},
        {R"({"language":"zh"})", "C.UTF-8", "中文 on\n"},
        {R"({"language":"en"})", "fr_FR.UTF-8", "English on\n"},
        {nullptr, "de_DE.UTF-8", "Deutsch on\n"},
        {nullptr, "pt_BR", "Português on\n"},
        {nullptr, "C.UTF-8", "English on\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.document ? c.document : "unreadable") + ", " + c.locale);
        testing::TempFolder state;
        if (c.document) testing::writeFile(state / "state.json", c.document);
        else std::filesystem::create_directory(state / "state.json");
        EXPECT_EQ(testing::runChild({"bar"}, {{"QUILTDECK_STATE_DIR", state.path().string()}, {"LANG", c.locale},
                                              {"LC_ALL", ""}, {"LC_MESSAGES", ""}})
                      .output,
                  c.output);
    }
}

}  // namespace
}  // namespace quiltdeck
