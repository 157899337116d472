#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quiltdeck {

// Turns a setup job's raw output into the lines shown under its step: split at
// every CR and LF, decoded as UTF-8 a whole line at a time (a character cut
// between two reads stays whole), cleaned of every escape sequence and control
// but tab, trimmed of blanks and tabs; empty results are dropped. An
// unfinished line that shows a ">" (a prompt waiting on the same line) comes
// out at once, and no line grows past `maxLine` bytes.
class JobLines {
public:
    static constexpr size_t maxLine = size_t{64} << 10;

    // The complete lines the bytes finish, in order.
    std::vector<std::string> absorb(std::string_view bytes);
    // The unfinished rest, as one more line (or none).
    std::vector<std::string> finish();

    // One line's bytes as shown: UTF-8 decoded (malformed sequences become
    // U+FFFD), escape sequences (CSI, OSC, DCS and the other strings, in their
    // 7- and 8-bit forms) and controls but tab removed, blanks and tabs trimmed.
    static std::string clean(std::string_view bytes);

    // The sign-in address in a cleaned line: from the first "https://" up to a
    // blank or a control, at most `maxURL` bytes, with a host. Nothing else.
    static constexpr size_t maxURL = 4096;
    static std::optional<std::string> loginURL(std::string_view line);

private:
    void emit(std::string_view bytes, std::vector<std::string>& into);

    std::string pending_;
};

}  // namespace quiltdeck
