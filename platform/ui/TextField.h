#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gfx/InterfaceFont.h"
#include "platform/ui/Control.h"
#include "platform/ui/RichText.h"
#include "platform/ui/TextInput.h"

namespace platform::ui {

// One line of editable text (the toolkit's entry): a text, a placeholder shown while it is empty,
// its font and colour, and a frame and background that a search field goes without. The user's
// edits reach onTextChange one by one; the action runs when the text is committed: Return, or
// the field giving up the keyboard with a text that changed since the last commit. Key commands
// (Return, Tab, Shift+Tab, Escape, the up and down arrows) go to onCommand first. Positions are
// in characters (code points), as the toolkit's entry counts them.
class TextField : public Control {
public:
    enum class Command { insertNewline, insertTab, insertBacktab, cancelOperation, moveUp, moveDown };

    explicit TextField(const Rect& frame = {});

    const std::string& stringValue() const { return text_; }
    // The program's own change: no onTextChange, no commit; the caret goes to the end.
    void setStringValue(std::string text);
    const std::string& placeholder() const { return placeholder_; }
    void setPlaceholder(std::string placeholder);
    // None: the toolkit's (a grey that may read faintly on the field's ground).
    const std::optional<gfx::Rgba>& placeholderColor() const { return placeholderColor_; }
    void setPlaceholderColor(std::optional<gfx::Rgba> color);
    const gfx::InterfaceFont& font() const { return font_; }
    void setFont(gfx::InterfaceFont font);
    // None: the toolkit's.
    const std::optional<gfx::Rgba>& textColor() const { return textColor_; }
    void setTextColor(std::optional<gfx::Rgba> color);
    // A frameless field draws no border and no background of its own.
    bool isBordered() const { return bordered_; }
    void setBordered(bool bordered);
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool draws);
    bool showsFocusRing() const { return focusRing_; }
    void setShowsFocusRing(bool shows);
    bool isEditable() const { return editable_; }
    void setEditable(bool editable);

    // The caret (length 0) or the selected characters.
    TextRange selectedRange() const { return selection_; }
    // Clamped to the text.
    void setSelectedRange(TextRange range);
    size_t characterCount() const;
    // Whether the user edits in it now (it has the keyboard).
    bool isEditing() const { return editing_; }

    // Told after each edit of the user.
    std::function<void(TextField&)> onTextChange;
    // A key command; true when it was taken. What is not taken: Return commits, the rest goes on.
    std::function<bool(TextField&, Command)> onCommand;
    // The field gave up the keyboard (after its commit, if any), for whatever reason.
    std::function<void(TextField&)> onEndEditing;

    // The user's use of the field, as the toolkit reports it (tests call them as a user would).
    // Typing replaces the selection, then the caret stands after the typed text.
    void typeText(std::string_view text);
    void deleteBackward();
    // The entry holds a new text and caret after an edit of the user.
    void userEdited(std::string text, TextRange selection);
    // The caret or the selection moved without an edit.
    void userSelected(TextRange selection);
    // The field took or gave up the keyboard. Giving it up with a changed text commits.
    void userBeganEditing();
    void userEndedEditing();
    // A command key: onCommand first; an untaken Return commits. True when something took it.
    bool userCommand(Command command);
    // Runs the action with the text as it stands and remembers it as committed.
    bool commit();

    bool acceptsFirstResponder() const override { return editable_ && isEnabled(); }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void keyDown(const KeyEvent& event) override;
    void mouseDown(const MouseEvent& event) override;
    std::optional<std::string> cursorName() const override { return std::string("text"); }

    Size fittingSize() const override;
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

private:
    RichText shownText() const;
    // The byte offset of a character position.
    size_t byteOffset(size_t characters) const;

    std::string text_;
    std::string committed_;
    std::string placeholder_;
    std::optional<gfx::Rgba> placeholderColor_;
    gfx::InterfaceFont font_;
    std::optional<gfx::Rgba> textColor_;
    bool bordered_ = true;
    bool drawsBackground_ = true;
    bool focusRing_ = true;
    bool editable_ = true;
    TextRange selection_{0, 0};
    bool editing_ = false;
};

}  // namespace platform::ui
