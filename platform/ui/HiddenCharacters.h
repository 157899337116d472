#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace platform::ui {

// Characters that would not show as themselves, or would change how the text around them shows:
// controls (C0, C1, DEL), format characters (the bidirectional controls and isolates, zero-width
// spaces and joiners, the byte-order mark, tags), line and paragraph separators. A text someone
// else wrote (a link, a program's title, a folder's name) can hold them to pass for another:
// "invoice_<U+202E>gpj.exe" shows as "invoice_exe.jpg".
class HiddenCharacters {
public:
    HiddenCharacters() = delete;

    static bool isHidden(char32_t c);

    // What each character of the text shows as, in order: itself, or spelt out (C0 controls and
    // DEL as their control pictures, every other hidden character as "<U+XXXX>", each byte that is
    // not UTF-8 as "\xNN"). A zero-width joiner between two pictographs stays itself: with them it
    // draws one picture.
    static void forEachShown(std::string_view text, const std::function<void(std::string_view piece)>& piece);
    // The pieces joined: the text as a label or a dialog shows it.
    static std::string spelledOut(std::string_view text);
    // The text with its hidden characters left out, for a text a program hands over to be shown as
    // a title: tabs, line breaks and the separators become spaces (words stay apart), bytes that
    // are not UTF-8 go too, and a joiner between two pictographs stays.
    static std::string dropped(std::string_view text);
};

}  // namespace platform::ui
