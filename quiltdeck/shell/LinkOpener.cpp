#include "quiltdeck/shell/LinkOpener.h"

#include "platform/ui/Workspace.h"
#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {

using platform::ui::LinkDecision;
using platform::ui::Workspace;

void LinkOpener::follow(const LinkDecision& decision, platform::ui::Window* over) {
    switch (decision.action) {
        case LinkDecision::Action::open: Workspace::open(decision.target); break;
        case LinkDecision::Action::reveal: Workspace::reveal(decision.target); break;
        case LinkDecision::Action::ask: {
            const std::string url = decision.target;
            question(url).present(over, [url](int button) {
                if (button == openButton) Workspace::open(url);
            });
            break;
        }
        case LinkDecision::Action::refuse: break;
    }
}

platform::ui::Alert LinkOpener::question(const std::string& link) {
    platform::ui::Alert alert;
    alert.messageText = t("link_ask_title");
    alert.informativeText = platform::ui::LinkPolicy::displayText(link) + "\n\n" + t("link_ask_note");
    alert.style = platform::ui::Alert::Style::warning;
    // Cancel first: the default button, so Return leaves the link unopened, as Escape does.
    alert.buttons = {t("cancel"), t("link_ask_open")};
    return alert;
}

}  // namespace quiltdeck
