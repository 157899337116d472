#pragma once

#include <optional>
#include <string>

#include "platform/ui/Alert.h"

namespace quiltdeck {

class Store;

// What the window says for as long as the state file is left alone (the store read-only), for
// the run that started afresh after the file could not be decoded and was set aside, or for the
// run that left out records it could not read (kept in a copy): the file's path and why (and
// where the copy is), in the interface language. None otherwise.
class StateNotice {
public:
    StateNotice() = delete;

    // "~/.quiltdeck/state.json cannot be read (no permission)."
    // "~/.quiltdeck/state.json is damaged and was set aside as ~/.quiltdeck/state.json.broken-…."
    // "~/.quiltdeck/state.json is damaged and could not be set aside (the disk is full)."
    // "~/.quiltdeck/state.json holds entries that could not be read, and no copy of the file as it
    //  was could be made (the disk is full)."
    // "~/.quiltdeck/state.json holds entries that could not be read; the file as it was is kept as …."
    static std::optional<std::string> reason(const Store& store);
    // The top bar's line: that changes are not saved, that the run started afresh, or that some
    // entries were left out, and the reason.
    static std::optional<std::string> line(const Store& store);
    // The top bar's line while the store's saves fail: that changes are not being saved, why (a
    // full disk, or a damaged file that waits for its copy, and why that fails), and that it keeps
    // trying. None while they work.
    static std::optional<std::string> saveLine(const Store& store);
    // The same cause first and in a word or two, so that a small screen's bar shows it whole:
    // "Not saved: disk full", or "Changes not saved" for an uncommon cause. None while saves work.
    static std::optional<std::string> briefSaveLine(const Store& store);
    // The line in a word or two where the run saves as usual ("Started afresh", "Some entries left
    // out"), so that a small screen's bar shows it; the whole line is then its tool tip. None
    // otherwise (a read-only store's line is said whole by the alert at launch).
    static std::optional<std::string> briefLine(const Store& store);
    // The alert at launch: the reason, and what it means for the run. None for entries left out.
    static std::optional<platform::ui::Alert> alert(const Store& store);
    // What a quit now loses, for the quit question: while saves fail, the last changes and why;
    // for a read-only store, everything of the run and why. None while saves work.
    static std::optional<std::string> lostAtQuit(const Store& store);
};

}  // namespace quiltdeck
