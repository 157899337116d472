#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/gfx/Rect.h"
#include "platform/ui/Events.h"

namespace platform::ui {

// A range of text in UTF-16 units, as input methods count; `notFound` as location means none.
struct TextRange {
    static constexpr size_t notFound = SIZE_MAX;
    size_t location = notFound;
    size_t length = 0;
    bool isNone() const { return location == notFound; }
    friend constexpr bool operator==(const TextRange&, const TextRange&) = default;
};

// What an input method talks to: the view that has the keyboard. Composed text arrives through
// insertText; text still being composed (preedit) through setMarkedText until it is committed or
// given up (unmarkText).
class TextInputClient {
public:
    virtual ~TextInputClient() = default;

    virtual void insertText(std::string_view utf8, TextRange replacementRange) = 0;
    // `selectedRange` is the input method's cursor inside the marked text.
    virtual void setMarkedText(std::string_view utf8, TextRange selectedRange, TextRange replacementRange) = 0;
    virtual void unmarkText() = 0;
    virtual bool hasMarkedText() const = 0;
    virtual TextRange markedRange() const = 0;
    virtual TextRange selectedRange() const = 0;
    // Where the text of the range is shown, in window points: the input method puts its candidate
    // window beside it.
    virtual gfx::Rect firstRectForCharacterRange(TextRange range) = 0;
};

// A window's input method: it sees every key the first responder hands it and the window's focus
// changes, and answers through the client it is given. The toolkit backend wraps the toolkit's
// input method; the headless one lets tests play an input method.
class TextInputContext {
public:
    virtual ~TextInputContext() = default;

    // The client that gets the text; null while the first responder takes no text.
    void setClient(TextInputClient* client);
    TextInputClient* client() const { return client_; }

    // Whether the input method took the key (its text, if any, has reached the client).
    virtual bool filterKeyEvent(const KeyEvent& event) = 0;
    virtual void focusIn() = 0;
    virtual void focusOut() = 0;
    // Drops a composition in progress.
    virtual void reset() = 0;
    // Where the client's cursor stands, in window points.
    virtual void setCursorLocation(const gfx::Rect& rect) = 0;

protected:
    virtual void clientChanged() {}

private:
    TextInputClient* client_ = nullptr;
};

}  // namespace platform::ui
