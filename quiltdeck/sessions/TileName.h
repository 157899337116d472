#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quiltdeck {

// The words a tile is shown by on its card and in the history, in the current language: what is
// stored stays the same in every language ("shell", a folder's name), and a language switch
// shows it in the new one.
class TileName {
public:
    TileName() = delete;

    // A title: a shell's "shell" (New Shell's, stored as the word itself) in the current language.
    static std::string title(std::string_view title, bool shell);
    // A name: a shell in the home folder is the shell, however it was named (New Shell names it
    // "shell", a restored one its folder's name); any other shell is its name marked as a shell.
    static std::string name(std::string_view name, std::string_view cwd, bool shell, std::string_view home);
    // What a tile, its ended card and its history row are shown by: its title, else its name as
    // `name` gives it, else its folder's name (a record whose title and name were set aside).
    static std::string shown(std::string_view title, std::string_view name, std::string_view cwd, bool shell,
                             std::string_view home);
    // The words of a prompt that name a tile: text the assistant took as a paste comes wrapped
    // (`<pasted_content id="f1ad">` … `</pasted_content>`) and stands for its text alone. None
    // when nothing but white space and wrappers is left.
    static std::optional<std::string> promptWords(std::string_view prompt);
};

}  // namespace quiltdeck
