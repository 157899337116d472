#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/ui/Pasteboard.h"

typedef struct _GdkAtom* GdkAtom;

namespace platform::ui::gtk {

// Reads one target of the CLIPBOARD selection from its owner as the owner hands it over: on X11
// each part of an incremental transfer comes on a turn of the main loop of its own, so a copy of
// hundreds of megabytes never arrives (or is let go of) in one piece. Elsewhere, and from a window
// of this process, the toolkit's read, whole. An owner that says nothing for `idleLimitSeconds`
// breaks off the read.
class SelectionReader {
public:
    enum class Outcome { whole, refused, cutShort };
    struct Handler {
        std::function<void(std::string)> piece;
        std::function<void(Outcome)> end;
    };
    static constexpr int idleLimitSeconds = 10;

    // Reads `target`; past `limit` bytes it stops and ends `cutShort`.
    static void read(GdkAtom target, size_t limit, Handler handler);
};

// Pasteboard::general() on the CLIPBOARD selection. A change of owner only forgets what was known;
// the content is read when a paste asks for it, in pieces (SelectionReader).
std::unique_ptr<Pasteboard::Backend> makeClipboardBackend(Pasteboard& board);

}  // namespace platform::ui::gtk
