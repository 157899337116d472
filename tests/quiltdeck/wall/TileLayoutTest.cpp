#include "quiltdeck/wall/TileLayout.h"

#include "quiltdeck/shell/Shorten.h"

#include <gtest/gtest.h>

namespace quiltdeck {
namespace {

using Rect = platform::gfx::Rect;
using Size = platform::gfx::Size;
using platform::gfx::Rgba;

TEST(TileLayoutTest, BodyStartsUnderHeaderAndFeedBand) {
    struct Case {
        size_t metrics;
        bool hasFeed;
        size_t items;
        bool zoomed;
        double feedH;
        size_t rows;
    };
    const std::vector<Case> cases = {
        {0, false, 0, false, 0, 0},  {1, false, 0, true, 0, 0},   {0, true, 0, false, 39, 0},
        {0, true, 1, false, 39, 1},  {3, true, 3, true, 77, 3},   {0, true, 6, false, 96, 4},
        {2, true, 6, true, 77, 3},   {0, true, 4, false, 96, 4},
    };
    for (const Case& c : cases) {
        const double feedH = TileLayout::feedHeight(c.hasFeed, c.items, c.zoomed);
        EXPECT_EQ(feedH, c.feedH) << c.items << " zoomed " << c.zoomed;
        EXPECT_EQ(TileLayout::shownFeedRows(c.hasFeed, c.items, c.zoomed), c.rows) << c.items;
        TileLayout::HeaderInput in;
        in.tile = {500, 400};
        in.bodyTop = TileLayout::bandTop(c.metrics) + feedH;
        const auto frames = TileLayout::header(in);
        EXPECT_EQ(frames.scaler.y, (c.metrics ? 86 : 52) + c.feedH) << c.metrics;
    }
}

TEST(TileLayoutTest, LightThemeInsetsTheTerminal) {
    for (const bool dark : {true, false}) {
        TileLayout::HeaderInput in;
        in.tile = {500, 400};
        in.dark = dark;
        const auto f = TileLayout::header(in);
        const double i = dark ? 0 : 10;
        EXPECT_EQ(f.scaler, (Rect{i, 52, 500 - 2 * i, 348 - i}));
        EXPECT_EQ(f.scalerCornerRadius, i);
    }
    TileLayout::HeaderInput tiny;
    tiny.tile = {10, 40};
    tiny.dark = false;
    EXPECT_EQ(TileLayout::header(tiny).scaler, (Rect{10, 52, 0, 0}));
}

TEST(TileLayoutTest, HeaderFrames) {
    TileLayout::HeaderInput in;
    in.tile = {600, 400};
    in.index = {9, 18};
    const auto plain = TileLayout::header(in);
    EXPECT_EQ(plain.dot, (Rect{20, 23, 6, 6}));
    EXPECT_EQ(plain.index, (Rect{36, 17, 9, 18}));
    EXPECT_EQ(plain.close, (Rect{558, 15, 22, 22}));
    EXPECT_EQ(plain.move, (Rect{530, 15, 22, 22}));
    EXPECT_EQ(plain.grip, (Rect{574, 374, 22, 22}));
    // No badge: the title block ends 80 points short of the right edge.
    EXPECT_EQ(plain.title, (Rect{58, 12, 600 - 80 - 58, 18}));
    EXPECT_EQ(plain.sub, (Rect{58, 31, 600 - 80 - 58, 14}));

    in.logoVisible = true;
    in.badge = Size{50, 13};
    const auto full = TileLayout::header(in);
    EXPECT_EQ(full.logo, (Rect{58, 13, 26, 26}));
    EXPECT_EQ(full.badgePill, (Rect{520 - 68, 16, 68, 20}));
    EXPECT_EQ(full.badge, (Rect{461, 19.5, 50, 13}));
    // A visible badge costs its fitted width and 30 more.
    EXPECT_EQ(full.title, (Rect{95, 12, 600 - 80 - 80 - 95, 18}));
}

TEST(TileLayoutTest, NarrowTileKeepsMinimumWidths) {
    // The editor's back and field; the buttons on the header's line (y 15) or under it (y 45),
    // in words or as symbols (30 points each), the cancel button's x.
    struct Case {
        double width;
        bool editing;
        double title;
        Rect back, editor;
        bool stacked, symbols;
        double buttonsY, cancelX;
    };
    const double words = 40 + 50 + 60 + 16;
    const std::vector<Case> cases = {
        {120, false, 40, {}, {}, false, false, 0, 0},
        {700, true, 700 - 80 - 58, {50, 11, 700 - 80 - 58 - words - 12 + 8, 30}, {58, 16, 700 - 80 - 58 - words - 12 - 10, 20},
         false, false, 15, 700 - 80 - 50},
        // Too short for the editor beside the buttons: the editor takes the line to the padding.
        {260, true, 260 - 80 - 38 - 12 - 58, {50, 11, 260 - 20 - 58 + 8, 30}, {58, 16, 260 - 20 - 58 - 10, 20}, true, false, 45, 260 - 20 - 50},
        {170, true, 40, {50, 11, 170 - 20 - 58 + 8, 30}, {58, 16, 170 - 20 - 58 - 10, 20}, true, true, 45, 170 - 20 - 30},
        // Shorter than the editor's least even there: it starts under the number.
        {120, true, 40, {12, 11, 88, 30}, {20, 16, 70, 20}, true, true, 45, 120 - 20 - 30},
    };
    for (const Case& c : cases) {
        TileLayout::HeaderInput in;
        in.tile = {c.width, 300};
        in.index = {9, 18};
        in.editing = c.editing;
        in.save = {40, 22};
        in.cancel = {50, 22};
        in.suggest = {60, 22};
        in.symbolButton = {30, 22};
        // A badge that would show beside the title.
        if (c.stacked) in.badge = Size{20, 13};
        const auto f = TileLayout::header(in);
        SCOPED_TRACE(std::to_string(c.width) + (c.editing ? " editing" : ""));
        EXPECT_EQ(f.title.width, c.title);
        EXPECT_EQ(f.sub.width, c.title);
        if (!c.editing) continue;
        EXPECT_EQ(f.editorBack, c.back);
        EXPECT_EQ(f.editor, c.editor);
        EXPECT_EQ(f.editStacked, c.stacked);
        EXPECT_EQ(f.editSymbols, c.symbols);
        // A stacked editor runs over the badge's place.
        if (c.stacked) {
            EXPECT_FALSE(f.badgeShown);
        }
        const Size save = c.symbols ? Size{30, 22} : Size{40, 22}, cancel = c.symbols ? Size{30, 22} : Size{50, 22},
                   suggest = c.symbols ? Size{30, 22} : Size{60, 22};
        EXPECT_EQ(f.cancel, (Rect{c.cancelX, c.buttonsY, cancel.width, 22}));
        EXPECT_EQ(f.save, (Rect{c.cancelX - 8 - save.width, c.buttonsY, save.width, 22}));
        EXPECT_EQ(f.suggest, (Rect{f.save.x - 8 - suggest.width, c.buttonsY, suggest.width, 22}));
        // The buttons stand clear of the editor's back.
        EXPECT_TRUE(f.suggest.x >= f.editorBack.maxX() || f.suggest.y >= f.editorBack.maxY());
    }
}

TEST(TileLayoutTest, MetricChips) {
    struct Case {
        size_t count;
        double tileWidth;
        double chipWidth, firstX;
    };
    const std::vector<Case> cases = {
        {1, 400, 170, 115}, {5, 300, 72, 20}, {2, 400, 170, 30}, {3, 400, 120, 20}, {0, 400, 0, 0},
    };
    for (const Case& c : cases) {
        const auto chips = TileLayout::chips(c.count, c.tileWidth);
        ASSERT_EQ(chips.size(), c.count);
        for (size_t i = 0; i < chips.size(); ++i) {
            const double x = c.firstX + c.chipWidth * static_cast<double>(i);
            EXPECT_EQ(chips[i].value, (Rect{x, 54, c.chipWidth, 19})) << c.count << " on " << c.tileWidth;
            EXPECT_EQ(chips[i].name, (Rect{x, 72, c.chipWidth, 12}));
        }
    }
}

TEST(TileLayoutTest, FeedBandFrames) {
    EXPECT_EQ(TileLayout::feedSourceFrame(52, 400), (Rect{20, 54, 360, 12}));
    EXPECT_EQ(TileLayout::feedRowFrame(86, 0, 400), (Rect{20, 100, 360, 19}));
    EXPECT_EQ(TileLayout::feedRowFrame(86, 3, 400), (Rect{20, 157, 360, 19}));
}

TEST(TileLayoutTest, DeadVeilButtonsAreCentred) {
    const auto both = TileLayout::deadVeil({400, 300}, 176.0, 56.0);
    EXPECT_EQ(both.label, (Rect{24, 102, 352, 20}));
    EXPECT_EQ(both.detail, (Rect{40, 126, 320, 34}));
    ASSERT_TRUE(both.resume);
    EXPECT_EQ(*both.resume, (Rect{55, 168, 200, 28}));
    EXPECT_EQ(both.restart, (Rect{265, 168, 80, 28}));
    const auto alone = TileLayout::deadVeil({400, 300}, std::nullopt, 56.0);
    EXPECT_FALSE(alone.resume);
    EXPECT_EQ(alone.restart, (Rect{160, 168, 80, 28}));
    const auto narrow = TileLayout::deadVeil({30, 10}, std::nullopt, 56.0);
    EXPECT_EQ(narrow.label.width, 40);
    EXPECT_EQ(narrow.detail.width, 40);
    // Too narrow for the two side by side: one above the other, centred, no wider than the veil
    // less its margins.
    const struct {
        double width;
        Rect resume, restart;
    } stacked[] = {
        {250, {25, 168, 200, 28}, {85, 204, 80, 28}},
        {180, {16, 168, 148, 28}, {50, 204, 80, 28}},
    };
    for (const auto& c : stacked) {
        const auto f = TileLayout::deadVeil({c.width, 300}, 176.0, 56.0);
        ASSERT_TRUE(f.resume) << c.width;
        EXPECT_EQ(*f.resume, c.resume) << c.width;
        EXPECT_EQ(f.restart, c.restart) << c.width;
    }
    // A veil too low for everything leaves out the detail, then the title, and centres the rest;
    // nothing it shows leaves it. Too low for the two one above the other, they stand side by
    // side, cut to the room (a full wall of a small screen); lower than a button, as high as it.
    const struct {
        Size veil;
        bool resume, label, detail;
        double labelY, firstButtonY;
    } low[] = {
        {{400, 96}, true, true, true, 0, 66},
        {{400, 90}, true, true, false, 17, 45},
        {{400, 40}, true, false, false, 0, 6},
        {{180, 164}, true, true, true, 34, 100},
        {{180, 130}, true, true, false, 19, 47},
        {{180, 90}, true, false, false, 0, 13},
        {{180, 90}, false, true, false, 17, 45},
        {{180, 63}, true, true, false, 3.5, 31.5},
        {{170, 31}, true, false, false, 0, 1.5},
        {{170, 11}, true, false, false, 0, 0},
    };
    for (const auto& c : low) {
        const auto f = TileLayout::deadVeil(c.veil, c.resume ? std::optional<double>(176.0) : std::nullopt, 56.0);
        const std::string name = std::to_string(c.veil.width) + "x" + std::to_string(c.veil.height);
        EXPECT_EQ(f.showsLabel, c.label) << name;
        EXPECT_EQ(f.showsDetail, c.detail) << name;
        if (c.label) {
            EXPECT_EQ(f.label.y, c.labelY) << name;
        }
        const Rect first = f.resume ? *f.resume : f.restart;
        EXPECT_EQ(first.y, c.firstButtonY) << name;
        for (const Rect& shown : {first, f.restart}) {
            EXPECT_GE(shown.y, 0) << name;
            EXPECT_LE(shown.maxY(), c.veil.height) << name;
        }
        if (c.label) {
            EXPECT_GE(f.label.y, 0) << name;
            EXPECT_LE(f.label.maxY(), first.y) << name;
        }
        if (c.detail) {
            EXPECT_LE(f.detail.maxY(), first.y) << name;
        }
    }
}

// A button narrower than its title is told (the card then shows its short words). Squeezed side by
// side, the buttons stand nearer the veil's edges and their words before either is cut.
TEST(TileLayoutTest, DeadVeilTellsACutButton) {
    const struct {
        Size veil;
        double resume, restart;
        bool cut;
    } cases[] = {
        {{400, 300}, 176, 56, false},  // side by side
        {{250, 300}, 176, 56, false},  // one above the other
        {{180, 300}, 176, 56, true},   // one above the other, the first cut to the room
        {{400, 40}, 176, 56, false},   // low and wide
        {{180, 40}, 60, 40, false},    // squeezed, whole
        {{170, 31}, 176, 56, true},    // squeezed, halves
    };
    for (const auto& c : cases) {
        const auto f = TileLayout::deadVeil(c.veil, c.resume, c.restart);
        EXPECT_EQ(f.cut, c.cut) << c.veil.width << "x" << c.veil.height;
    }
    const auto squeezed = TileLayout::deadVeil({180, 40}, 60.0, 40.0);
    ASSERT_TRUE(squeezed.resume);
    EXPECT_EQ(*squeezed.resume, (Rect{21, 6, 74, 28}));
    EXPECT_EQ(squeezed.restart, (Rect{105, 6, 54, 28}));
}

// "/" and `count` copies of a letter.
std::string component(size_t count, char letter) {
    std::string text(count + 1, letter);
    text[0] = '/';
    return text;
}

TEST(TileLayoutTest, ShortFolder) {
    const std::string home = "/home/al";
    const std::string accents = "/\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9";
    struct Case {
        std::string cwd, shown;
    };
    const std::vector<Case> cases = {
        {"/home/al", "~"},
        {"/home/al/", "~/"},
        {"/home/al/shop", "~/shop"},
        {"/home/alice/x", "/home/alice/x"},
        {"/srv/home/al/x", "/srv/home/al/x"},
        {component(47, 'a'), component(47, 'a')},
        {component(37, 'a').append("/client/web"), "\u2026/client/web"},
        {component(60, 'a'), std::string("\u2026").append(component(60, 'a'))},
        // 48 characters in 63 bytes: shown whole.
        {component(20, 'a').append(component(10, 'b')).append(accents), component(20, 'a').append(component(10, 'b')).append(accents)},
    };
    EXPECT_EQ(cases[5].cwd.size(), 48u);
    EXPECT_EQ(cases[6].cwd.size(), 49u);
    for (const Case& c : cases) EXPECT_EQ(TileLayout::shortFolder(c.cwd, home), c.shown) << c.cwd;
}

TEST(TileLayoutTest, SubLineAndStatusWord) {
    struct Case {
        SessionStatus status;
        bool finished;
        std::string word;
    };
    const std::vector<Case> cases = {
        {SessionStatus::idle, true, "done"},        {SessionStatus::idle, false, "idle"},
        {SessionStatus::busy, true, "working"},     {SessionStatus::waiting, false, "NEEDS YOU"},
        {SessionStatus::exited, true, "ended"},
    };
    for (const Case& c : cases) EXPECT_EQ(TileLayout::statusWord(c.status, c.finished), c.word);
    EXPECT_EQ(TileLayout::subLine("Shop", "working", "Bash", "~/shop"), "Shop   working   Bash   ~/shop");
    EXPECT_EQ(TileLayout::subLine("Shop", "idle", "", "~/shop"), "Shop   idle   ~/shop");
}

// Measured at one point per character: the line gives up the folder (from its start), then the
// name, then the tool down to its name, and never the status word.
TEST(TileLayoutTest, TheSubLineGivesWayPartByPart) {
    const auto measure = [](const std::string& line) { return static_cast<double>(characterCount(line)); };
    struct Case {
        double width;
        const char* tool;
        const char* shown;
    };
    const Case cases[] = {
        {200, "Bash: make", "proj   working   Bash: make   ~/shop/web"},
        {38, "Bash: make", "proj   working   Bash: make   \u2026hop/web"},
        {30, "Bash: make", "proj   working   Bash: make"},
        {26, "Bash: make", "pr\u2026   working   Bash: make"},
        {23, "Bash: make", "working   Bash: make"},
        {18, "Bash: make", "working   Bash: m\u2026"},
        {17, "Bash: make", "working   Bash"},
        {14, "Bash: make", "working   Bash"},
        {13, "Bash: make", "working   Ba\u2026"},
        {10, "Bash: make", "working"},
        {3, "Bash: make", "working"},
        {31, "mcp__chrome__navigate", "working   mcp__chrome__navigate"},
        {24, "mcp__chrome__navigate", "working   navigate"},
        {17, "mcp__chrome__navigate", "working   naviga\u2026"},
        {22, "", "proj   working   \u2026/web"},
        {16, "", "proj   working"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TileLayout::fittedSubLine("proj", "working", c.tool, "~/shop/web", c.width, measure), c.shown)
            << c.width << " " << c.tool;
    }
    EXPECT_EQ(TileLayout::toolName("Bash: make test"), "Bash");
    EXPECT_EQ(TileLayout::toolName("mcp__claude-in-chrome__navigate"), "navigate");
    EXPECT_EQ(TileLayout::toolName("mcp__"), "mcp__");
    EXPECT_EQ(TileLayout::toolName("NotebookEditorOfMany"), "NotebookEdito\u2026");
}

// What the sub line needs whole: past the buttons, then from under the number; the badge yields.
TEST(TileLayoutTest, ANarrowHeaderMakesRoomForTheStatus) {
    struct Case {
        const char* name;
        double width;
        double needs;
        bool badgeShown;
        Rect sub;
    };
    const Case cases[] = {
        {"wide", 600, 100, true, {58, 31, 600 - 80 - 80 - 58, 14}},
        {"badge yields", 300, 100, false, {58, 31, 300 - 80 - 58, 14}},
        {"badge yields to the title's least width", 200, 20, false, {58, 31, 200 - 80 - 58, 14}},
        {"past the buttons", 200, 100, false, {58, 31, 200 - 20 - 58, 14}},
        {"from under the number", 160, 110, false, {30, 31, 110, 14}},
        {"at most the card's inside", 160, 500, false, {20, 31, 120, 14}},
    };
    for (const Case& c : cases) {
        TileLayout::HeaderInput in;
        in.tile = {c.width, 300};
        in.index = {9, 18};
        in.badge = Size{50, 13};
        in.subNeeds = c.needs;
        const auto f = TileLayout::header(in);
        EXPECT_EQ(f.badgeShown, c.badgeShown) << c.name;
        EXPECT_EQ(f.sub, c.sub) << c.name;
        EXPECT_GE(f.title.width, TileLayout::minimumTitleWidth) << c.name;
        // A shown badge stands clear of the title.
        if (f.badgeShown) {
            EXPECT_LE(f.title.maxX(), f.badgePill.x) << c.name;
        }
    }
}

TEST(TileLayoutTest, FeedAndMetricTexts) {
    EXPECT_EQ(TileLayout::feedSource("News", std::nullopt, true), "NEWS   loading\u2026");
    EXPECT_EQ(TileLayout::feedSource("News", std::string("14:05"), false), "NEWS   14:05");
    EXPECT_EQ(TileLayout::feedSource("straße", std::string("14:05"), true), "STRASSE   14:05   loading\u2026");
    const Date afternoon = Date::fromUnixSeconds(1700000000);  // 2023-11-14 22:13:20 UTC
    EXPECT_EQ(TileLayout::shortTime(afternoon, Lang::de, std::string("UTC")), "22:13");
    const std::string english = TileLayout::shortTime(afternoon, Lang::en, std::string("UTC"));
    EXPECT_EQ(english.substr(0, 5), "10:13");
    EXPECT_NE(english.find("PM"), std::string::npos);
    EXPECT_EQ(TileLayout::metricValue(""), "\u2026");
    EXPECT_EQ(TileLayout::metricValue("42"), "42");
    EXPECT_EQ(TileLayout::metricName("open prs"), "OPEN PRS");
    EXPECT_EQ(TileLayout::deadDetail(""), "No conversation was started.");
    EXPECT_EQ(TileLayout::deadDetail("fix   the\nbuild"), "Last request: fix the build");
    EXPECT_EQ(TileLayout::deadDetail("<pasted_content id=\"f1ad\">\nfix the\nbuild\n</pasted_content>"),
              "Last request: fix the build");
    EXPECT_EQ(TileLayout::deadDetail("<pasted_content id=\"f1ad\"/>"), "Last request: Pasted text");
}

TEST(TileLayoutTest, ChromeColours) {
    const Rgba tint = Rgba::fromBytes(1, 2, 3);
    auto chrome = [&](SessionStatus status, bool finished, bool zoomed, bool drop, bool dark) {
        return TileLayout::chrome({status, finished, zoomed, drop, dark, tint});
    };
    const auto waiting = chrome(SessionStatus::waiting, false, false, false, true);
    EXPECT_EQ(waiting.border, (Rgba{224 / 255.0, 162 / 255.0, 71 / 255.0, 0.8}));
    EXPECT_EQ(waiting.borderWidth, 1);
    for (const SessionStatus status : {SessionStatus::waiting, SessionStatus::busy, SessionStatus::exited}) {
        const auto hover = chrome(status, false, true, true, false);
        EXPECT_EQ(hover.borderWidth, 2);
        EXPECT_EQ(hover.border, Rgba::fromBytes(83, 96, 122));
    }
    const auto zoomed = chrome(SessionStatus::busy, false, true, false, true);
    EXPECT_EQ(zoomed.shadowOpacity, 0.62);
    EXPECT_EQ(zoomed.shadowRadius, 56);
    EXPECT_EQ(zoomed.shadowOffsetY, -18);
    EXPECT_EQ(zoomed.border, (Rgba{1, 1, 1, 0.16}));
    const auto light = chrome(SessionStatus::busy, false, false, false, false);
    EXPECT_EQ(light.shadowOpacity, 0.10);
    EXPECT_EQ(light.shadowRadius, 14);
    EXPECT_EQ(light.shadowOffsetY, -4);
    EXPECT_EQ(light.border, (Rgba{0, 0, 0, 0.10}));

    struct Dot {
        SessionStatus status;
        bool finished;
        Rgba dark;
    };
    const std::vector<Dot> dots = {
        {SessionStatus::idle, true, Rgba::fromBytes(95, 176, 122)},
        {SessionStatus::idle, false, tint},
        {SessionStatus::busy, true, Rgba::fromBytes(106, 155, 234)},
        {SessionStatus::waiting, false, Rgba::fromBytes(224, 162, 71)},
        {SessionStatus::exited, false, Rgba::fromBytes(92, 92, 100)},
    };
    for (const Dot& d : dots) EXPECT_EQ(chrome(d.status, d.finished, false, false, true).dot, d.dark);
    EXPECT_EQ(TileLayout::cardGround(false), Rgba::fromBytes(244, 243, 241));
    EXPECT_EQ(TileLayout::terminalGround(false), Rgba::fromBytes(24, 24, 28));
}

}  // namespace
}  // namespace quiltdeck
