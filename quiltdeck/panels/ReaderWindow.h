#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Button.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Spinner.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"

namespace quiltdeck {

// The reader: a feed headline's page in a window of its own over the main one, with a one-line
// header (back, source, title, spinner, Open in Browser) above a web view. One for the run, built
// on the first link and reused, so back history and cookies persist; Escape and the close button
// only hide it. Only http and https pages with a host are shown or handed to the browser. A link
// the user clicks on a page follows the link rules that the tiles follow (LinkPolicy, from a web
// page): a mail link goes to the desktop, another application's scheme is asked about first;
// everything refused, and whatever a page tries without the user's click, does nothing and is
// logged once per page and scheme (a page's javascript: URLs never run, file: links never open).
// Without a web engine a link goes to the default browser. The web engine introduces itself to
// sites as it is (its own Linux user agent). Main thread.
class ReaderWindow {
public:
    static constexpr platform::gfx::Size buildSize{1100, 800};
    static constexpr platform::gfx::Size minimumSize{520, 400};
    static constexpr double headerHeight = 54;
    static constexpr double loadTimeout = 60;

    // The process's reader, made on first use.
    static ReaderWindow& shared();

    ReaderWindow();
    ~ReaderWindow();
    ReaderWindow(const ReaderWindow&) = delete;
    ReaderWindow& operator=(const ReaderWindow&) = delete;

    // Shows the page over `over`, at the window's frame inset by 8 % of its width and 6 % of its
    // height on each side; a link that is not an http or https page changes nothing.
    void open(const std::string& url, const std::string& title, const std::string& source, platform::ui::Window& over);
    void goBack();
    void openInBrowser();
    // Orders the window out; the page and its history stay.
    void hide();
    void layout();

    // --- Pure parts ----------------------------------------------------------------------------------
    // Whether the reader shows or hands on the link: http or https with a host. Others are logged
    // as "reader: refused <scheme> link".
    static bool acceptsURL(std::string_view url);
    // The frames of the header and the web view in a content area of `content` points, the open
    // button fitted to `openFittedWidth`.
    struct Layout {
        platform::gfx::Rect back, open, spinner, source, title, web;
    };
    static Layout layoutFor(platform::gfx::Size content, double openFittedWidth);
    // The panel's frame over a window's frame.
    static platform::gfx::Rect insetFrame(const platform::gfx::Rect& over);

    // --- What tests look at ----------------------------------------------------------------------------
    platform::ui::Window* panel() const { return panel_.get(); }
    platform::ui::WebView* web() const { return web_.get(); }
    platform::ui::Label& sourceLabel() { return sourceLabel_; }
    platform::ui::Label& titleLabel() { return titleLabel_; }
    platform::ui::Button& backButton() { return backButton_; }
    platform::ui::Button& openButton() { return openButton_; }
    platform::ui::Spinner& progress() { return progress_; }
    const std::optional<std::string>& current() const { return current_; }

private:
    class Content;
    void build();
    // The header's texts and the grounds in the theme now in force (at each opening, on each change).
    void applyTheme();
    platform::ui::WebView::Policy decide(const platform::ui::WebView::Navigation& navigation);
    // "reader: refused <scheme> link", once per page and scheme.
    void refusedOnPage(const std::string& url);

    std::unique_ptr<platform::ui::Window> panel_;
    std::unique_ptr<Content> content_;
    std::unique_ptr<platform::ui::WebView> web_;
    platform::ui::Label sourceLabel_;
    platform::ui::Label titleLabel_;
    platform::ui::Button backButton_;
    platform::ui::Button openButton_;
    platform::ui::Spinner progress_;
    std::optional<std::string> current_;
    std::string source_;
    std::string title_;
    platform::runtime::NotificationCenter::Subscription themeObserver_;
    uint64_t refusalsPage_ = 0;
    std::set<std::string> refusalsLogged_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace quiltdeck
