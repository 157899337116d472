#pragma once

#include <gtk/gtk.h>

#include <string>

#include "platform/gfx/Image.h"
#include "platform/gfx/InterfaceFont.h"
#include "platform/gfx/Rect.h"
#include "platform/gfx/Rgba.h"
#include "platform/ui/Control.h"

namespace platform::ui::gtk {

// CSS values of our colours and fonts (pixels, as one point is one pixel at scale 1).
std::string cssColour(const gfx::Rgba& colour);
std::string cssFont(const gfx::InterfaceFont& font);
// A premultiplied image as a straight-alpha pixbuf; null for an empty one. The caller owns it.
GdkPixbuf* pixbufOf(const gfx::Image& image);
// Interface text laid out as the measure lays it out: no hinting of metrics or outlines.
void setInterfaceFontOptions(GtkWidget* widget);

// Puts a widget into, or moves it within, a container of controls: a GtkFixed or a GtkLayout.
void putWidget(GtkWidget* container, GtkWidget* widget, int x, int y);
void moveWidget(GtkWidget* container, GtkWidget* widget, int x, int y);

// A toolkit widget that shows one control, in the window's GtkFixed of controls or a container
// inside it (ControlHost).
class WidgetPeer : public ControlPeer {
public:
    WidgetPeer(Control& control, GtkWidget* fixed, GtkWidget* widget);
    ~WidgetPeer() override;

    // The toolkit's widget (for tests that look at what it shows).
    GtkWidget* widget() const { return widget_; }
    // The container the widget stands in; a new one takes it over.
    GtkWidget* container() const { return fixed_; }
    void setContainer(GtkWidget* container);
    // Moves the widget to the control's frame (top-left origin, the container's points) and shows
    // or hides it.
    void place(const gfx::Rect& topLeftFrame, bool visible);
    void update() override;
    std::optional<gfx::Rect> shownFrame() const override;
    // The control became its window's first responder: its widget takes the toolkit's keyboard,
    // at once or when it shows.
    void focus() override;
    // The toolkit's keyboard went to `widget`, this peer's widget or one inside it.
    virtual void focusMovedTo(GtkWidget* /*widget*/) {}
    Control& control() const { return control_; }
    // The peer whose widget is `widget` or holds it; null for none.
    static WidgetPeer* of(GtkWidget* widget);

protected:
    // The widget's own properties from the control's.
    virtual void sync() = 0;
    // CSS for the widget beyond the common rules.
    virtual std::string style() const { return {}; }
    // CSS for the widgets inside it, which its own rules do not reach.
    virtual std::string innerStyle() const { return {}; }
    virtual void afterPlace() {}
    // The widget inside that takes the keyboard (a segment's button, a list's selected row).
    virtual GtkWidget* focusTarget() { return widget_; }
    bool hasKeyboard() const;

    // Signals the peer sends while it copies the control's state are not the user's doing.
    struct Quiet {
        explicit Quiet(bool& flag) : flag_(flag) { flag_ = true; }
        ~Quiet() { flag_ = false; }
        bool& flag_;
    };

    Control& control_;
    GtkWidget* fixed_;
    GtkWidget* widget_;
    GtkCssProvider* css_;
    bool syncing_ = false;
    int x_ = -1, y_ = -1, w_ = -1, h_ = -1;

private:
    std::string appliedCss_;
    GtkCssProvider* innerCss_ = nullptr;
    std::string appliedInnerCss_;
    // The control asked for the keyboard (or may have, before the widget was made) while the
    // widget was not shown.
    bool focusPending_ = true;
};

}  // namespace platform::ui::gtk
