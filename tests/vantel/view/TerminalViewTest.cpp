#include "vantel/view/TerminalView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>

#include "platform/ui/Screen.h"
#include "platform/ui/Sound.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "platform/ui/Workspace.h"
#include "vantel/view/ColorUtilities.h"

using namespace vantel;
using platform::gfx::Rect;
using platform::gfx::Rgba;
using platform::gfx::Size;

namespace {

// DejaVu Sans Mono at 13 pt: 8 × 16 cells; the scroller takes 15 points unless hidden.
constexpr double cw = 8, ch = 16, scrollerWidth = 15;

class RecordingDelegate : public TerminalViewDelegate {
public:
    void sizeChanged(TerminalView&, int cols, int rows) override { sizes.emplace_back(cols, rows); }
    void setTerminalTitle(TerminalView&, const std::string&) override {}
    void hostCurrentDirectoryUpdate(TerminalView&, const std::optional<std::string>& d) override { directory = d; }
    void send(TerminalView&, std::span<const uint8_t> data) override { sent.append(data.begin(), data.end()); }
    void scrolled(TerminalView&, double position) override { positions.push_back(position); }
    void rangeChanged(TerminalView&, int, int) override {}

    std::vector<std::pair<int, int>> sizes;
    std::optional<std::string> directory;
    std::string sent;
    std::vector<double> positions;
};

Rect gridFrame(int cols, int rows) { return Rect{0, 0, cols * cw + scrollerWidth, rows * ch}; }

}  // namespace

TEST(TerminalView, SetUpFromItsFrameWithTheEngineColours) {
    TerminalView view(gridFrame(80, 24));
    EXPECT_EQ(view.font()->family(), "DejaVu Sans Mono");
    EXPECT_EQ(view.cellDimension(), (Size{cw, ch}));
    EXPECT_EQ(view.getTerminal().cols(), 80);
    EXPECT_EQ(view.getTerminal().rows(), 24);
    EXPECT_EQ(view.caretFrame(), (Rect{0, 0, cw, ch}));
    // The engine's default colours reached the view through its colour callbacks.
    EXPECT_EQ(view.nativeBackgroundColor(), makeRgba(Color::defaultBackground));
    EXPECT_EQ(view.nativeForegroundColor(), makeRgba(Color::defaultForeground));
    EXPECT_EQ(view.layerBackgroundColor(), view.nativeBackgroundColor());
    EXPECT_EQ(view.backingScale(), 1.0);  // no window, no screen
    EXPECT_EQ(view.getTerminal().options().termName, "xterm-256color");

    TerminalView empty(Rect{});  // no size: the startup options' own grid
    EXPECT_EQ(empty.getTerminal().cols(), 80);
    EXPECT_EQ(empty.getTerminal().rows(), 25);
    EXPECT_EQ(empty.getEffectiveWidth(Size{10, 10}), 0);  // narrower than the scroller
    empty.scroller().setHidden(true);
    EXPECT_EQ(empty.getEffectiveWidth(Size{100, 10}), 100);
}

// What a new view starts with.
TEST(TerminalView, Defaults) {
    TerminalView view(gridFrame(10, 3));
    const TerminalViewSettings& settings = view.settings();
    EXPECT_EQ(std::tuple(settings.useBrightColors, settings.backspaceSendsControlH, settings.allowMouseReporting,
                         settings.notifyUpdateChanges, settings.optionAsMetaKey, view.commandActive()),
              std::tuple(true, false, true, false, true, false));
    EXPECT_EQ(std::tuple(settings.linkReporting, view.linkHighlightMode(), settings.bellStyle, view.bidiHostPolicy()),
              std::tuple(LinkReporting::implicit, LinkHighlightMode::hoverWithModifier, BellStyle::sound,
                         BidiHostPolicy::respectTerminal));
    EXPECT_EQ(std::tuple(view.customBlockGlyphs(), view.antiAliasCustomBlockGlyphs(), view.fontSmoothing(),
                         view.textBlinkVisible(), settings.disableFullRedrawOnAnyChanges),
              std::tuple(true, false, true, true, true));
    EXPECT_EQ(std::tuple(view.lineSpacing(), view.scrollSensitivity()), std::tuple(1.0, 1.0));
    EXPECT_EQ(view.selectedTextBackgroundColor(), (Rgba{0, 166 / 255.0, 178 / 255.0, 1}));
    EXPECT_EQ(view.selectedTextForegroundColor(), (Rgba{0, 0, 0, 1}));
    EXPECT_EQ(view.scroller().style(), platform::ui::Scroller::Style::overlay);
    EXPECT_FALSE(view.linkHighlightRange().has_value());
    EXPECT_EQ(view.terminalDelegate(), nullptr);
}

