#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace platform::ui {

// Where a link the user follows was found. Both are text that someone else wrote: any program
// can print a link in a terminal, any page can hold one.
enum class LinkOrigin { terminal, webPage };

// What is done with a link the user follows.
struct LinkDecision {
    enum class Action {
        // Handed to the desktop's default handler: a web page, a mail, a plain file or a folder.
        open,
        // A file that could run something when opened: shown selected in its folder instead.
        reveal,
        // A scheme that some other application claims: handed on only once the user agrees.
        ask,
        // Never: scripts, inline data, control characters, malformed links, missing files.
        refuse,
    };
    Action action = Action::refuse;
    // For open and ask, the URL to hand on; for reveal, the file's path with its links resolved.
    std::string target;
    // The link's scheme in lower case ("file" for a bare path), empty when it has none; what a
    // log line may name.
    std::string scheme;

    friend bool operator==(const LinkDecision&, const LinkDecision&) = default;
};

// What the file system says of the local file a link names.
struct LinkedFile {
    enum class Kind { missing, regular, directory, other };
    Kind kind = Kind::missing;
    // The file could run code once opened by its default handler: an executable bit, a desktop
    // entry (by its name or its content), or a content type whose usual handlers run it.
    bool launches = false;
    // The path with every symbolic link and every "." or ".." resolved.
    std::string resolvedPath;
};

// The one rule set for links, shared by the terminal tiles and the reader so that they agree:
//   http, https and ftp with a host, and mailto: open (a mail link without its attach= and
//   attachment= parameters, with which some mail programs would attach a local file);
//   a local file (file: URL, or a bare absolute path from a terminal): a folder or a plain file
//   opens, a file that launches is revealed in its folder, anything else is refused; file links
//   from a web page are refused;
//   javascript:, data: and vbscript:, links with control characters (C0, C1, DEL, line and
//   paragraph separators, bidirectional controls), invalid UTF-8 and malformed URLs are refused;
//   every other scheme asks.
// Schemes are matched in any case after leading and trailing spaces; a scheme has to be spelt out
// (a percent-encoded one is no scheme, so the link is refused).
class LinkPolicy {
public:
    LinkPolicy() = delete;

    using FileInspector = std::function<LinkedFile(const std::string& path)>;

    static LinkDecision decide(std::string_view link, LinkOrigin origin, const FileInspector& inspect = inspectFile);
    // The scheme the text starts with as a URL spells one (a letter, then letters, digits, "+",
    // "-" or ".", then ":"), in lower case; empty when it starts with none.
    static std::string schemeOf(std::string_view text);
    // The file system's answer, symbolic links followed.
    static LinkedFile inspectFile(const std::string& path);

    // Past this many characters a link is shown shortened in its middle.
    static constexpr size_t displayLimit = 1000;
    // The link as a dialog shows it: every character that would not show (C0 controls as their
    // control pictures, other controls and invisible format characters as "<U+XXXX>") made
    // visible, bytes that are not UTF-8 as "\xNN", and an enormous link cut to its first and last
    // characters around " … ".
    static std::string displayText(std::string_view link);
};

}  // namespace platform::ui
