#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Pasteboard.h"
#include "vantel/view/PasteQueue.h"

namespace vantel {
class TerminalView;
}

namespace quiltdeck {

class Session;

// Files, images and text dropped onto a tile or pasted into it, turned into
// text typed into the tile as one paste: file paths ready for a command line,
// an image saved under the drops folder with its path typed, or the text
// itself. It is framed as a bracketed paste while the tile's program has asked
// for that (the assistant and the shells' line editors do; a program that has
// not would get the marks as text), and what goes out loses the controls a
// paste never carries, so nothing in it can end the paste early.
class Drop {
public:
    Drop() = delete;

    static constexpr std::string_view pasteStart = "\x1b[200~";
    static constexpr std::string_view pasteEnd = "\x1b[201~";
    // How many "<secs>-<n>-dropped.png" names are tried after "<secs>-dropped.png".
    static constexpr int nameAttempts = 1000;

    // What a pasteboard offers, in the order it is tried.
    struct Content {
        std::vector<std::string> uris;  // text/uri-list entries; only local file URIs count
        std::optional<std::vector<uint8_t>> png;
        std::optional<std::vector<uint8_t>> tiff;
        // A picture was offered but was larger than the pasteboard keeps.
        bool imageTooLarge = false;
        std::optional<std::string> text;
    };
    // The bar's topic of every message about a paste or a drop: a new one replaces the last.
    static constexpr std::string_view pasteTopic = "paste";

    // The content types a tile accepts, in that order: file URIs, PNG, TIFF, text.
    static const std::vector<std::string>& types();

    using Send = std::function<void(std::string_view)>;
    // Sends the first kind of content that applies, framed when `bracketed`; true when something
    // was sent. An image is saved in `dropsFolder`, named by `unixSeconds`. Text of more than a
    // piece goes to `sendLarge` when given, unfiltered and unframed, to be filtered and framed as
    // it goes out in pieces.
    static bool paste(const Content& content, const Send& send, const std::filesystem::path& dropsFolder,
                      int64_t unixSeconds, bool bracketed = true, const Send& sendLarge = {});
    static constexpr size_t largeText = size_t{256} << 10;

    // What a drag's pasteboard holds, typed into the tile; images go to the
    // store's drops folder.
    static bool paste(const platform::ui::Pasteboard& pasteboard, Session& session);
    static bool paste(const platform::ui::Pasteboard& pasteboard, Session& session,
                      const std::filesystem::path& dropsFolder);
    static Content contentOf(const platform::ui::Pasteboard& pasteboard);
    // What the clipboard holds, read when this asks (files and images first)
    // and typed into the tile as it arrives, if the tile is still there:
    // text goes out piece by piece as its owner hands it over.
    // A read that ends short is said in the log and the bar: nothing came (the clipboard did not
    // answer; more than the limit), or what came and why it stopped (`stop`: the view gave it up).
    // While it is slow, the bar says how it stands, until its last byte went out to the tile; a
    // whole paste takes the last paste message away.
    static void pasteClipboard(platform::ui::Pasteboard& clipboard, const std::shared_ptr<Session>& session,
                               const std::filesystem::path& dropsFolder);
    // What the Ctrl+C that stopped a paste reached: the terminal, which made it a signal; a program
    // that reads its keys itself (what it had taken of the paste is its own); or one that relays
    // them to a terminal where a second Ctrl+C makes a signal (sudo's own, ssh, tmux, script).
    enum class StopReached { terminal, rawReader, relay };
    // That of the view's last stop. A relay is named in a shell tile only: an assistant's CLI
    // answers a second Ctrl+C on its empty prompt by offering to end the session.
    static StopReached stopReached(const vantel::TerminalView& view, bool shellTile);
    // How a text paste ended; `sent`: what of the bytes read reached the tile (all when not given);
    // `discardedUnread`: its stop found the tile's terminal full and discarded what it held unread;
    // `reached`: what its Ctrl+C went to.
    static void sayHowAPasteEnded(const platform::ui::Pasteboard::ReadEnd& end, size_t limit,
                                  vantel::PasteStop stop = vantel::PasteStop::none,
                                  std::optional<size_t> sent = std::nullopt, bool discardedUnread = false,
                                  StopReached reached = StopReached::terminal);
    // How a read of files or a picture ended short: nothing of it was pasted.
    static void sayHowAnItemsReadEnded(const platform::ui::Pasteboard::ReadEnd& end, vantel::PasteStop stop);
    // A stop (Ctrl+C, the tile's program ended, the tile closed) kept `bytes` of pasted text from going out.
    static void sayPastedTextDropped(size_t bytes, vantel::PasteStop why, StopReached reached = StopReached::terminal);
    // A stop came while a picture of `bytes` that had come whole was checked: nothing pasted.
    static void sayPictureCheckStopped(size_t bytes, vantel::PasteStop stop);

    // The path of a local file URI (percent escapes decoded); nothing for any
    // other scheme, a remote host, or an escape that decodes to NUL.
    static std::optional<std::string> pathFromUri(std::string_view uri);
    // The path as one shell word: quoted when it holds white space or any ASCII
    // character but letters, digits and "_@%+=:,./-".
    static std::string quotePath(std::string_view path);
    // Without C0 controls (but HT, LF and CR) and C1 controls; invalid UTF-8 replaced.
    static std::string pasteSafe(std::string_view text);
    // Writes the bytes to a new file "<secs>-dropped.png" (then "<secs>-2-dropped.png" ...),
    // never over an existing one, in `folder` itself: never through a link that replaced it (a
    // missing folder is made). Nothing, with the reason, when that fails.
    static std::optional<std::filesystem::path> saveImage(const std::vector<uint8_t>& png,
                                                          const std::filesystem::path& folder, int64_t unixSeconds,
                                                          std::string& reason);
};

}  // namespace quiltdeck
