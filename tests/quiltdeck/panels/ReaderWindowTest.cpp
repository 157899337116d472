#include "quiltdeck/panels/ReaderWindow.h"

#include <algorithm>

#include "platform/ui/Modals.h"
#include "platform/ui/Workspace.h"
#include "platform/ui/headless/HeadlessModals.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/panels/PanelTestSupport.h"

namespace quiltdeck {
namespace {

using platform::gfx::Rect;
using platform::ui::KeyEvent;
using platform::ui::WebView;

TEST(ReaderLinks, OnlyHttpAndHttpsPagesWithAHost) {
    struct Case {
        const char* url;
        bool accepted;
        const char* logged;  // the refusal's scheme; null: nothing logged
    } cases[] = {
        {"http://example.org/a", true, nullptr},
        {"https://example.org", true, nullptr},
        {"HTTPS://EXAMPLE.ORG/x?y#z", true, nullptr},
        {"https://", false, "https"},
        {"http:///path", false, "http"},
        {"file:///etc/passwd", false, "file"},
        {"javascript:alert(1)", false, "javascript"},
        {"data:text/html,<b>x</b>", false, "data"},
        {"quiltdeck-custom://open", false, "quiltdeck-custom"},
        {"not a url", false, nullptr},
        {"", false, nullptr},
    };
    for (const Case& c : cases) {
        const std::string before = testing::logContents();
        EXPECT_EQ(ReaderWindow::acceptsURL(c.url), c.accepted) << c.url;
        const std::string added = testing::logContents().substr(before.size());
        if (c.logged) EXPECT_NE(added.find("reader: refused " + std::string(c.logged) + " link"), std::string::npos) << c.url;
        else EXPECT_EQ(added.find("reader: refused"), std::string::npos) << c.url;
    }
}

// Back at 16, labels at 46 and at least 60 wide, the open button fitted and 20 from the right,
// the spinner 26 before it, the page under the 54-point header.
TEST(ReaderLayout, TheHeaderKeepsItsPlacesAtEveryWidth) {
    struct Case {
        platform::gfx::Size content;
        double fitted;
        Rect open, spinner, source, web;
    } cases[] = {
        {{1000, 700}, 92, {880, 16, 100, 22}, {854, 19, 16, 16}, {46, 10, 798, 12}, {0, 54, 1000, 646}},
        {{200, 40}, 92, {80, 16, 100, 22}, {54, 19, 16, 16}, {46, 10, 60, 12}, {0, 54, 200, 0}},
    };
    for (const Case& c : cases) {
        const auto layout = ReaderWindow::layoutFor(c.content, c.fitted);
        EXPECT_EQ(layout.back, (Rect{16, 16, 22, 22}));
        EXPECT_EQ(layout.open, c.open);
        EXPECT_EQ(layout.spinner, c.spinner);
        EXPECT_EQ(layout.source, c.source);
        EXPECT_EQ(layout.title, (Rect{46, 24, c.source.width, 18}));
        EXPECT_EQ(layout.web, c.web);
    }
    EXPECT_EQ(ReaderWindow::insetFrame({100, 50, 1000, 500}), (Rect{180, 80, 840, 440}));
}

class ReaderWindowTest : public testing::PanelTest {
protected:
    ReaderWindowTest() {
        platform::ui::Workspace::setOpener([this](const std::string& url) {
            launched_.push_back(url);
            return true;
        });
        WebView::setEngineAvailable(true);
    }
    ~ReaderWindowTest() override {
        platform::ui::Workspace::setOpener(nullptr);
        WebView::setEngineAvailable(false);
    }
    std::vector<std::string> requested() const {
        std::vector<std::string> urls;
        if (reader_.web()) {
            for (const auto& request : reader_.web()->requests()) urls.push_back(request.url);
        }
        return urls;
    }

