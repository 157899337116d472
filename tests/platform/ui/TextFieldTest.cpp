#include <gtest/gtest.h>

#include "platform/ui/TextField.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;

namespace {

KeyEvent key(Key which, ModifierFlags modifiers = 0, std::string characters = "") {
    KeyEvent event;
    event.key = which;
    event.modifiers = modifiers;
    event.characters = std::move(characters);
    return event;
}

}  // namespace

// Typing replaces the selection and leaves the caret after it, in characters; every edit of the
// user is told, the program's own change is not.
TEST(TextField, TypingEditsAtTheCaretInCharacters) {
    TextField field;
    int changes = 0;
    field.onTextChange = [&](TextField&) { ++changes; };
    field.setStringValue("héllo");
    EXPECT_EQ(field.selectedRange(), (TextRange{5, 0}));
    EXPECT_EQ(changes, 0);
    field.setSelectedRange({1, 3});
    field.typeText("ö");
    EXPECT_EQ(field.stringValue(), "höo");
    EXPECT_EQ(field.selectedRange(), (TextRange{2, 0}));
    field.deleteBackward();
    EXPECT_EQ(field.stringValue(), "ho");
    field.setSelectedRange({0, 0});
    field.deleteBackward();
    EXPECT_EQ(field.stringValue(), "ho");
    EXPECT_EQ(changes, 2);
    // Out of range clamps; invalid UTF-8 becomes U+FFFD.
    field.setSelectedRange({9, 9});
    EXPECT_EQ(field.selectedRange(), (TextRange{2, 0}));
    field.setStringValue("a\xff");
    EXPECT_EQ(field.stringValue(), "a\xef\xbf\xbd");
    EXPECT_EQ(field.characterCount(), 2u);
}

// Keys become commands for the owner first; an untaken Return commits, the rest goes on.
TEST(TextField, KeysBecomeCommands) {
    struct Case {
        KeyEvent event;
        TextField::Command command;
    } cases[] = {
        {key(Key::returnKey), TextField::Command::insertNewline},
        {key(Key::keypadEnter), TextField::Command::insertNewline},
        {key(Key::tab), TextField::Command::insertTab},
        {key(Key::tab, Modifier::shift), TextField::Command::insertBacktab},
        {key(Key::escape), TextField::Command::cancelOperation},
        {key(Key::up), TextField::Command::moveUp},
        {key(Key::down), TextField::Command::moveDown},
    };
    for (const Case& c : cases) {
        TextField field;
        std::vector<TextField::Command> seen;
        field.onCommand = [&](TextField&, TextField::Command command) {
            seen.push_back(command);
            return true;
        };
        int commits = 0;
        field.setAction([&](Control&) { ++commits; });
        field.keyDown(c.event);
        EXPECT_EQ(seen, std::vector<TextField::Command>{c.command});
        EXPECT_EQ(commits, 0);
        field.onCommand = nullptr;
        field.keyDown(c.event);
        EXPECT_EQ(commits, c.command == TextField::Command::insertNewline ? 1 : 0);
    }
    TextField field;
    field.keyDown(key(Key::character, 0, "a"));
    field.keyDown(key(Key::character, Modifier::control, "b"));
    field.keyDown(key(Key::left));
    field.keyDown(key(Key::character, 0, "c"));
    EXPECT_EQ(field.stringValue(), "ca");
}

// Leaving the field commits only a text that changed since the last commit or the program's
// last value.
TEST(TextField, LeavingCommitsAChangedText) {
    headless::HeadlessWindow window({100, 100}, 1);
    View content({0, 0, 100, 100});
    window.setContentView(&content);
    TextField field({0, 0, 80, 20}), other({0, 30, 80, 20});
    content.addSubview(&field);
    content.addSubview(&other);
    std::vector<std::string> commits;
    int ends = 0;
    field.setAction([&](Control& sender) { commits.push_back(static_cast<TextField&>(sender).stringValue()); });
    field.onEndEditing = [&](TextField&) {
        ++ends;
        EXPECT_FALSE(field.isEditing());
    };
    field.setStringValue("kept");
    for (const char* typed : {"", "x"}) {
        ASSERT_TRUE(window.makeFirstResponder(&field));
        EXPECT_TRUE(field.isEditing());
        field.typeText(typed);
        window.makeFirstResponder(&other);
        EXPECT_FALSE(field.isEditing());
    }
    EXPECT_EQ(commits, std::vector<std::string>{"keptx"});
    window.makeFirstResponder(&field);
    window.sendKeyEvent(key(Key::returnKey));
    window.makeFirstResponder(&other);
    EXPECT_EQ(commits, (std::vector<std::string>{"keptx", "keptx"}));
    // Every end of editing is told, with or without a commit.
    EXPECT_EQ(ends, 3);
    field.setEditable(false);
    EXPECT_FALSE(window.makeFirstResponder(&field));
    window.setContentView(nullptr);
}
