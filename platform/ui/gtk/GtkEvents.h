#pragma once

#include <gdk/gdk.h>

#include <string>

#include "platform/ui/Events.h"

namespace platform::ui::gtk {

// GDK's events as neutral ones. Window points have y up: `height` is the window's.
Key keyFromKeyval(guint keyval);
ModifierFlags modifiersFromState(guint state);
// The modifiers after a modifier key's own press or release (GDK reports the state before it).
ModifierFlags modifiersAfter(Key key, bool pressed, ModifierFlags before);
KeyEvent keyEventFrom(const GdkEventKey& event, bool isRepeat);
std::string utf8FromKeyval(guint keyval);

}  // namespace platform::ui::gtk
