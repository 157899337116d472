#pragma once

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
};

}  // namespace quiltdeck