// An owner that overrides only what it must gets the defaults: links open through the workspace
// (a file link only when the file exists) as the link rules allow, with no dialog to ask with;
// the bell is the alert sound, clipboard reads get nothing.
TEST(TerminalView, DelegateDefaults) {
    TerminalView view(gridFrame(10, 3));
    RecordingDelegate owner;
    std::vector<std::string> opened, revealed;
    int beeps = 0;
    platform::ui::Workspace::setOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    platform::ui::Workspace::setRevealer([&](const std::string& path) {
        revealed.push_back(path);
        return true;
    });
    platform::ui::Sound::setBeeper([&] { ++beeps; });
    owner.requestOpenLink(view, "https://example.com/a", {});
    owner.requestOpenLink(view, "/no/such/file:12", {});
    owner.requestOpenLink(view, "JAVASCRIPT:alert(1)", {});
    owner.requestOpenLink(view, "evil://payload", {});
    owner.requestOpenLink(view, "/bin/sh:3", {});
    owner.bell(view);
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.com/a"});
    EXPECT_EQ(revealed, std::vector<std::string>{std::filesystem::canonical("/bin/sh").string()});
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(owner.clipboardRead(view), std::nullopt);
    platform::ui::Workspace::setOpener(nullptr);
    platform::ui::Workspace::setRevealer(nullptr);
    platform::ui::Sound::setBeeper(nullptr);
}

TEST(TerminalView, ProcessSizeChangeFollowsTheGridWithoutAReset) {
    TerminalView view(gridFrame(20, 10));
    RecordingDelegate owner;
    view.setTerminalDelegate(&owner);
    Terminal& t = view.getTerminal();
    t.feed("\x1b[2;5r\x1b[?25l");
    view.selectAll();
    EXPECT_FALSE(view.processSizeChange(Size{0, 0}));
    EXPECT_FALSE(view.processSizeChange(Size{20 * cw + scrollerWidth + 3, 10 * ch + 5}));  // same grid
    EXPECT_TRUE(view.selectionActive());
    EXPECT_TRUE(view.processSizeChange(Size{20 * cw + scrollerWidth, 12 * ch}));  // rows only
    EXPECT_FALSE(view.selectionActive());
    EXPECT_EQ(owner.sizes, (std::vector<std::pair<int, int>>{{20, 12}}));
    EXPECT_EQ(t.rows(), 12);
    EXPECT_TRUE(t.cursorHidden);
    view.setTerminalDelegate(nullptr);
}

// A font change lays the grid out again without the soft reset that resize() does, so a zoom
// keeps the program's cursor keys, hidden cursor and palette, and its margins while the grid stays.
TEST(TerminalView, FontChangesKeepTheProgramsModesResizeResetsThem) {
    struct Path {
        const char* name;
        std::function<void(TerminalView&)> run;
        bool resets;
        bool gridKept;
    } paths[] = {
        {"same font", [](TerminalView& v) { v.setFont(platform::gfx::Font::systemFont()); }, false, true},
        {"zoom", [](TerminalView& v) { v.setFont(platform::gfx::Font::systemFont(26)); }, false, false},
        {"line spacing", [](TerminalView& v) { v.setLineSpacing(1.5); }, false, false},
        {"resize", [](TerminalView& v) { v.resize(40, 12); }, true, true},
    };
    for (const Path& p : paths) {
        TerminalView view(gridFrame(40, 12));
        Terminal& t = view.getTerminal();
        t.feed("\x1b[3;6r\x1b[?1h\x1b[?25l\x1b]4;1;#123456\x1b\\");
        Color programRed = t.ansiColors[1];
        p.run(view);
        if (p.gridKept) {
            EXPECT_EQ(t.buffer().scrollBottom() == 5, !p.resets) << p.name;
        }
        EXPECT_EQ(t.applicationCursor, !p.resets) << p.name;
        EXPECT_EQ(t.cursorHidden, !p.resets) << p.name;
        EXPECT_EQ(t.ansiColors[1] == programRed, !p.resets) << p.name;
    }
}

