#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>

namespace quiltdeck {

// The command-line tool modes, run before anything of the interface and with no
// display: "--write-iconset <folder>" writes the application icon set,
// "--write-mark-preview <file>" the preview of the mark styles (the icon set wins
// when both are given). A flag with nothing after it is no tool mode.
//
// The exit code when a tool mode ran: 0 when it wrote its files, 1 after writing
// "quiltdeck: cannot write <path>: <reason>" to `errors`. Nothing when the program
// should start normally. `arguments` leaves out the program's own name.
std::optional<int> runToolMode(std::span<const std::string> arguments, std::ostream& errors);

}  // namespace quiltdeck
