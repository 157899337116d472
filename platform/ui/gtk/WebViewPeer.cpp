#include "platform/ui/gtk/WebViewPeer.h"

#if QUILTDECK_WEBKIT
#include <webkit2/webkit2.h>

#include <filesystem>
#include <string>
#include <string_view>
#endif

namespace platform::ui::gtk {

#if QUILTDECK_WEBKIT

namespace {

// The world the link guard runs in: the page's own scripts cannot reach its listeners or the
// objects it calls.
constexpr const char* guardWorld = "quiltdeck-link-guard";
constexpr const char* refusedChannel = "refusedLink";

// No javascript: URL runs in a view, wherever it comes from (a link, inside a closed shadow tree
// or not; a frame's source; a script's navigation): the engine itself refuses them, since every
// page is held to trusted types and the guard's default policy lets no "Location href" script
// through. Every other sink passes as the page wrote it. Each refusal is reported to a scheme
// of the view's own, which is how the view hears of those that the engine settles alone.
constexpr const char* refusalScheme = "quiltdeck-refusal";
constexpr const char* pagePolicy = "require-trusted-types-for 'script'; report-uri quiltdeck-refusal:report";

// Runs in every frame at its start: the trusted-types default policy (a page's own scripts
// come later, so they cannot install another), and a guard that stops, before the engine acts on
// it, the activation of a file: link or form on a page that is not a file, which the engine
// blocks without asking the navigation policy or saying so, and of a plain javascript: link
// (still refused where an engine knows no trusted types). Each such refusal is posted to the
// view.
constexpr const char* linkGuard = R"JS((function () {
  "use strict";
  if (window.trustedTypes && !window.trustedTypes.defaultPolicy) {
    var same = function (value) { return value; };
    try {
      window.trustedTypes.createPolicy("default", {
        createHTML: same,
        createScriptURL: same,
        createScript: function (value, type, sink) { return sink === "Location href" ? null : value; }
      });
    } catch (e) {}
  }
  var refused = function (url) {
    var scheme;
    try { scheme = new URL(url, document.baseURI).protocol; } catch (e) { return false; }
    return scheme === "javascript:" || (scheme === "file:" && location.protocol !== "file:");
  };
  var tell = function (url) {
    try { window.webkit.messageHandlers.refusedLink.postMessage(String(url).slice(0, 2048)); } catch (e) {}
  };
  var linkOf = function (event) {
    var path = event.composedPath();
    for (var i = 0; i < path.length; ++i) {
      var node = path[i];
      if (node instanceof HTMLAnchorElement || node instanceof HTMLAreaElement) {
        if (node.hasAttribute("href")) return node.href;
      } else if (node instanceof SVGAElement) {
        var raw = node.getAttribute("href") || node.getAttributeNS("http://www.w3.org/1999/xlink", "href");
        if (raw !== null) return raw;
      }
    }
    return null;
  };
  var guardLink = function (event) {
    var url = linkOf(event);
    if (url === null || !refused(url)) return;
    event.preventDefault();
    tell(url);
  };
  var guardForm = function (event) {
    var form = event.target;
    if (!(form instanceof HTMLFormElement)) return;
    var by = event.submitter;
    var url = by && by.hasAttribute("formaction") ? by.formAction : form.action;
    if (!refused(url)) return;
    event.preventDefault();
    tell(url);
  };
  window.addEventListener("click", guardLink, true);
  window.addEventListener("auxclick", guardLink, true);
  window.addEventListener("submit", guardForm, true);
})();)JS";