// On an empty frame a font change resizes only the caret. The font setter drops the selection,
// resetFontSize keeps it.
TEST(TerminalView, FontSetters) {
    TerminalView view(Rect{});
    view.selectAll();
    view.resetFontSize();
    EXPECT_TRUE(view.selectionActive());
    view.setFont(platform::gfx::Font::systemFont(26));
    EXPECT_FALSE(view.selectionActive());
    EXPECT_EQ(view.getSelection(), std::nullopt);
    EXPECT_EQ(view.caretFrame(), (Rect{0, 0, 16, 31}));
    EXPECT_EQ(view.getTerminal().cols(), 80);
}

// The backing scale is the window's, else the main screen's, else 1; the cell width is rounded to
// its device pixels (14 pt: 8.43 points, so 8 at scale 1 and 8.5 at scale 2), and a new scale lays
// the grid out again.
TEST(TerminalView, CellSizeFollowsTheBackingScale) {
    platform::ui::Screen::setMainBackingScaleFactor(2);
    TerminalView view(Rect{0, 0, 100 + scrollerWidth, 170}, platform::gfx::Font::systemFont(14));
    EXPECT_EQ(view.backingScale(), 2);
    EXPECT_EQ(view.cellDimension(), (Size{8.5, 17}));
    EXPECT_EQ(view.getTerminal().cols(), 11);
    platform::ui::Screen::setMainBackingScaleFactor(std::nullopt);

    platform::ui::headless::HeadlessWindow window({100 + scrollerWidth, 170}, 1);
    window.setContentView(&view);
    EXPECT_EQ(view.cellDimension(), (Size{8, 17}));
    EXPECT_EQ(view.getTerminal().cols(), 12);
    window.setBackingScaleFactor(2);
    EXPECT_EQ(view.cellDimension(), (Size{8.5, 17}));
    EXPECT_EQ(view.getTerminal().cols(), 11);
    EXPECT_EQ(view.caretFrame().width, 8.5);
    window.setContentView(nullptr);
}

// A line spacing that is not finite or not above 0 is the default; a usable one is kept.
TEST(TerminalView, UnusableLineSpacingsAreTheDefault) {
    struct Case {
        double spacing, stored, cellHeight;
    } cases[] = {{std::nan(""), 1, ch}, {INFINITY, 1, ch}, {-2, 1, ch}, {0, 1, ch}, {1.5, 1.5, 23}};
    for (const Case& c : cases) {
        TerminalView view(gridFrame(10, 3));
        view.setLineSpacing(c.spacing);
        EXPECT_EQ(view.lineSpacing(), c.stored) << c.spacing;
        EXPECT_EQ(view.cellDimension(), (Size{cw, c.cellHeight})) << c.spacing;
    }
}

