#include "quiltdeck/panels/ReaderWindow.h"

#include <glib.h>

#include <algorithm>

#include "platform/ui/LinkPolicy.h"
#include "platform/ui/Workspace.h"
#include "platform/ui/WindowMaker.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/LinkOpener.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::gfx::Rect;
using platform::gfx::Size;
using platform::ui::Button;
using platform::ui::KeyEvent;
using platform::ui::RichText;
using platform::ui::TextAttributes;
using platform::ui::WebView;

namespace {

using platform::ui::LinkDecision;

// What the reader shows, and hands to the browser: an http or https page with a host.
bool isPage(const LinkDecision& link) {
    return link.action == LinkDecision::Action::open && (link.scheme == "http" || link.scheme == "https");
}

// Allowed to be shown or opened; every refusal of a URL with a scheme is logged.
bool allowed(std::string_view url) {
    const LinkDecision link = platform::ui::LinkPolicy::decide(url, platform::ui::LinkOrigin::webPage);
    if (isPage(link)) return true;
    if (!link.scheme.empty()) Log::write("reader: refused " + link.scheme + " link");
    return false;
}

}  // namespace

// Lays the header out whenever the window gives it a new size.
class ReaderWindow::Content : public platform::ui::FlippedView {
public:
    explicit Content(ReaderWindow& reader) : reader_(reader) {}
    void setFrameSize(Size size) override {
        FlippedView::setFrameSize(size);
        reader_.layout();
    }

private:
    ReaderWindow& reader_;
};

ReaderWindow& ReaderWindow::shared() {
    // For the life of the process: its page and history outlive every link.
    static auto* reader = new ReaderWindow();
    return *reader;
}

ReaderWindow::ReaderWindow() = default;

ReaderWindow::~ReaderWindow() {
    if (web_) {
        web_->decidePolicy = nullptr;
        web_->onLinkRefused = nullptr;
        web_->onStart = web_->onFinish = web_->onFail = nullptr;
    }
    if (panel_) {
        panel_->keyDownMonitor = nullptr;
        panel_->onCloseRequest = nullptr;
        panel_->setContentView(nullptr);
    }
}

// --- Pure parts ------------------------------------------------------------------------------------

bool ReaderWindow::acceptsURL(std::string_view url) { return allowed(url); }

Rect ReaderWindow::insetFrame(const Rect& over) {
    const double dx = over.width * 0.08, dy = over.height * 0.06;
    return {over.x + dx, over.y + dy, std::max(0.0, over.width - 2 * dx), std::max(0.0, over.height - 2 * dy)};
}

ReaderWindow::Layout ReaderWindow::layoutFor(Size content, double openFittedWidth) {
    // No window buttons sit in the content here, so the header starts at the left edge.
    Layout layout;
    layout.back = {16, 16, 22, 22};
    const double w = openFittedWidth + 8;
    layout.open = {content.width - 20 - w, 16, w, 22};
    layout.spinner = {layout.open.x - 26, 19, 16, 16};
    const double labels = std::max(60.0, layout.spinner.x - 10 - 46);
    layout.source = {46, 10, labels, 12};
    layout.title = {46, 24, labels, 18};
    layout.web = {0, headerHeight, content.width, std::max(0.0, content.height - headerHeight)};
    return layout;
}

// --- Building --------------------------------------------------------------------------------------

void ReaderWindow::build() {
    panel_ = platform::ui::WindowMaker::make(buildSize, "");
    panel_->setMinimumSize(minimumSize);
    std::weak_ptr<int> alive = alive_;
    panel_->keyDownMonitor = [this, alive](const KeyEvent& event) {
        if (alive.expired() || event.type != KeyEvent::Type::down || event.key != platform::ui::Key::escape) return false;
        hide();
        return true;
    };
    panel_->onCloseRequest = [this, alive] {
        if (!alive.expired()) hide();
    };
    content_ = std::make_unique<Content>(*this);
    content_->setFrame({0, 0, buildSize.width, buildSize.height});
    themeObserver_ = platform::runtime::NotificationCenter::defaultCenter().subscribe(std::string(Theme::didChange), [this, alive](const auto&) {
        if (!alive.expired()) applyTheme();
    });

    web_ = std::make_unique<WebView>();
    web_->setStorageFolders((dataFolder() / "quiltdeck/web").string(), (cacheFolder() / "quiltdeck/web").string());
    web_->decidePolicy = [this, alive](const WebView::Navigation& navigation) {
        return alive.expired() ? WebView::Policy::cancel : decide(navigation);
    };
    web_->onLinkRefused = [this, alive](WebView&, const std::string& url) {
        if (!alive.expired()) refusedOnPage(url);
    };
    web_->onStart = [this, alive](WebView&) {
        if (alive.expired()) return;
        progress_.startAnimation();
        layout();
    };
    web_->onFinish = [this, alive](WebView&) {
        if (alive.expired()) return;
        progress_.stopAnimation();
        layout();
    };
    web_->onFail = [this, alive](WebView&) {
        if (!alive.expired()) progress_.stopAnimation();
    };
    content_->addSubview(web_.get());

    for (platform::ui::Label* label : {&sourceLabel_, &titleLabel_}) {
        label->setTruncation(platform::ui::Truncation::tail);
        label->setMaximumLines(1);
        content_->addSubview(label);
    }
    backButton_.setTitle("");
    backButton_.setSymbol("go-previous-symbolic", 12);
    backButton_.setBordered(false);
    backButton_.setToolTip(t("reader_back"));
    backButton_.setAction([this, alive](platform::ui::Control&) {
        if (!alive.expired()) goBack();
    });
    content_->addSubview(&backButton_);
    openButton_.setTitle(t("open_in_browser"));
    openButton_.setBezelStyle(Button::BezelStyle::rounded);
    openButton_.setControlSize(Button::ControlSize::small);
    openButton_.setAction([this, alive](platform::ui::Control&) {
        if (!alive.expired()) openInBrowser();
    });
    content_->addSubview(&openButton_);
    progress_.setStyle(platform::ui::Spinner::Style::small);
    progress_.setHidesWhenStopped(true);
    content_->addSubview(&progress_);
    panel_->setContentView(content_.get());
}

