#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Control.h"

namespace platform::ui {

// A web page in a window: the toolkit's web engine where the program has one, else a stand-in
// that keeps the requests it was given and a history of the pages it "shows", so the logic around
// it runs without an engine. Every navigation (a load asked by the program, a link, a page's own
// request for a new window) is put to `decidePolicy` before it starts, but for two kinds of URL
// that the engine settles without asking: a `javascript:` URL, which a view here never runs
// (a link, a frame's source, a script's navigation, inside a closed shadow tree or not), and a
// `file:` link on a page that is not a file, which the engine blocks. Both are refused and told
// to `onLinkRefused`. Main thread.
class WebView : public Control {
public:
    struct Navigation {
        std::string url;
        // The page itself, not a frame inside it.
        bool mainFrame = true;
        // Meant for a new window (a link with a target, window.open): no frame of this view.
        bool newWindow = false;
        // The user's own click or key started it, not a page's script, redirect or frame.
        bool userGesture = false;
    };
    enum class Policy { allow, cancel };
    struct Request {
        std::string url;
        double timeoutSeconds = 60;
        friend bool operator==(const Request&, const Request&) = default;
    };

    explicit WebView(const Rect& frame = {});

    // Whether the program has a web engine for the views (the toolkit says so at start).
    static bool engineAvailable();
    static void setEngineAvailable(bool available);

    const std::string& userAgent() const { return userAgent_; }
    void setUserAgent(std::string agent);
    // Where the engine keeps cookies, storage and its cache; set before the view is first shown.
    // Empty: the engine's own defaults.
    const std::string& dataFolder() const { return dataFolder_; }
    const std::string& cacheFolder() const { return cacheFolder_; }
    void setStorageFolders(std::string data, std::string cache);

    // Loads a page into the view, in its history.
    void load(const std::string& url, double timeoutSeconds = 60);
    // Every load the program asked for, in order.
    const std::vector<Request>& requests() const { return requests_; }
    // The page shown (or being loaded); none before the first.
    const std::optional<std::string>& url() const { return url_; }
    bool canGoBack() const { return canGoBack_; }
    void goBack();
    bool isLoading() const { return loading_; }
    // The page's title; empty before the first.
    const std::string& title() const { return title_; }
    // Counts the pages: a new one with each load that starts.
    uint64_t pageSerial() const { return pageSerial_; }

    // Whether the view refuses a link on the page `pageURL` without asking the policy.
    static bool refusesLink(std::string_view url, std::string_view pageURL);

    std::function<Policy(const Navigation&)> decidePolicy;
    // A link refused by the view itself (see above), with its URL as the page gave it; a
    // `javascript:` URL that the engine refused on its own is told as just "javascript:".
    std::function<void(WebView&, const std::string& url)> onLinkRefused;
    std::function<void(WebView&)> onStart;
    std::function<void(WebView&)> onFinish;
    std::function<void(WebView&)> onFail;

    // What the engine reports (its peer calls these; without one the stand-in does, and tests
    // play a page through them). A navigation the policy cancels never starts.
    Policy navigationRequested(const Navigation& navigation);
    void didStart(const std::string& url);
    void didCommit(const std::string& url, bool canGoBack);
    void didFinish();
    void didFail();
    void didChangeTitle(std::string title);
    // A refused link's activation, stopped by the engine's page script.
    void linkRefused(const std::string& url);
    // The user follows a link on the page (a user gesture): refused by the view, or asked, then
    // loaded in place when allowed; false when it was refused or cancelled.
    bool followLink(const std::string& url, bool newWindow = false);

    // A peer that shows pages takes the program's loads and back steps; without one the stand-in
    // moves its own history.
    class Engine {
    public:
        virtual ~Engine() = default;
        virtual void load(const Request& request) = 0;
        virtual void goBack() = 0;
    };
    void setEngine(Engine* engine) { engine_ = engine; }

    Size fittingSize() const override { return {frame().width, frame().height}; }
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

private:
    // The stand-in shows a page at once.
    void show(const std::string& url);

    std::string userAgent_;
    std::string dataFolder_;
    std::string cacheFolder_;
    std::vector<Request> requests_;
    std::optional<std::string> url_;
    bool canGoBack_ = false;
    bool loading_ = false;
    std::string title_;
    uint64_t pageSerial_ = 0;
    std::vector<std::string> history_;  // the stand-in's back list, the current page last
    Engine* engine_ = nullptr;
};

}  // namespace platform::ui
