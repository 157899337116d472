#include <gtest/gtest.h>

#include "platform/ui/WebView.h"

using namespace platform::ui;

// The stand-in keeps every request, asks the policy before a page starts, and moves through a
// history of the pages it showed.
TEST(WebView, StandInAsksThenShowsAndGoesBack) {
    WebView web;
    std::vector<std::string> asked, started, finished;
    web.decidePolicy = [&](const WebView::Navigation& navigation) {
        asked.push_back(navigation.url);
        return navigation.url.rfind("https:", 0) == 0 ? WebView::Policy::allow : WebView::Policy::cancel;
    };
    web.onStart = [&](WebView& view) { started.push_back(*view.url()); };
    web.onFinish = [&](WebView& view) { finished.push_back(*view.url()); };
    EXPECT_FALSE(web.canGoBack());
    web.load("https://a.test/", 60);
    web.load("file:///etc/passwd", 60);
    EXPECT_EQ(web.requests(), (std::vector<WebView::Request>{{"https://a.test/", 60}, {"file:///etc/passwd", 60}}));
    EXPECT_EQ(started, std::vector<std::string>{"https://a.test/"});
    EXPECT_FALSE(web.canGoBack());
    EXPECT_TRUE(web.followLink("https://a.test/b"));
    EXPECT_FALSE(web.followLink("javascript:alert(1)"));
    EXPECT_EQ(*web.url(), "https://a.test/b");
    EXPECT_TRUE(web.canGoBack());
    web.goBack();
    EXPECT_EQ(*web.url(), "https://a.test/");
    EXPECT_FALSE(web.canGoBack());
    web.goBack();
    EXPECT_EQ(*web.url(), "https://a.test/");
    EXPECT_EQ(finished, (std::vector<std::string>{"https://a.test/", "https://a.test/b", "https://a.test/"}));
    // The javascript: link never reached the policy.
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_FALSE(web.isLoading());
}

// Script links always, and file links from a page that is not a file, are refused by the view
// itself (as the engine settles them), told to its owner and never put to the policy.
TEST(WebView, RefusesScriptLinksAndFileLinksFromTheWebWithoutAsking) {
    struct Case {
        const char* link;
        const char* page;
        bool refused;
    } cases[] = {
        {"javascript:void(document.title='x')", "https://a.test/", true},
        {"JavaScript:alert(1)", "https://a.test/", true},
        {"file:///etc/passwd", "https://a.test/", true},
        {"file:///etc/passwd", "file:///tmp/a.html", false},
        {"https://a.test/b", "https://a.test/", false},
        {"mailto:someone@a.test", "https://a.test/", false},
        {"javascriptx:1", "https://a.test/", false},
        {"not a url: javascript:1", "https://a.test/", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WebView::refusesLink(c.link, c.page), c.refused) << c.link << " on " << c.page;
        WebView web;
        std::vector<std::string> asked, refused;
        web.decidePolicy = [&](const WebView::Navigation& navigation) {
            asked.push_back(navigation.url);
            return WebView::Policy::allow;
        };
        web.onLinkRefused = [&](WebView&, const std::string& url) { refused.push_back(url); };
        web.load(c.page);
        asked.clear();
        EXPECT_EQ(web.followLink(c.link), !c.refused) << c.link;
        EXPECT_EQ(asked.size(), c.refused ? 0u : 1u) << c.link;
        EXPECT_EQ(refused, c.refused ? std::vector<std::string>{c.link} : std::vector<std::string>{}) << c.link;
        EXPECT_EQ(*web.url(), c.refused ? c.page : c.link);
    }
}

// With an engine, loads and back steps go to it; the view only reports what it tells.
TEST(WebView, AnEngineTakesLoadsAndBackSteps) {
    struct Recording : WebView::Engine {
        std::vector<std::string> loads;
        int backs = 0;
        void load(const WebView::Request& request) override { loads.push_back(request.url); }
        void goBack() override { ++backs; }
    } engine;
    WebView web;
    web.setEngine(&engine);
    web.load("https://a.test/");
    EXPECT_EQ(engine.loads, std::vector<std::string>{"https://a.test/"});
    EXPECT_FALSE(web.url());
    web.didStart("https://a.test/");
    EXPECT_TRUE(web.isLoading());
    web.didCommit("https://a.test/x", true);
    web.goBack();
    EXPECT_EQ(engine.backs, 1);
    int failures = 0;
    web.onFail = [&](WebView&) { ++failures; };
    web.didFail();
    EXPECT_FALSE(web.isLoading());
    EXPECT_EQ(failures, 1);
    web.setEngine(nullptr);
}