// --- Opening ---------------------------------------------------------------------------------------

void ReaderWindow::open(const std::string& url, const std::string& title, const std::string& source, platform::ui::Window& over) {
    if (!allowed(url)) return;
    current_ = url;
    if (!WebView::engineAvailable()) {
        platform::ui::Workspace::open(url);
        return;
    }
    if (!panel_) build();
    gchar* upper = g_utf8_strup(source.c_str(), static_cast<gssize>(source.size()));
    source_ = upper ? upper : "";
    g_free(upper);
    title_ = title;
    // Over the window the link came from; where the screen position is unknown, only the size.
    const Rect under = over.screenFrame().value_or(Rect{0, 0, over.size().width, over.size().height});
    const Rect frame = insetFrame(under);
    panel_->setTransientFor(&over);
    panel_->setScreenFrame({frame.x, frame.y, std::max(frame.width, minimumSize.width), std::max(frame.height, minimumSize.height)});
    applyTheme();
    web_->load(url, loadTimeout);
    panel_->present();
    layout();
}

void ReaderWindow::applyTheme() {
    if (!panel_ || !content_) return;
    TextAttributes sourceStyle;
    sourceStyle.font = Fonts::ui(9.5, FontWeight::semibold);
    sourceStyle.kern = 0.6;
    sourceStyle.color = PanelColors::mutedText();
    sourceLabel_.setRichText(RichText(source_, sourceStyle));
    TextAttributes titleStyle;
    titleStyle.font = Fonts::ui(14, FontWeight::semibold);
    titleStyle.kern = -0.15;
    titleStyle.color = PanelColors::strongText();
    titleLabel_.setRichText(RichText(title_, titleStyle));
    panel_->setBackgroundColor(PanelColors::panelBackground());
    content_->setLayerBackgroundColor(PanelColors::panelBackground());
    backButton_.setContentTintColor(PanelColors::mutedText());
}

void ReaderWindow::layout() {
    if (!panel_ || !web_ || !content_) return;
    const Layout frames = layoutFor({content_->frame().width, content_->frame().height}, openButton_.fittingSize().width);
    backButton_.setFrame(frames.back);
    backButton_.setEnabled(web_->canGoBack());
    openButton_.setFrame(frames.open);
    progress_.setFrame(frames.spinner);
    sourceLabel_.setFrame(frames.source);
    titleLabel_.setFrame(frames.title);
    web_->setFrame(frames.web);
}

WebView::Policy ReaderWindow::decide(const WebView::Navigation& navigation) {
    const LinkDecision link = platform::ui::LinkPolicy::decide(navigation.url, platform::ui::LinkOrigin::webPage);
    if (isPage(link)) {
        if (!navigation.newWindow) return WebView::Policy::allow;
        // A link meant for a new window opens here, never outside.
        web_->load(navigation.url, loadTimeout);
        return WebView::Policy::cancel;
    }
    // Nothing leaves the reader but by the user's own click.
    if (navigation.userGesture && link.action != LinkDecision::Action::refuse) LinkOpener::follow(link, panel_.get());
    else refusedOnPage(navigation.url);
    return WebView::Policy::cancel;
}

void ReaderWindow::refusedOnPage(const std::string& url) {
    if (!web_) return;
    if (web_->pageSerial() != refusalsPage_) {
        refusalsPage_ = web_->pageSerial();
        refusalsLogged_.clear();
    }
    const std::string scheme = platform::ui::LinkPolicy::schemeOf(url);
    if (refusalsLogged_.insert(scheme).second) Log::write("reader: refused " + (scheme.empty() ? "unnamed" : scheme) + " link");
}

void ReaderWindow::goBack() {
    if (web_) web_->goBack();
}

void ReaderWindow::openInBrowser() {
    std::optional<std::string> url = web_ ? web_->url() : std::nullopt;
    if (!url) url = current_;
    if (url && acceptsURL(*url)) platform::ui::Workspace::open(*url);
}

void ReaderWindow::hide() {
    if (panel_) panel_->orderOut();
}

}  // namespace quiltdeck
