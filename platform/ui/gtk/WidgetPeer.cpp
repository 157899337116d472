#include "platform/ui/gtk/WidgetPeer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/ui/Window.h"

namespace platform::ui::gtk {

namespace {

// Marks a peer's widget with the peer, so the toolkit's focus finds its control.
constexpr const char* peerKey = "platform-ui-widget-peer";

}  // namespace

void putWidget(GtkWidget* container, GtkWidget* widget, int x, int y) {
    if (GTK_IS_LAYOUT(container)) gtk_layout_put(GTK_LAYOUT(container), widget, x, y);
    else gtk_fixed_put(GTK_FIXED(container), widget, x, y);
}

void moveWidget(GtkWidget* container, GtkWidget* widget, int x, int y) {
    if (GTK_IS_LAYOUT(container)) gtk_layout_move(GTK_LAYOUT(container), widget, x, y);
    else gtk_fixed_move(GTK_FIXED(container), widget, x, y);
}

std::string cssColour(const gfx::Rgba& c) {
    char text[64];
    auto byte = [](double v) { return static_cast<int>(std::lround(std::clamp(std::isnan(v) ? 0.0 : v, 0.0, 1.0) * 255)); };
    std::snprintf(text, sizeof text, "rgba(%d,%d,%d,%.3f)", byte(c.red), byte(c.green), byte(c.blue),
                  std::clamp(std::isnan(c.alpha) ? 0.0 : c.alpha, 0.0, 1.0));
    return text;
}

std::string cssFont(const gfx::InterfaceFont& font) {
    char text[256];
    // Pixels, not points: one point is one pixel at scale 1, as everywhere else.
    std::snprintf(text, sizeof text, "font-family: \"%s\"; font-weight: %d; font-size: %.2fpx;", font.family.c_str(),
                  static_cast<int>(font.weight), font.size);
    return text;
}

GdkPixbuf* pixbufOf(const gfx::Image& image) {
    if (image.isEmpty()) return nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, image.width, image.height);
    if (!pixbuf) return nullptr;
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    for (int y = 0; y < image.height; ++y) {
        guchar* out = pixels + static_cast<ptrdiff_t>(y) * stride;
        for (int x = 0; x < image.width; ++x, out += 4) {
            const uint32_t p = image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)];
            const uint32_t a = p >> 24;
            // Straight alpha from premultiplied.
            auto channel = [a](uint32_t c) { return static_cast<guchar>(a ? std::min<uint32_t>(255, (c * 255 + a / 2) / a) : 0); };
            out[0] = channel(p >> 16 & 0xFF);
            out[1] = channel(p >> 8 & 0xFF);
            out[2] = channel(p & 0xFF);
            out[3] = static_cast<guchar>(a);
        }
    }
    return pixbuf;
}

void setInterfaceFontOptions(GtkWidget* widget) {
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    gtk_widget_set_font_options(widget, options);
    cairo_font_options_destroy(options);
}

WidgetPeer::WidgetPeer(Control& control, GtkWidget* fixed, GtkWidget* widget)
    : control_(control), fixed_(fixed), widget_(widget), css_(gtk_css_provider_new()) {
    g_object_ref_sink(widget_);
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget_), GTK_STYLE_PROVIDER(css_),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
    setInterfaceFontOptions(widget_);
    g_object_set_data(G_OBJECT(widget_), peerKey, this);
    putWidget(fixed_, widget_, 0, 0);
}

WidgetPeer* WidgetPeer::of(GtkWidget* widget) {
    for (GtkWidget* w = widget; w; w = gtk_widget_get_parent(w)) {
        if (auto* peer = static_cast<WidgetPeer*>(g_object_get_data(G_OBJECT(w), peerKey))) return peer;
    }
    return nullptr;
}

bool WidgetPeer::hasKeyboard() const {
    Window* window = control_.window();
    return window && window->firstResponder() == &control_;
}

void WidgetPeer::focus() {
    GtkWidget* target = focusTarget();
    if (!target || !gtk_widget_get_visible(widget_)) {
        focusPending_ = true;
        return;
    }
    focusPending_ = false;
    if (!gtk_widget_has_focus(target)) gtk_widget_grab_focus(target);
}

