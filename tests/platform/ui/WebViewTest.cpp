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
    EXPECT_EQ(asked.size(), 4u);
    EXPECT_FALSE(web.isLoading());
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
