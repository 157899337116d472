#include "platform/ui/WebView.h"

#include "platform/ui/ControlDrawing.h"
#include "platform/ui/LinkPolicy.h"

namespace platform::ui {

namespace {

bool& engine() {
    static bool available = false;
    return available;
}

}  // namespace

WebView::WebView(const Rect& frame) : Control(frame) {}

bool WebView::engineAvailable() { return engine(); }

void WebView::setEngineAvailable(bool available) { engine() = available; }

void WebView::setUserAgent(std::string agent) { setProperty(userAgent_, std::move(agent)); }

void WebView::setStorageFolders(std::string data, std::string cache) {
    dataFolder_ = std::move(data);
    cacheFolder_ = std::move(cache);
}

WebView::Policy WebView::navigationRequested(const Navigation& navigation) {
    if (!decidePolicy) return Policy::allow;
    auto decide = decidePolicy;
    return decide(navigation);
}

void WebView::load(const std::string& url, double timeoutSeconds) {
    const Request request{url, timeoutSeconds};
    requests_.push_back(request);
    if (engine_) return engine_->load(request);
    if (navigationRequested({url, true, false}) == Policy::cancel) return;
    show(url);
}

void WebView::goBack() {
    if (!canGoBack_) return;
    if (engine_) return engine_->goBack();
    history_.pop_back();
    const std::string back = history_.back();
    didStart(back);
    didCommit(back, history_.size() > 1);
    didFinish();
}

bool WebView::refusesLink(std::string_view url, std::string_view pageURL) {
    const std::string scheme = LinkPolicy::schemeOf(url);
    return scheme == "javascript" || (scheme == "file" && LinkPolicy::schemeOf(pageURL) != "file");
}

void WebView::linkRefused(const std::string& url) {
    if (auto told = onLinkRefused) told(*this, url);
}

bool WebView::followLink(const std::string& url, bool newWindow) {
    // As the engine does: these never reach the policy.
    if (refusesLink(url, url_.value_or(""))) {
        linkRefused(url);
        return false;
    }
    if (navigationRequested({url, true, newWindow, true}) == Policy::cancel) return false;
    if (newWindow) return true;  // the engine would open a window; a view shows nothing more
    show(url);
    return true;
}

void WebView::show(const std::string& url) {
    history_.push_back(url);
    didStart(url);
    didCommit(url, history_.size() > 1);
    didFinish();
}

void WebView::didStart(const std::string& url) {
    url_ = url;
    loading_ = true;
    ++pageSerial_;
    changed();
    if (auto told = onStart) told(*this);
}

void WebView::didCommit(const std::string& url, bool canGoBack) {
    url_ = url;
    canGoBack_ = canGoBack;
    changed();
}

void WebView::didChangeTitle(std::string title) {
    if (title == title_) return;
    title_ = std::move(title);
    changed();
}

void WebView::didFinish() {
    loading_ = false;
    changed();
    if (auto told = onFinish) told(*this);
}

void WebView::didFail() {
    loading_ = false;
    changed();
    if (auto told = onFail) told(*this);
}

void WebView::draw(gfx::Canvas& canvas, const Rect&) {
    if (peer()) return;
    canvas.fill(bounds(), gfx::Rgba{1, 1, 1, 1});
    drawing::strokeInside(canvas, bounds(), gfx::Rgba{0.6, 0.6, 0.6, 1}, 1);
}

}  // namespace platform::ui