    platform::ui::headless::HeadlessWindow main_{{1500, 1000}, 1};
    ReaderWindow reader_;
    std::vector<std::string> launched_;
};

TEST_F(ReaderWindowTest, OpensThePageWithItsHeader) {
    reader_.open("https://news.test/a", "A headline", "Tech news", main_);
    ASSERT_TRUE(reader_.panel());
    EXPECT_EQ(requested(), std::vector<std::string>{"https://news.test/a"});
    EXPECT_EQ(reader_.web()->requests()[0].timeoutSeconds, 60);
    EXPECT_EQ(reader_.web()->userAgent(), "") << "the engine's own";
    EXPECT_EQ(reader_.sourceLabel().text(), "TECH NEWS");
    EXPECT_EQ(reader_.sourceLabel().richText()->runs()[0].attributes.kern, 0.6);
    EXPECT_EQ(reader_.titleLabel().text(), "A headline");
    EXPECT_EQ(reader_.panel()->size(), (platform::gfx::Size{1260, 880}));
    EXPECT_EQ(reader_.panel()->transientFor(), &main_);
    EXPECT_EQ(reader_.web()->dataFolder(), std::string(std::getenv("XDG_DATA_HOME")) + "/quiltdeck/web");
    EXPECT_EQ(reader_.web()->cacheFolder(), std::string(std::getenv("XDG_CACHE_HOME")) + "/quiltdeck/web");
    EXPECT_EQ(reader_.panel()->minimumSize(), ReaderWindow::minimumSize);
    EXPECT_FALSE(reader_.backButton().isEnabled());
    EXPECT_EQ(reader_.backButton().symbolName(), "go-previous-symbolic");
    EXPECT_TRUE(launched_.empty());
    // A second headline replaces page and header; an empty source leaves the first line empty.
    // Moved by the user meanwhile: back to the inset frame over the window, where it stands now.
    reader_.panel()->setScreenFrame({0, 0, 600, 500});
    main_.setScreenFrame({100, 50, 1500, 1000});
    reader_.open("https://news.test/b", "Another", "", main_);
    EXPECT_EQ(reader_.panel()->screenFrame(), (Rect{220, 110, 1260, 880}));
    EXPECT_EQ(reader_.sourceLabel().text(), "");
    EXPECT_EQ(reader_.titleLabel().text(), "Another");
    EXPECT_EQ(*reader_.current(), "https://news.test/b");
}

// Links for a new window load in the reader; following a link enables back; Open in Browser
// opens the page shown; Escape hides and keeps the history.
TEST_F(ReaderWindowTest, NavigatesInsideAndHandsOnThePageShown) {
    reader_.open("https://news.test/a", "A", "S", main_);
    WebView& web = *reader_.web();
    EXPECT_FALSE(web.followLink("https://other.test/blank", true));
    EXPECT_EQ(*web.url(), "https://other.test/blank");
    EXPECT_TRUE(reader_.backButton().isEnabled());
    EXPECT_TRUE(launched_.empty());
    reader_.openButton().performClick();
    EXPECT_EQ(launched_, std::vector<std::string>{"https://other.test/blank"});
    KeyEvent escape;
    escape.key = platform::ui::Key::escape;
    reader_.panel()->sendKeyEvent(escape);
    EXPECT_FALSE(reader_.panel()->isVisible());
    reader_.open("https://news.test/c", "C", "S", main_);
    EXPECT_TRUE(reader_.panel()->isVisible());
    EXPECT_TRUE(reader_.web()->canGoBack());
    // The title bar's close button only hides it too.
    reader_.panel()->onCloseRequest();
    EXPECT_FALSE(reader_.panel()->isVisible());
    reader_.open("https://news.test/d", "D", "S", main_);
    EXPECT_TRUE(reader_.panel()->isVisible());
    reader_.backButton().performClick();
    reader_.backButton().performClick();
    EXPECT_EQ(*web.url(), "https://other.test/blank");
}

TEST_F(ReaderWindowTest, OtherSchemesLoadAndLaunchNothing) {
    reader_.open("file:///etc/passwd", "x", "y", main_);
    EXPECT_FALSE(reader_.panel());
    EXPECT_FALSE(reader_.current());
    reader_.open("https://news.test/a", "A", "S", main_);
    WebView& web = *reader_.web();
    EXPECT_FALSE(web.followLink("javascript:alert(document.cookie)"));
    EXPECT_FALSE(web.followLink("file:///etc/passwd", true));
    EXPECT_FALSE(web.followLink("data:text/html,hi"));
    EXPECT_EQ(*web.url(), "https://news.test/a");
    EXPECT_EQ(requested(), std::vector<std::string>{"https://news.test/a"});
    EXPECT_TRUE(launched_.empty());
    EXPECT_NE(testing::logContents().find("reader: refused javascript link"), std::string::npos);
}

// A page's refused links are logged once per page and scheme: clicking cannot fill the log.
TEST_F(ReaderWindowTest, RefusedLinksAreLoggedOncePerPageAndScheme) {
    reader_.open("https://news.test/a", "A", "S", main_);
    WebView& web = *reader_.web();
    const size_t start = testing::logContents().size();
    const auto lines = [&] {
        const std::string added = testing::logContents().substr(start);
        return std::count(added.begin(), added.end(), '\n');
    };
    struct Step {
        const char* link;
        long lines;  // logged so far
    } steps[] = {
        {"javascript:void(document.body.textContent='x')", 1}, {"javascript:alert(1)", 1}, {"file:///etc/passwd", 2},
        {"vbscript:msgbox(1)", 3}, {"VBScript:msgbox(2)", 3}, {"https://news.test/next", 3}, {"javascript:alert(2)", 4},
    };
    for (const Step& step : steps) {
        web.followLink(step.link);
        EXPECT_EQ(lines(), step.lines) << step.link;
    }
    EXPECT_EQ(*web.url(), "https://news.test/next");
    EXPECT_NE(testing::logContents().find("reader: refused vbscript link", start), std::string::npos);
}

// A click on a link out of the page follows the tiles' rules: mail goes to the desktop, another
// application's scheme is asked about over the reader. What a page tries without the user's
// click, and the javascript: URLs the engine refuses on its own (a frame's source, a link in a
// closed shadow tree), stay inside and are logged once a page.
TEST_F(ReaderWindowTest, LinksOutOfThePageFollowTheTilesRules) {
    platform::ui::Modals::reset();
    reader_.open("https://news.test/a", "A", "S", main_);
    WebView& web = *reader_.web();
    auto& modals = *platform::ui::headless::HeadlessModals::current();
    const size_t start = testing::logContents().size();
    EXPECT_FALSE(web.followLink("mailto:editor@news.test"));
    EXPECT_FALSE(web.followLink("news-app://story/7"));
    EXPECT_EQ(modals.shownOver(), reader_.panel());
    modals.clickButton(1);
    for (const char* url : {"mailto:spam@news.test", "news-app://x", "mailto:more@news.test"})
        EXPECT_EQ(web.navigationRequested({url, true, false, false}), WebView::Policy::cancel) << url;
    web.linkRefused("javascript:");
    web.linkRefused("javascript:");
    EXPECT_FALSE(modals.shownAlert());
    EXPECT_EQ(launched_, (std::vector<std::string>{"mailto:editor@news.test", "news-app://story/7"}));
    EXPECT_EQ(*web.url(), "https://news.test/a");
    const std::string added = testing::logContents().substr(start);
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 3) << added;
    for (const char* scheme : {"mailto", "news-app", "javascript"})
        EXPECT_NE(added.find("reader: refused " + std::string(scheme) + " link"), std::string::npos) << scheme;
    platform::ui::Modals::reset();
}

// Without a web engine the link goes to the default browser, checked the same way.
TEST_F(ReaderWindowTest, WithoutAnEngineTheBrowserOpensTheLink) {
    WebView::setEngineAvailable(false);
    reader_.open("https://news.test/a", "A", "S", main_);
    reader_.open("javascript:alert(1)", "A", "S", main_);
    EXPECT_EQ(launched_, std::vector<std::string>{"https://news.test/a"});
    EXPECT_FALSE(reader_.panel());
}

TEST_F(ReaderWindowTest, ANarrowWindowKeepsTheLabelsSixtyWide) {
    reader_.open("https://news.test/a", "A", "S", main_);
    reader_.panel()->setSize({200, 400});
    EXPECT_EQ(reader_.sourceLabel().frame().width, 60);
    EXPECT_EQ(reader_.titleLabel().frame().x, 46);
    EXPECT_EQ(reader_.web()->frame(), (Rect{0, 54, 200, 346}));
}

}  // namespace
}  // namespace quiltdeck
