#pragma once

#include <string>

#include "platform/ui/Alert.h"
#include "platform/ui/LinkPolicy.h"

namespace platform::ui {
class Window;
}

namespace quiltdeck {

// Carries out what the link rules decided for a link the user followed (in a tile or in the
// reader): a link that opens goes to the desktop's default handler, a file that could run is
// shown in its folder, and a link of another application's scheme is handed on only when the
// user chooses Open in a dialog over `over` that shows the whole link, Cancel being the default.
// A refused link does nothing here: its caller logs it as it sees fit. Main thread.
class LinkOpener {
public:
    LinkOpener() = delete;

    static void follow(const platform::ui::LinkDecision& decision, platform::ui::Window* over);
    // The question asked before `link` goes to another application; button 1 opens it.
    static platform::ui::Alert question(const std::string& link);
    static constexpr int openButton = 1;
};

}  // namespace quiltdeck
