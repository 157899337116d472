#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/gtk/SelectionTransfer.h"

namespace platform::ui::gtk {

// Reads the CLIPBOARD selection on X11 (or through the toolkit where our own reader does not
// reach) as its owner hands it over: each part of an incremental transfer comes on a turn of the
// main loop of its own, so a copy of hundreds of megabytes never arrives (or is let go of) in one
// piece. From a window of this process, the toolkit's read, whole. Steps are bounded as a
// SelectionTransfer's; an owner whose program ends part-way ends the read `gone`; an answer of a
// type that was not asked for is refused at once (`wrongType`), said in one line of the log,
// before any of it is read.
class SelectionReader {
public:
    using Outcome = SelectionTransfer::Outcome;
    using End = SelectionTransfer::End;
    using Handler = SelectionTransfer::Handler;
    static constexpr int stepLimitSeconds = SelectionTransfer::stepLimitSeconds;
    // An owner's list of targets is read up to this many; a longer one is not read at all.
    static constexpr size_t targetsLimit = 16384;

    // The text types this program reads, best first.
    static const std::vector<std::string>& textTypes();
    // The targets this program reads: its text types, then URI lists and pictures.
    static const std::vector<std::string>& knownTargets();
    // Whether anybody holds the CLIPBOARD: the program that copied may have quit, leaving nothing.
    // Off X11 the toolkit cannot tell, and it is taken as held.
    static bool owned();

    // The owner's targets among knownTargets(), or none when it would not name them (it refused,
    // or its list passes targetsLimit: its targets are then asked in turn), else how asking ended.
    // The names of targets this program does not know are never asked for.
    using TargetsNext = std::function<void(std::optional<std::vector<std::string>>, Outcome)>;
    static Pasteboard::CancelRead targets(TargetsNext next);
    // Reads `target`; a content known to pass `limit` bytes is refused before any of it comes,
    // one found to pass it part-way stops there; both end `tooLarge`. The result, when called,
    // lets the transfer go (the owner is asked for nothing more) without a word to `handler`.
    static Pasteboard::CancelRead read(const std::string& target, size_t limit, Handler handler);
};

}  // namespace platform::ui::gtk
