#include "platform/ui/Workspace.h"

namespace platform::ui {

namespace {

Workspace::Opener& opener() {
    static Workspace::Opener installed;
    return installed;
}

}  // namespace

void Workspace::setOpener(Opener o) { opener() = std::move(o); }

bool Workspace::open(const std::string& url) { return opener() ? opener()(url) : false; }

}  // namespace platform::ui
