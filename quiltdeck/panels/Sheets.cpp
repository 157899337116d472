#include "quiltdeck/panels/Sheets.h"

#include <map>
#include <string>

#include "platform/ui/Window.h"

namespace quiltdeck {

namespace {

// By the panel's identity, not its contents.
std::map<const platform::ui::Window*, std::shared_ptr<void>>& owners() {
    static std::map<const platform::ui::Window*, std::shared_ptr<void>> kept;
    return kept;
}

}  // namespace

void Sheets::present(platform::ui::Window& panel, platform::ui::Window& window, std::shared_ptr<void> owner,
                     std::function<void(int)> completion) {
    panel.setIdentifier(std::string(identifier));
    if (platform::ui::Window* shown = window.attachedSheet()) window.endSheet(*shown, platform::ui::Window::cancelled);
    owners()[&panel] = std::move(owner);
    const platform::ui::Window* key = &panel;
    window.beginSheet(panel, [key, completion = std::move(completion)](int response) {
        // The owner goes after this call: the panel may be its own.
        std::shared_ptr<void> leaving;
        if (auto found = owners().find(key); found != owners().end()) {
            leaving = std::move(found->second);
            owners().erase(found);
        }
        if (completion) completion(response);
    });
}

double Sheets::maximumHeight(const platform::ui::Window& window) { return window.size().height; }

bool Sheets::owns(const platform::ui::Window& panel) { return owners().contains(&panel); }

size_t Sheets::ownerCount() { return owners().size(); }

}  // namespace quiltdeck
