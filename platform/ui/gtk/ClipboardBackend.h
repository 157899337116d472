#pragma once

#include <memory>

#include "platform/ui/Pasteboard.h"
#include "platform/ui/gtk/SelectionReader.h"

namespace platform::ui::gtk {

// Pasteboard::general() on the CLIPBOARD selection. A change of owner only forgets what was known;
// the content is read when a paste asks for it, in pieces (SelectionReader on X11, a pipe of our
// own on Wayland), with the same limits, read-ahead and cancel on every path.
std::unique_ptr<Pasteboard::Backend> makeClipboardBackend(Pasteboard& board);

}  // namespace platform::ui::gtk
