#pragma once

#include <optional>
#include <string>

#include "platform/ui/Alert.h"

namespace quiltdeck {

class Store;

// What the window says for as long as the state file is left alone (the store read-only): the
// file's path and why, in the interface language. None while the store saves.
class StateNotice {
public:
    StateNotice() = delete;

    // "~/.quiltdeck/state.json cannot be read (no permission)."
    static std::optional<std::string> reason(const Store& store);
    // The top bar's line: that changes are not saved, and the reason.
    static std::optional<std::string> line(const Store& store);
    // The alert at launch: the reason, and what it means for the run.
    static std::optional<platform::ui::Alert> alert(const Store& store);
};

}  // namespace quiltdeck