// selectNone drops an active selection back to character mode without anchors; an inactive one
// is left as it is.
TEST(TerminalView, SelectNoneTouchesOnlyAnActiveSelection) {
    using Mode = SelectionService::SelectionMode;
    for (bool active : {true, false}) {
        TerminalView view(gridFrame(10, 3));
        SelectionService& selection = view.selection();
        selection.setSelection({1, 0}, {4, 0});
        selection.setActive(active);
        selection.selectionMode = Mode::word;
        selection.selectingRows = true;
        selection.wordSelectionAnchor = std::pair(Position{1, 0}, Position{4, 0});
        view.selectNone();
        EXPECT_FALSE(view.selectionActive());
        EXPECT_EQ(selection.selectionMode, active ? Mode::character : Mode::word);
        EXPECT_EQ(selection.selectingRows, !active);
        EXPECT_EQ(selection.wordSelectionAnchor.has_value(), !active);
        EXPECT_EQ(view.getSelection(), std::nullopt);
    }
}

// Settings applied in one call: each changed one takes effect as its setter's would; the scroll
// sensitivity keeps its clamp; the colour choice empties the attributes picked under the old one.
TEST(TerminalView, ApplyingSettings) {
    struct Case {
        const char* what;
        std::function<void(TerminalViewSettings&)> change;
        bool tracksPointer;
        double sensitivity;
        bool attributesKept;
    } cases[] = {
        {"nothing", [](TerminalViewSettings&) {}, false, 1, true},
        {"links under the pointer", [](TerminalViewSettings& s) { s.linkHighlightMode = LinkHighlightMode::hover; },
         true, 1, true},
        {"sensitivity below the floor", [](TerminalViewSettings& s) { s.scrollSensitivity = 0.01; }, false, 0.05, true},
        {"sensitivity not finite", [](TerminalViewSettings& s) { s.scrollSensitivity = NAN; }, false, 1, true},
        {"bright colours off", [](TerminalViewSettings& s) { s.useBrightColors = false; }, false, 1, false},
        {"stored ones", [](TerminalViewSettings& s) { s.bellStyle = BellStyle::visual, s.optionAsMetaKey = false; },
         false, 1, true},
    };
    for (const Case& c : cases) {
        TerminalView view(gridFrame(10, 3));
        view.getAttributes(Attribute{}, false);
        TerminalViewSettings settings = view.settings();
        c.change(settings);
        view.apply(settings);
        EXPECT_EQ(view.wantsMouseMoved(), c.tracksPointer) << c.what;
        EXPECT_EQ(view.scrollSensitivity(), c.sensitivity) << c.what;
        EXPECT_EQ(view.cachedAttributeCount(false), c.attributesKept ? 1u : 0u) << c.what;
        TerminalViewSettings expected = settings;
        expected.scrollSensitivity = c.sensitivity;
        EXPECT_EQ(view.settings(), expected) << c.what;
    }
}

// Clamps, with values that are not finite ignored.
TEST(TerminalView, OpacityAndSensitivityClamp) {
    TerminalView view(gridFrame(10, 3));
    struct Case {
        double value, opacity, sensitivity;
    } cases[] = {{1.5, 1, 1.5}, {0.5, 0.5, 0.5}, {0, 0, 0.05}, {std::nan(""), 0, 0.05}, {INFINITY, 0, 0.05}};
    for (const Case& c : cases) {
        view.setBackgroundOpacity(c.value);
        view.setScrollSensitivity(c.value);
        EXPECT_EQ(view.backgroundOpacity(), c.opacity) << c.value;
        EXPECT_EQ(view.layerBackgroundColor()->alpha, c.opacity) << c.value;
        EXPECT_EQ(view.scrollSensitivity(), c.sensitivity) << c.value;
    }
}

TEST(TerminalView, CaretColoursAndReverseVideoLayer) {
    TerminalView view(gridFrame(10, 3));
    view.setCaretTextColor(Rgba{1, 0, 0, 1});
    EXPECT_EQ(view.effectiveCaretTextColor(), (Rgba{1, 0, 0, 1}));
    view.setCaretTextColor(std::nullopt);
    EXPECT_EQ(view.effectiveCaretTextColor(), view.effectiveNativeBackgroundColor());
    view.setCursorColor(view.getTerminal(), Color(65535, 0, 0), std::nullopt);
    EXPECT_EQ(view.effectiveCaretColor(), (Rgba{1, 0, 0, 1}));
    view.setCursorColor(view.getTerminal(), std::nullopt, std::nullopt);
    EXPECT_EQ(view.effectiveCaretColor(), view.effectiveNativeForegroundColor());

    view.getTerminal().feed("\x1b[?5h");
    view.setNativeBackgroundColor(Rgba{0, 0, 1, 1});
    EXPECT_EQ(view.layerBackgroundColor(), view.nativeForegroundColor());
}

