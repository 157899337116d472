// Copy, paste and select all, and which menu commands the view can do now.
#include <cstdio>

#include "platform/ui/Pasteboard.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

using platform::ui::Pasteboard;

void TerminalView::copy() {
    const std::string text = selection_->active() ? selection_->getSelectedText() : std::string();
    Pasteboard& board = Pasteboard::general();
    board.clearContents();
    board.setString(text);
}

void TerminalView::paste() {
    // The clipboard may belong to another program: the text is pasted when it arrives, and the
    // main loop runs on meanwhile.
    std::weak_ptr<int> alive = lifetime_;
    Pasteboard::general().requestString([this, alive](std::optional<std::string> text) {
        if (!alive.expired()) insertText(text.value_or(std::string()), TextRange{}, true);
    });
}

bool TerminalView::validateUserInterfaceItem(const UserInterfaceItem& item) {
    const int tag = item.tag;
    if (item.action == "performFindPanelAction:") {
        if (tag == findTagSetSearchString) return selection_->active();
        return tag == findTagShow || tag == findTagNext || tag == findTagPrevious;
    }
    if (item.action == "performTextFinderAction:") {
        if (tag == findTagSetSearchString) return selection_->active();
        return tag == findTagShow || tag == findTagNext || tag == findTagPrevious || tag == findTagHide || tag == 12 ||
               tag == 13;
    }
    if (item.action == "paste:" || item.action == "selectAll:") return true;
    if (item.action == "copy:") return selection_->active();
    const std::string& description = item.description.empty() ? item.action : item.description;
    std::printf("Validating User Interface Item: %s\n", description.c_str());
    std::fflush(stdout);
    return false;
}

bool TerminalView::performMenuAction(const UserInterfaceItem& item) {
    if (!validateUserInterfaceItem(item)) return false;
    if (item.action == "copy:") {
        copy();
    } else if (item.action == "paste:") {
        paste();
    } else if (item.action == "selectAll:") {
        selectAll();
        setNeedsDisplay();
    } else if (item.action == "performFindPanelAction:") {
        performFindPanelAction(item.tag);
    } else if (item.action == "performTextFinderAction:") {
        performTextFinderAction(item.tag);
    }
    return true;
}

}  // namespace vantel
