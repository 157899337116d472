#include "quiltdeck/app/ToolModes.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>

#include "quiltdeck/panels/IconWriter.h"
#include "quiltdeck/panels/Mark.h"
#include "quiltdeck/shell/AppVersion.h"

namespace quiltdeck {

namespace {

constexpr std::array<std::string_view, 2> toolFlags = {"--write-iconset", "--write-mark-preview"};
constexpr std::array<std::string_view, 3> plainFlags = {"--help", "-h", "--version"};

// The argument after the first occurrence of the flag.
std::optional<std::string> valueOf(std::span<const std::string> arguments, std::string_view flag) {
    const auto it = std::find(arguments.begin(), arguments.end(), flag);
    if (it == arguments.end() || it + 1 == arguments.end()) return std::nullopt;
    return *(it + 1);
}

bool isOneOf(std::string_view word, std::span<const std::string_view> words) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// The first word that looks like an option and is none of ours; a tool flag's value is no option.
std::optional<std::string> unknownOption(std::span<const std::string> arguments) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--") break;
        if (isOneOf(word, toolFlags)) {
            ++i;
            continue;
        }
        if (word.size() > 1 && word[0] == '-' && !isOneOf(word, plainFlags)) return word;
    }
    return std::nullopt;
}

bool has(std::span<const std::string> arguments, std::string_view flag) {
    const auto end = std::find(arguments.begin(), arguments.end(), "--");
    for (auto it = arguments.begin(); it != end; ++it) {
        if (isOneOf(*it, toolFlags) && it + 1 != end) ++it;
        else if (*it == flag) return true;
    }
    return false;
}

int finish(const std::optional<FileWriteError>& error, std::ostream& errors) {
    if (!error) return 0;
    errors << "quiltdeck: " << error->message() << "\n";
    return 1;
}

}  // namespace

std::string usageText() {
    return "Usage: quiltdeck [--help | --version]\n"
           "       quiltdeck --write-iconset FOLDER\n"
           "       quiltdeck --write-mark-preview FILE\n"
           "\n"
           "Runs Claude Code sessions side by side, each in a terminal tile on a wall, in a\n"
           "window on the desktop (X11 or Wayland). A second start brings the running one to\n"
           "the front.\n"
           "\n"
           "Tool modes (no display needed; each writes its files and exits):\n"
           "  --write-iconset FOLDER      the application icon set, ten PNG files\n"
           "  --write-mark-preview FILE   a PNG preview of the mark styles\n"
           "\n"
           "Options:\n"
           "  -h, --help                  show this help and exit\n"
           "  --version                   show the version and exit\n"
           "\n"
           "Environment:\n"
           "  QUILTDECK_STATE_DIR         the state folder instead of ~/.quiltdeck; a program\n"
           "                              on a folder of its own runs beside the usual one\n"
           "  QUILTDECK_OPEN              folders to open as tiles, separated by commas,\n"
           "                              instead of the tiles saved at the last quit\n"
           "  QUILTDECK_SNAPSHOT          write a PNG of the window to this file, then quit\n"
           "  QUILTDECK_SNAPSHOT_DELAY    seconds before that picture (6 when not set)\n"
           "  QUILTDECK_SNAPSHOT_ACTION   login, zoom or tabs: a step taken before it\n";
}

std::optional<int> runToolMode(std::span<const std::string> arguments, std::ostream& out, std::ostream& errors) {
    if (const auto option = unknownOption(arguments)) {
        errors << "quiltdeck: unknown option " << *option << "\n"
               << "Try 'quiltdeck --help' for what the program accepts.\n";
        return 2;
    }
    if (has(arguments, "--help") || has(arguments, "-h")) {
        out << usageText();
        return 0;
    }
    if (has(arguments, "--version")) {
        out << "quiltdeck " << AppVersion::shortVersion() << "\n";
        return 0;
    }
    if (const auto folder = valueOf(arguments, "--write-iconset"))
        return finish(IconWriter::write(std::filesystem::path(*folder)), errors);
    if (const auto file = valueOf(arguments, "--write-mark-preview"))
        return finish(Mark::writePreview(std::filesystem::path(*file)), errors);
    return std::nullopt;
}

}  // namespace quiltdeck
