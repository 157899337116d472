#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "platform/ui/Pasteboard.h"

typedef struct _GdkAtom* GdkAtom;

namespace platform::ui::gtk {

// Reads one target of the CLIPBOARD selection from its owner as the owner hands it over: on X11
// each part of an incremental transfer comes on a turn of the main loop of its own, so a copy of
// hundreds of megabytes never arrives (or is let go of) in one piece. From a window of this
// process, the toolkit's read, whole. Every step is bounded, so a hung owner never holds a paste,
// and a slow one that works still gets through: no first answer within `stepLimitSeconds` ends the
// read `noAnswer`, no next part within it ends it `stopped`, an owner whose program ends part-way
// ends it `gone`.
class SelectionReader {
public:
    enum class Outcome { whole, refused, noAnswer, stopped, gone, tooLarge };
    struct End {
        Outcome outcome = Outcome::whole;
        // What the owner said it holds (at least) before sending it.
        std::optional<size_t> size;
    };
    struct Handler {
        std::function<void(std::string)> piece;
        std::function<void(End)> end;
        // The type the owner gave its answer (a target asked for as TEXT comes as one of the text
        // types), once, before the first piece; may be empty.
        std::function<void(std::string)> type = {};
    };
    // The limit of each step: the owner's targets, its first answer, each later part.
    static constexpr int stepLimitSeconds = 10;

    // Reads `target`; a content known to pass `limit` bytes is refused before any of it comes,
    // one found to pass it part-way stops there; both end `tooLarge`. The result, when called,
    // lets the transfer go (the owner is asked for nothing more) without a word to `handler`.
    static Pasteboard::CancelRead read(GdkAtom target, size_t limit, Handler handler);
};

// Pasteboard::general() on the CLIPBOARD selection. A change of owner only forgets what was known;
// the content is read when a paste asks for it, in pieces (SelectionReader on X11, a pipe of our
// own on Wayland), with the same limits on every path.
std::unique_ptr<Pasteboard::Backend> makeClipboardBackend(Pasteboard& board);

}  // namespace platform::ui::gtk