TEST(TerminalView, ScrollBackQuantities) {
    TerminalView view(gridFrame(10, 25));
    Terminal& t = view.getTerminal();
    EXPECT_FALSE(view.canScroll());
    for (int i = 0; i < 99; ++i) t.feed("x\r\n");  // 100 lines of which 25 on screen
    EXPECT_TRUE(view.canScroll());
    EXPECT_EQ(view.scrollThumbsize(), 0.25);
    EXPECT_EQ(view.scrollPosition(), 1.0);
    t.buffer().setYDisp(25);
    EXPECT_DOUBLE_EQ(view.scrollPosition(), 1.0 / 3);
    t.feed("\x1b[?1049h");
    EXPECT_EQ(std::tuple(view.scrollPosition(), view.scrollThumbsize(), view.canScroll()), std::tuple(0.0, 0.0, false));
}

TEST(TerminalView, EngineNoticesReachTheOwner) {
    TerminalView view(gridFrame(10, 3));
    RecordingDelegate owner;
    view.setTerminalDelegate(&owner);
    Terminal& t = view.getTerminal();
    t.feed("\x1b[?2026h");
    t.feed("\x1b[?2026l");
    t.feed("\x1b[?2026l");  // ends nothing: no second notice
    EXPECT_EQ(owner.positions, (std::vector<double>{0}));
    t.feed("\x1b]7;file:///tmp\x07");
    EXPECT_EQ(owner.directory, "file:///tmp");
    t.feed("\x1b[6n");
    EXPECT_EQ(owner.sent, "\x1b[1;1R");
    view.setTerminalDelegate(nullptr);
}

TEST(TerminalView, UrlAndParamsFromPayloads) {
    using Params = std::map<std::string, std::string>;
    struct Case {
        const char* payload;
        std::optional<std::string> url;
        Params params;
    } cases[] = {
        {"a=1:b=2;u", "u", {{"a", "1"}, {"b", "2"}}},
        {"a=1::b=2;u", "u", {{"a", "1"}, {"b", "2"}}},
        {"a=1:a=3;u", "u", {{"a", "3"}}},
        {"a=b=c:=x:y=:z;u", "u", {}},
        {";", "", {}},
        {"id=42", std::nullopt, {}},
        {"id=1;http://h/a;b", "http://h/a;b", {{"id", "1"}}},
    };
    for (const Case& c : cases) {
        auto parsed = TerminalView::urlAndParamsFrom(c.payload);
        ASSERT_EQ(parsed.has_value(), c.url.has_value()) << c.payload;
        if (!parsed) continue;
        EXPECT_EQ(parsed->url, *c.url) << c.payload;
        EXPECT_EQ(parsed->params, c.params) << c.payload;
    }
}

TEST(TerminalView, DefaultLinkUrl) {
    std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    std::set<std::string> files{home + "/notes.txt", "/srv/a b.txt"};
    auto exists = [&](const std::string& p) { return files.count(p) > 0; };
    struct Case {
        const char* link;
        std::optional<std::string> url;
    } cases[] = {
        {"https://example.com/x?y=1", "https://example.com/x?y=1"},
        {"~/notes.txt:12:3", "file://" + home + "/notes.txt"},
        {"~/notes.txt:12", "file://" + home + "/notes.txt"},
        {"~/notes.txt", "file://" + home + "/notes.txt"},
        {"/srv/a b.txt", "file:///srv/a%20b.txt"},
        {"~/missing.txt:4", std::nullopt},
        {"/srv/a b.txt:x", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(TerminalView::defaultLinkURL(c.link, exists), c.url) << c.link;
}
