#pragma once

#include "platform/ui/WebView.h"
#include "platform/ui/gtk/WidgetPeer.h"

namespace platform::ui::gtk {

// The toolkit's web view for a WebView, when the program is built with WebKitGTK; null without.
std::unique_ptr<WidgetPeer> makeWebViewPeer(WebView& view, GtkWidget* fixed);
// Whether the program has the engine.
bool webEngineBuiltIn();

}  // namespace platform::ui::gtk
