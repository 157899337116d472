#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>

namespace quiltdeck {

// The command line, read before anything of the interface and with no display.
//
// Tool modes: "--write-iconset <folder>" writes the application icon set,
// "--write-mark-preview <file>" the preview of the mark styles (the icon set wins
// when both are given). A tool flag with nothing after it is no tool mode.
// "--help" (or "-h") prints the usage to `out`; "--version" the version.
//
// The exit code when the program should not start: 0 after a tool mode wrote its
// files or the usage or version was printed; 1 after writing "quiltdeck: cannot
// write <path>: <reason>" to `errors`; 2 for an option the program does not know,
// said on `errors`. Nothing when the program should start normally. `arguments`
// leaves out the program's own name; words after "--" are not options.
std::optional<int> runToolMode(std::span<const std::string> arguments, std::ostream& out, std::ostream& errors);

// What "--help" prints: the modes, the options and the variables the program reads.
std::string usageText();

}  // namespace quiltdeck
