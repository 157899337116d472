#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/TextInput.h"

namespace platform::ui::headless {

// An input method without a toolkit: it takes no key unless a test says so (onKey), and a test
// plays its signals (commit, preedit, endPreedit) towards the client. It records what it was fed.
class HeadlessTextInputContext : public TextInputContext {
public:
    std::function<bool(const KeyEvent&)> onKey;

    bool filterKeyEvent(const KeyEvent& event) override {
        keysSeen.push_back(event);
        return onKey ? onKey(event) : false;
    }
    void focusIn() override {
        focused = true;
        ++focusChanges;
    }
    void focusOut() override {
        focused = false;
        ++focusChanges;
    }
    void reset() override { ++resets; }
    void setCursorLocation(const gfx::Rect& rect) override { cursorLocation = rect; }

    void commit(std::string_view text) {
        if (client()) client()->insertText(text, TextRange{});
    }
    void preedit(std::string_view text, size_t cursor) {
        if (client()) client()->setMarkedText(text, TextRange{cursor, 0}, TextRange{});
    }
    void endPreedit() {
        if (client()) client()->unmarkText();
    }

    std::vector<KeyEvent> keysSeen;
    bool focused = false;
    int focusChanges = 0;
    int resets = 0;
    gfx::Rect cursorLocation;
};

}  // namespace platform::ui::headless