// A WebKitWebView in its own context, whose data and cache live in the view's folders. Loads and
// back steps of the program go to the engine; the engine's navigations are put to the view's
// policy and its progress is reported to the view.
class WebKitPeer : public WidgetPeer, public WebView::Engine {
public:
    WebKitPeer(WebView& view, GtkWidget* fixed) : WidgetPeer(view, fixed, makeWebView(view)), view_(view) {
        WebKitWebContext* context = webkit_web_view_get_context(WEBKIT_WEB_VIEW(widget_));
        // The context goes with the widget, after this peer: the relay outlives the peer.
        relay_ = new RefusalRelay{this};
        webkit_web_context_register_uri_scheme(context, refusalScheme, onRefusalReport, relay_,
                                               [](gpointer relay) { delete static_cast<RefusalRelay*>(relay); });
        // Reports from https pages too, which would not send them to a scheme held insecure.
        webkit_security_manager_register_uri_scheme_as_secure(webkit_web_context_get_security_manager(context),
                                                               refusalScheme);
        g_signal_connect(widget_, "decide-policy", G_CALLBACK(onDecidePolicy), this);
        g_signal_connect(widget_, "load-changed", G_CALLBACK(onLoadChanged), this);
        g_signal_connect(widget_, "load-failed", G_CALLBACK(onLoadFailed), this);
        g_signal_connect(widget_, "notify::uri", G_CALLBACK(onUri), this);
        g_signal_connect(widget_, "notify::title", G_CALLBACK(onTitle), this);
        WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(WEBKIT_WEB_VIEW(widget_));
        g_signal_connect(content, (std::string("script-message-received::") + refusedChannel).c_str(),
                         G_CALLBACK(onRefusedLink), this);
        webkit_user_content_manager_register_script_message_handler_in_world(content, refusedChannel, guardWorld);
        WebKitUserScript* guard =
            webkit_user_script_new_for_world(linkGuard, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, guardWorld, nullptr, nullptr);
        webkit_user_content_manager_add_script(content, guard);
        webkit_user_script_unref(guard);
        view_.setEngine(this);
        // What was asked before the widget existed.
        if (!view.requests().empty()) load(view.requests().back());
    }
    ~WebKitPeer() override {
        relay_->peer = nullptr;
        WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(WEBKIT_WEB_VIEW(widget_));
        g_signal_handlers_disconnect_by_data(content, this);
        view_.setEngine(nullptr);
    }

    void load(const WebView::Request& request) override {
        // The engine keeps its own network time limits; the request's is not settable here.
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(widget_), request.url.c_str());
    }
    void goBack() override { webkit_web_view_go_back(WEBKIT_WEB_VIEW(widget_)); }

protected:
    void sync() override {
        WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(widget_));
        const char* agent = webkit_settings_get_user_agent(settings);
        if (!view_.userAgent().empty() && (!agent || view_.userAgent() != agent)) {
            webkit_settings_set_user_agent(settings, view_.userAgent().c_str());
        }
    }