WidgetPeer::~WidgetPeer() {
    g_signal_handlers_disconnect_by_data(widget_, this);
    gtk_widget_destroy(widget_);
    g_object_unref(widget_);
    g_object_unref(css_);
    if (innerCss_) g_object_unref(innerCss_);
}

void WidgetPeer::setContainer(GtkWidget* container) {
    if (container == fixed_) return;
    if (gtk_widget_get_parent(widget_) == fixed_) gtk_container_remove(GTK_CONTAINER(fixed_), widget_);
    fixed_ = container;
    putWidget(fixed_, widget_, std::max(0, x_), std::max(0, y_));
    // Its place in the new container is set by the next place().
    x_ = y_ = -1;
}

void WidgetPeer::place(const gfx::Rect& topLeftFrame, bool visible) {
    const int x = static_cast<int>(std::lround(topLeftFrame.x)), y = static_cast<int>(std::lround(topLeftFrame.y));
    const int w = std::max(1, static_cast<int>(std::lround(topLeftFrame.width)));
    const int h = std::max(1, static_cast<int>(std::lround(topLeftFrame.height)));
    if (x != x_ || y != y_) moveWidget(fixed_, widget_, x, y);
    if (w != w_ || h != h_) gtk_widget_set_size_request(widget_, w, h);
    x_ = x, y_ = y, w_ = w, h_ = h;
    if (visible && !gtk_widget_get_visible(widget_)) gtk_widget_show_all(widget_);
    if (!visible && gtk_widget_get_visible(widget_)) gtk_widget_hide(widget_);
    afterPlace();
    // The window's first responder has the toolkit's keyboard once its widget shows.
    if (focusPending_ && visible) {
        focusPending_ = false;
        if (hasKeyboard()) focus();
    }
}

std::optional<gfx::Rect> WidgetPeer::shownFrame() const {
    if (!gtk_widget_get_visible(widget_) || !gtk_widget_get_mapped(widget_)) return std::nullopt;
    GtkWidget* top = gtk_widget_get_toplevel(widget_);
    int x = 0, y = 0;
    if (!top || !gtk_widget_translate_coordinates(widget_, top, 0, 0, &x, &y)) return std::nullopt;
    GtkAllocation allocation;
    gtk_widget_get_allocation(widget_, &allocation);
    return gfx::Rect{double(x), double(y), double(allocation.width), double(allocation.height)};
}

namespace {

// A provider on a widget styles that widget alone: the rules for its inner widgets (a pop-up's
// button) go to each of them.
void addProviderToDescendants(GtkWidget* widget, GtkCssProvider* css) {
    if (!GTK_IS_CONTAINER(widget)) return;
    gtk_container_forall(
        GTK_CONTAINER(widget),
        [](GtkWidget* child, gpointer data) {
            auto* provider = static_cast<GtkCssProvider*>(data);
            if (!g_object_get_data(G_OBJECT(child), "quiltdeck-css")) {
                gtk_style_context_add_provider(gtk_widget_get_style_context(child), GTK_STYLE_PROVIDER(provider),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
                g_object_set_data(G_OBJECT(child), "quiltdeck-css", provider);
            }
            addProviderToDescendants(child, provider);
        },
        css);
}

}  // namespace

void WidgetPeer::update() {
    gtk_widget_set_sensitive(widget_, control_.isEnabled());
    gtk_widget_set_tooltip_text(widget_, control_.toolTip().empty() ? nullptr : control_.toolTip().c_str());
    const std::string css = "* { padding: 0; margin: 0; min-height: 0; min-width: 0; }\n" + style();
    if (css != appliedCss_) {
        gtk_css_provider_load_from_data(css_, css.c_str(), -1, nullptr);
        appliedCss_ = css;
    }
    sync();
    const std::string inner = innerStyle();
    if (!inner.empty()) {
        if (!innerCss_) innerCss_ = gtk_css_provider_new();
        if (inner != appliedInnerCss_) {
            gtk_css_provider_load_from_data(innerCss_, inner.c_str(), -1, nullptr);
            appliedInnerCss_ = inner;
        }
        addProviderToDescendants(widget_, innerCss_);
    }
}

}  // namespace platform::ui::gtk