private:
    static GtkWidget* makeWebView(WebView& view) {
        WebKitWebsiteDataManager* data = nullptr;
        if (!view.dataFolder().empty()) {
            std::error_code ignored;
            std::filesystem::create_directories(view.dataFolder(), ignored);
            std::filesystem::create_directories(view.cacheFolder(), ignored);
            data = webkit_website_data_manager_new("base-data-directory", view.dataFolder().c_str(), "base-cache-directory",
                                                   view.cacheFolder().c_str(), nullptr);
        } else {
            data = webkit_website_data_manager_new(nullptr);
        }
        WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
        if (!view.dataFolder().empty()) {
            // Cookies kept from one run to the next.
            const std::string cookies = (std::filesystem::path(view.dataFolder()) / "cookies.sqlite").string();
            webkit_cookie_manager_set_persistent_storage(webkit_website_data_manager_get_cookie_manager(data), cookies.c_str(),
                                                         WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
        }
        GtkWidget* web =
            GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "default-content-security-policy", pagePolicy, nullptr));
        g_object_unref(context);
        g_object_unref(data);
        WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(web));
        webkit_settings_set_enable_back_forward_navigation_gestures(settings, TRUE);
        // Pages open no windows by themselves, and nothing loaded from a file reaches further.
        webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
        webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
        webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
        webkit_settings_set_allow_top_navigation_to_data_urls(settings, FALSE);
        if (!view.userAgent().empty()) webkit_settings_set_user_agent(settings, view.userAgent().c_str());
        return web;
    }

    void reportPage() {
        const char* uri = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(widget_));
        view_.didCommit(uri ? uri : "", webkit_web_view_can_go_back(WEBKIT_WEB_VIEW(widget_)));
    }

    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, WebKitPeer* self) {
        if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) return FALSE;
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        WebKitURIRequest* request = webkit_navigation_action_get_request(action);
        const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
        WebView::Navigation navigation;
        navigation.url = uri ? uri : "";
        const char* page = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(self->widget_));
        if (WebView::refusesLink(navigation.url, page ? page : "")) {
            webkit_policy_decision_ignore(decision);
            self->view_.linkRefused(navigation.url);
            return TRUE;
        }
        navigation.newWindow = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION;
        navigation.userGesture = webkit_navigation_action_is_user_gesture(action);
        // The engine does not say which frame navigates: every navigation is judged as the page's.
        navigation.mainFrame = true;
        // Held: the policy may load another page in this view before it answers.
        g_object_ref(decision);
        const WebView::Policy policy = self->view_.navigationRequested(navigation);
        if (policy == WebView::Policy::allow) webkit_policy_decision_use(decision);
        else webkit_policy_decision_ignore(decision);
        g_object_unref(decision);
        return TRUE;
    }
    static void onLoadChanged(WebKitWebView* web, WebKitLoadEvent event, WebKitPeer* self) {
        switch (event) {
            case WEBKIT_LOAD_STARTED: {
                const char* uri = webkit_web_view_get_uri(web);
                self->view_.didStart(uri ? uri : "");
                break;
            }
            case WEBKIT_LOAD_COMMITTED: self->reportPage(); break;
            case WEBKIT_LOAD_FINISHED:
                self->reportPage();
                self->view_.didFinish();
                break;
            default: break;
        }
    }
    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, WebKitPeer* self) {
        self->view_.didFail();
        return FALSE;  // the engine shows what it shows
    }
    static void onUri(GObject*, GParamSpec*, WebKitPeer* self) {
        if (webkit_web_view_get_uri(WEBKIT_WEB_VIEW(self->widget_))) self->reportPage();
    }
    static void onTitle(GObject*, GParamSpec*, WebKitPeer* self) {
        const char* title = webkit_web_view_get_title(WEBKIT_WEB_VIEW(self->widget_));
        self->view_.didChangeTitle(title ? title : "");
    }
    // A report of the page policy's: a javascript: URL the engine refused. What the page sends
    // there itself tells no more than that.
    static void onRefusalReport(WebKitURISchemeRequest* request, gpointer data) {
        auto* relay = static_cast<RefusalRelay*>(data);
        const char* method = webkit_uri_scheme_request_get_http_method(request);
        if (GInputStream* body = webkit_uri_scheme_request_get_http_body(request)) {
            if (method && std::string_view(method) == "POST") {
                char report[4096];
                gsize length = 0;
                g_input_stream_read_all(body, report, sizeof report, &length, nullptr, nullptr);
                if (relay->peer && std::string_view(report, length).find("require-trusted-types-for") != std::string_view::npos)
                    relay->peer->view_.linkRefused("javascript:");
            }
            g_object_unref(body);
        }
        GInputStream* nothing = g_memory_input_stream_new();
        webkit_uri_scheme_request_finish(request, nothing, 0, "text/plain");
        g_object_unref(nothing);
    }
    static void onRefusedLink(WebKitUserContentManager*, WebKitJavascriptResult* result, WebKitPeer* self) {
        JSCValue* value = webkit_javascript_result_get_js_value(result);
        if (!value || !jsc_value_is_string(value)) return;
        gchar* url = jsc_value_to_string(value);
        const std::string text = url ? url : "";
        g_free(url);
        // Only a link the view refuses is taken at its word.
        const char* page = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(self->widget_));
        if (WebView::refusesLink(text, page ? page : "")) self->view_.linkRefused(text);
    }

    struct RefusalRelay {
        WebKitPeer* peer;
    };

    WebView& view_;
    RefusalRelay* relay_ = nullptr;
};

}  // namespace

std::unique_ptr<WidgetPeer> makeWebViewPeer(WebView& view, GtkWidget* fixed) { return std::make_unique<WebKitPeer>(view, fixed); }

bool webEngineBuiltIn() { return true; }

#else

std::unique_ptr<WidgetPeer> makeWebViewPeer(WebView&, GtkWidget*) { return nullptr; }

bool webEngineBuiltIn() { return false; }

#endif

}  // namespace platform::ui::gtk
