#include "quiltdeck/sessions/Drop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "platform/gfx/ImageDecoder.h"
#include "platform/gfx/PngEncoder.h"
#include "platform/runtime/WorkerPool.h"
#include "platform/ui/Pasteboard.h"
#include "quiltdeck/sessions/Session.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/BarMessage.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Shorten.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isPlainPathCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_@%+=:,./-").find(c) != std::string_view::npos;
}

// Framed as a paste when the tile's program reads the frame (it turned bracketed paste on); else
// the marks would only reach it as text.
void sendFramed(const Drop::Send& send, std::string_view body, bool bracketed) {
    if (!bracketed) return send(body);
    std::string framed;
    framed.reserve(Drop::pasteStart.size() + body.size() + Drop::pasteEnd.size());
    framed += Drop::pasteStart;
    framed += body;
    framed += Drop::pasteEnd;
    send(framed);
}

// Whole writes, retried after interruptions; false on any failure or a short write.
bool writeAll(int fd, const std::vector<uint8_t>& bytes, std::string& reason) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            reason = n < 0 ? std::strerror(errno) : "short write";
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The folder itself, opened from its parent without following a link: a drops folder replaced
// by a link to somewhere else must not have pictures written there. A missing one is made.
int openDropsFolder(const std::filesystem::path& folder, std::string& reason) {
    std::filesystem::path path = folder.lexically_normal();
    if (!path.has_filename()) path = path.parent_path();
    const std::filesystem::path parentPath = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    const int parent = ::open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        reason = std::strerror(errno);
        return -1;
    }
    const std::string leaf = path.filename().string();
    const char* name = leaf.c_str();
    int dir = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // The cause is the call that failed first, not the look that follows it.
    int error = dir < 0 ? errno : 0;
    if (error == ENOENT) {
        error = ::mkdirat(parent, name, 0700) == 0 ? 0 : errno;
        if (error == 0) {
            dir = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (dir < 0) error = errno;
            else giveMadeToHomeOwner(path, dir);
        }
    }
    if (dir < 0) {
        struct stat info {};
        const bool link = ::fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
        reason = link ? folder.string() + " is a symbolic link" : std::strerror(error);
    }
    ::close(parent);
    return dir;
}

// A paste message worded in the language of the moment: the key's brief line (that of `briefKey`
// when given) and its whole, with these sizes. Each new one replaces the last of the topic.
// `more`: a sentence of its own after the whole words (the brief ones stay short).
void sayPasteNews(std::string key, std::vector<size_t> briefSizes, std::vector<size_t> sizes, bool lasting = false,
                  std::string briefKey = {}, std::string more = {}) {
    if (briefKey.empty()) briefKey = key + "_brief";
    BarMessage::say(
        std::string(Drop::pasteTopic),
        [key = std::move(key), briefKey = std::move(briefKey), briefSizes = std::move(briefSizes), sizes = std::move(sizes),
         more = std::move(more)] {
            const auto filled = [](const std::string& text, const std::vector<size_t>& bytes) {
                std::vector<L10nArg> args;
                for (const size_t count : bytes) args.emplace_back(tByteSize(count));
                return L10n::format(text, args);
            };
            std::string whole = filled(t(key), sizes);
            if (!more.empty()) whole += ". " + t(more);
            return BarMessage::Text{filled(t(briefKey), briefSizes), std::move(whole)};
        },
        lasting);
}

// A Ctrl+C that went to a program reading its keys itself discarded nothing it had taken: the words
// say so, and for a relay (sudo's terminal of its own, ssh, tmux), how to get its prompt back.
std::string reachedWords(Drop::StopReached reached) {
    switch (reached) {
        case Drop::StopReached::rawReader: return "paste_stop_raw_reader";
        case Drop::StopReached::relay: return "paste_stop_relay";
        default: return "";
    }
}

// The log's words for it.
std::string reachedLogged(Drop::StopReached reached) {
    switch (reached) {
        case Drop::StopReached::rawReader: return "; its program reads its keys itself";
        case Drop::StopReached::relay: return "; its program reads its keys itself and relays them";
        default: return "";
    }
}

// How a paste was stopped, in the log's words.
std::string stoppedHow(vantel::PasteStop stop) {
    switch (stop) {
        case vantel::PasteStop::interrupted: return "stopped by Ctrl+C";
        case vantel::PasteStop::closed: return "stopped, the tile was closed";
        default: return "stopped, the tile's program ended";
    }
}

// The pastes one Ctrl+C stops each end within that turn: the bar names what all of them left
// unsent, and a paste cut with nothing left over does not hide that. A tile closed takes its
// paste's words with it.
size_t droppedThisTurn = 0;
void sayDropped(size_t bytes, vantel::PasteStop why = vantel::PasteStop::interrupted,
                Drop::StopReached reached = Drop::StopReached::terminal) {
    if (why == vantel::PasteStop::closed) return BarMessage::withdraw(std::string(Drop::pasteTopic));
    if (droppedThisTurn == 0 && bytes > 0) platform::runtime::MainLoop::main().post([] { droppedThisTurn = 0; });
    droppedThisTurn += bytes;
    // Either says "Stopped: … not sent" in brief.
    const char* key = why == vantel::PasteStop::ended ? "paste_dropped_ended" : "paste_dropped";
    sayPasteNews(key, {droppedThisTurn}, {droppedThisTurn}, false, "paste_dropped_brief",
                 why == vantel::PasteStop::interrupted ? reachedWords(reached) : "");
}

void sayPictureNotKept(std::string key, const std::string& why, std::vector<size_t> sizes = {}) {
    Log::write("drop: picture not kept (" + why + ")");
    sayPasteNews(std::move(key), sizes, sizes);
}

// How a paste stands, told a second apart (never per piece) until it is over: waiting for the
// clipboard's first answer, how much came so far, then how much is still to go out to the tile.
constexpr auto pasteNewsEvery = std::chrono::seconds(1);
struct PasteNews {
    std::string key;
    size_t bytes = 0;
    friend bool operator==(const PasteNews&, const PasteNews&) = default;
};
void followSlowPaste(std::weak_ptr<Session> weak, vantel::PasteQueue::Stream place, std::optional<PasteNews> said) {
    platform::runtime::MainLoop::main().postAfter(pasteNewsEvery, [weak, place, said] {
        const auto session = weak.lock();
        std::optional<PasteNews> now;
        if (!session) {
        } else if (const auto came = session->view().incomingPasteBytes(place)) {
            now = *came == 0 ? PasteNews{"paste_waiting"} : PasteNews{"paste_coming", *came};
        } else if (const auto toGo = session->view().pasteBytesToGo(place)) {
            now = PasteNews{"paste_going_out", *toGo};
        }
        if (!now) {
            // The paste's end said its own; a tile closed meanwhile takes what was said with it.
            if (!session && said) BarMessage::withdraw(std::string(Drop::pasteTopic));
            return;
        }
        if (now != said) {
            const std::vector<size_t> sizes = now->key == "paste_waiting" ? std::vector<size_t>{} : std::vector<size_t>{now->bytes};
            sayPasteNews(now->key, sizes, sizes, true);
        }
        followSlowPaste(weak, place, now);
    });
}

// What becomes of an offered picture: the PNG bytes to keep (as they came when they are PNG), or
// why none is kept.
struct KeptPicture {
    std::optional<std::vector<uint8_t>> png;
    bool tooBig = false;
    bool offeredPng = false;
};

// Any thread: a PNG is checked a row at a time (memory about its file's size), another format is
// decoded and made PNG. The size is read first: one past the limits is refused before its pixels are.
KeptPicture keptPicture(const Drop::Content& content) {
    using platform::gfx::ImageDecoder;
    static constexpr std::string_view pngSignature = "\x89PNG\r\n\x1a\n";
    ImageDecoder::Request request;
    // Only the formats programs send: a small drawing with filters can take minutes.
    request.rasterOnly = true;
    KeptPicture kept;
    kept.offeredPng = content.png.has_value();
    for (const auto* offered : {&content.png, &content.tiff}) {
        if (!*offered) continue;
        const std::vector<uint8_t>& bytes = **offered;
        const bool png = bytes.size() >= pngSignature.size() &&
                         std::equal(pngSignature.begin(), pngSignature.end(), bytes.begin(),
                                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
        if (png) {
            const ImageDecoder::Status status = ImageDecoder::check(bytes, request);
            kept.tooBig = kept.tooBig || status == ImageDecoder::Status::refused;
            if (status != ImageDecoder::Status::decoded) continue;
            kept.png = bytes;
            return kept;
        }
        const auto decoded = ImageDecoder::decode(bytes, request);
        kept.tooBig = kept.tooBig || decoded.status == ImageDecoder::Status::refused;
        if (decoded.status != ImageDecoder::Status::decoded) continue;
        if ((kept.png = platform::gfx::encodePng(decoded.image))) return kept;
    }
    return kept;
}

// Main loop: why a picture was not kept.
void sayPictureRefused(const KeptPicture& kept) {
    using platform::gfx::ImageDecoder;
    if (kept.tooBig) {
        sayPictureNotKept("paste_picture_too_big", "past " + std::to_string(ImageDecoder::maxSide) +
                                                       " pixels a side or " + std::to_string(ImageDecoder::maxDecodedBytes) +
                                                       " bytes decoded");
    } else {
        sayPictureNotKept("paste_picture_unreadable", kept.offeredPng ? "the PNG does not decode" : "the TIFF does not decode");
    }
}

// Main loop: the kept picture saved, and its path typed; false, said, when it cannot be.
bool sendKeptPicture(const KeptPicture& kept, const Drop::Send& send, const std::filesystem::path& dropsFolder,
                     int64_t unixSeconds, bool bracketed) {
    if (!kept.png) {
        sayPictureRefused(kept);
        return false;
    }
    std::string reason;
    const auto saved = Drop::saveImage(*kept.png, dropsFolder, unixSeconds, reason);
    if (!saved) {
        Log::write("drop: cannot save image (" + reason + ")");
        sayPasteNews("paste_picture_not_kept", {}, {});
        return false;
    }
    sendFramed(send, Drop::quotePath(Drop::pasteSafe(saved->string())) + " ", bracketed);
    return true;
}

// The file paths among the content's URIs, each a shell word followed by a space.
std::string pathsOf(const Drop::Content& content) {
    std::string paths;
    for (const auto& uri : content.uris) {
        if (auto path = Drop::pathFromUri(uri)) {
            const std::string safe = Drop::pasteSafe(*path);
            if (safe.empty()) continue;
            paths += Drop::quotePath(safe);
            paths += ' ';
        }
    }
    return paths;
}

// A picture to check before anything of the content is typed.
bool pictureFirst(const Drop::Content& content) { return (content.png || content.tiff) && pathsOf(content).empty(); }

// The picture checked on a worker, so that however large it is the window goes on; its path typed
// into the held place on the main loop (what was typed after the paste key follows it), unless
// the place was given up meanwhile (Ctrl+C, the tile closed). The place is closed either way.
void pastePictureInPlace(std::weak_ptr<Session> weak, vantel::PasteQueue::Stream place, Drop::Content content,
                         std::filesystem::path dropsFolder) {
    platform::runtime::WorkerPool::shared().submit([weak, place, content = std::move(content), dropsFolder = std::move(dropsFolder)] {
        KeptPicture kept = keptPicture(content);
        platform::runtime::MainLoop::main().post([weak, place, kept = std::move(kept), dropsFolder] {
            const auto session = weak.lock();
            if (!session || !session->view().incomingPasteBytes(place)) return;
            const auto send = [&session, place](std::string_view text) { session->view().sendInPlace(place, text); };
            const bool sent = sendKeptPicture(kept, send, dropsFolder, static_cast<int64_t>(std::time(nullptr)),
                                              session->view().getTerminal().bracketedPasteMode);
            session->view().closeInputPlace(place);
            if (sent) BarMessage::withdraw(std::string(Drop::pasteTopic));
        });
    });
}

}  // namespace

const std::vector<std::string>& Drop::types() {
    static const std::vector<std::string> accepted = {"text/uri-list", "image/png", "image/tiff",
                                                      "text/plain;charset=utf-8"};
    return accepted;
}

std::optional<std::string> Drop::pathFromUri(std::string_view uri) {
    constexpr std::string_view scheme = "file://";
    if (uri.size() < scheme.size()) return std::nullopt;
    for (size_t i = 0; i < scheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(uri[i])) != scheme[i]) return std::nullopt;
    }
    std::string_view rest = uri.substr(scheme.size());
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost") return std::nullopt;
    rest = rest.substr(slash);
    // A query or fragment is not part of a file's path.
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string path;
    path.reserve(rest.size());
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && hexValue(rest[i + 1]) >= 0 && hexValue(rest[i + 2]) >= 0) {
            const char decoded = static_cast<char>(hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2]));
            if (decoded == '\0') return std::nullopt;
            path += decoded;
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

std::string Drop::quotePath(std::string_view path) {
    bool plain = !path.empty();
    for (const char32_t c : vantel::fromUtf8(path)) {
        if (isWhiteSpace(c) || (c < 0x80 && !isPlainPathCharacter(static_cast<char>(c)))) {
            plain = false;
            break;
        }
    }
    return plain ? std::string(path) : ShellCommand::quoteForShell(path);
}

std::string Drop::pasteSafe(std::string_view text) {
    std::u32string scalars = vantel::fromUtf8(text);
    std::erase_if(scalars, [](char32_t c) {
        const bool c0 = c < 0x20 && c != U'\t' && c != U'\n' && c != U'\r';
        const bool c1 = c >= 0x80 && c <= 0x9F;
        return c0 || c1;
    });
    return vantel::toUtf8(scalars);
}

std::optional<std::filesystem::path> Drop::saveImage(const std::vector<uint8_t>& png,
                                                     const std::filesystem::path& folder, int64_t unixSeconds,
                                                     std::string& reason) {
    const int dir = openDropsFolder(folder, reason);
    if (dir < 0) return std::nullopt;
    const auto closeFolder = [dir] { ::close(dir); };
    for (int attempt = 1; attempt <= nameAttempts; ++attempt) {
        std::string name = std::to_string(unixSeconds);
        if (attempt > 1) name.append("-").append(std::to_string(attempt));
        name += "-dropped.png";
        const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            reason = std::strerror(errno);
            closeFolder();
            return std::nullopt;
        }
        giveMadeToHomeOwner(folder / name, fd);
        bool written = writeAll(fd, png, reason);
        if (::close(fd) != 0 && written) {
            reason = std::strerror(errno);
            written = false;
        }
        if (!written) ::unlinkat(dir, name.c_str(), 0);
        closeFolder();
        if (!written) return std::nullopt;
        return folder / name;
    }
    closeFolder();
    reason = "no free name";
    return std::nullopt;
}

Drop::Content Drop::contentOf(const platform::ui::Pasteboard& pasteboard) {
    Content content;
    content.uris = pasteboard.items().uris;
    content.png = pasteboard.items().png;
    content.tiff = pasteboard.items().tiff;
    content.imageTooLarge = pasteboard.items().imageTooLarge;
    content.text = pasteboard.string();
    return content;
}

bool Drop::paste(const platform::ui::Pasteboard& pasteboard, Session& session) {
    return paste(pasteboard, session, Store::shared().dir() / "drops");
}

bool Drop::paste(const platform::ui::Pasteboard& pasteboard, Session& session,
                 const std::filesystem::path& dropsFolder) {
    Content content = contentOf(pasteboard);
    if (pictureFirst(content)) {
        pastePictureInPlace(session.weak_from_this(), session.view().holdInputPlace(), std::move(content), dropsFolder);
        return true;
    }
    const bool bracketed = session.view().getTerminal().bracketedPasteMode;
    const bool sent = paste(
        std::move(content), [&session](std::string_view text) { session.view().send(text); }, dropsFolder,
        static_cast<int64_t>(std::time(nullptr)), bracketed,
        [&session, bracketed](std::string_view text) { session.view().sendPaste(std::string(text), bracketed); });
    if (sent) BarMessage::withdraw(std::string(pasteTopic));
    return sent;
}

void Drop::pasteClipboard(platform::ui::Pasteboard& clipboard, const std::shared_ptr<Session>& session,
                          const std::filesystem::path& dropsFolder) {
    std::weak_ptr<Session> weak = session;
    // Keys typed while the clipboard is asked what it holds follow the paste (as the view orders
    // them when it is slow); how it ended is said, and while it is slow, how it stands.
    const size_t limit = clipboard.textLimit();
    // The bytes of a picture that came whole and is being checked: a stop then is said of it.
    auto checked = std::make_shared<size_t>(0);
    const auto place = session->view().holdInputPlace(
        [checked](const platform::ui::Pasteboard::ReadEnd& end, vantel::PasteStop stop, size_t) {
            if (*checked > 0 && stop != vantel::PasteStop::none) return sayPictureCheckStopped(*checked, stop);
            sayHowAnItemsReadEnded(end, stop);
        });
    followSlowPaste(weak, place, std::nullopt);
    session->view().readItemsInPlace(clipboard, place, [&clipboard, weak, dropsFolder, place, limit, checked](platform::ui::Pasteboard::Items items) {
        const auto session = weak.lock();
        if (!session) return;
        Content content;
        content.uris = std::move(items.uris);
        content.png = std::move(items.png);
        content.tiff = std::move(items.tiff);
        content.imageTooLarge = items.imageTooLarge;
        if (pictureFirst(content)) {
            *checked = content.png ? content.png->size() : content.tiff->size();
            return pastePictureInPlace(weak, place, std::move(content), dropsFolder);
        }
        const auto send = [&session, place](std::string_view text) { session->view().sendInPlace(place, text); };
        // An image that cannot be kept is not pasted as text either.
        const bool image = content.png || content.tiff || content.imageTooLarge;
        const bool bracketed = session->view().getTerminal().bracketedPasteMode;
        const bool sent = paste(content, send, dropsFolder, static_cast<int64_t>(std::time(nullptr)), bracketed);
        if (sent || image) {
            session->view().closeInputPlace(place);
            if (sent) BarMessage::withdraw(std::string(pasteTopic));
            return;
        }
        session->view().pasteText(clipboard, bracketed, false, place,
                                  [limit, weak](const platform::ui::Pasteboard::ReadEnd& end, vantel::PasteStop stop, size_t sent) {
                                      const auto session = weak.lock();
                                      sayHowAPasteEnded(end, limit, stop, sent,
                                                        session && session->view().pasteStopDiscardedUnread(),
                                                        session ? stopReached(session->view(), session->isShell())
                                                                : StopReached::terminal);
                                  });
    });
}

Drop::StopReached Drop::stopReached(const vantel::TerminalView& view, bool shellTile) {
    if (!view.pasteStopReachedRawReader()) return StopReached::terminal;
    return view.pasteStopReachedRelay() && shellTile ? StopReached::relay : StopReached::rawReader;
}

void Drop::sayHowAPasteEnded(const platform::ui::Pasteboard::ReadEnd& end, size_t limit, vantel::PasteStop stop,
                             std::optional<size_t> sent, bool discardedUnread, StopReached stopReached) {
    using How = platform::ui::Pasteboard::ReadEnd::How;
    const size_t reached = std::min(sent.value_or(end.bytes), end.bytes);
    // What was read, what of it reached the tile and what a stop dropped.
    const std::string came = std::to_string(end.bytes) + " bytes read, " +
                             (reached == end.bytes ? std::string("all") : std::to_string(reached)) + " reached the tile";
    const bool byKey = stop == vantel::PasteStop::interrupted;
    if (byKey || stop == vantel::PasteStop::ended || stop == vantel::PasteStop::closed) {
        const std::string how = stoppedHow(stop);
        if (end.bytes == 0) {
            Log::write("paste: " + how + " before anything came; nothing pasted");
            if (droppedThisTurn > 0) return sayDropped(0, stop);
            if (!byKey) return BarMessage::withdraw(std::string(pasteTopic));
            return sayPasteNews("paste_stopped", {}, {});
        }
        Log::write("paste: " + how + " (" + std::string(end.how == How::cancelled ? "while reading" : "after the read ended") +
                   "): " + came + (reached < end.bytes ? ", " + std::to_string(end.bytes - reached) + " dropped" : "") +
                   (discardedUnread ? "; the tile's terminal was full, and what it held unread was discarded" : "") +
                   reachedLogged(stopReached));
        if (reached < end.bytes || droppedThisTurn > 0) return sayDropped(end.bytes - reached, stop, stopReached);
        if (!byKey) return BarMessage::withdraw(std::string(pasteTopic));
        return sayPasteNews("paste_cut_interrupted", {reached}, {reached}, false, {}, reachedWords(stopReached));
    }
    // A whole paste leaves nothing said of an earlier one.
    if (end.how == How::whole) return BarMessage::withdraw(std::string(pasteTopic));
    if (end.how == How::cancelled) {
        Log::write("paste: cut short, keys typed behind it waited too long: " + came);
        return sayPasteNews("paste_cut_slow", {end.bytes}, {end.bytes});
    }
    if (end.how == How::tooLarge) {
        if (end.bytes == 0) {
            const std::string size = end.size ? std::to_string(*end.size) + " bytes" : "more than the limit";
            Log::write("paste: refused, the clipboard holds " + size + ", past the limit of " + std::to_string(limit) + " bytes");
            return sayPasteNews("paste_too_large", {limit}, {end.size.value_or(limit), limit});
        }
        Log::write("paste: cut short at the limit of " + std::to_string(limit) + " bytes: " + came);
        return sayPasteNews("paste_cut_limit", {limit}, {limit});
    }
    if (end.how == How::wrongType) {
        if (end.bytes == 0) {
            Log::write("paste: refused, the clipboard answered with data of a type that was not asked for; nothing pasted");
            return sayPasteNews("paste_wrong_type", {}, {});
        }
        Log::write("paste: cut short, the clipboard went on with data of a type that was not asked for: " + came);
        return sayPasteNews("paste_cut_wrong_type", {end.bytes}, {end.bytes});
    }
    // An owner that sent nothing did not answer, whatever became of it.
    if (end.bytes == 0 || end.how == How::noAnswer) {
        Log::write("paste: the clipboard did not answer; nothing pasted");
        return sayPasteNews("paste_no_answer", {}, {});
    }
    const bool gone = end.how == How::gone;
    // What reached the tile is said: a character the owner left unfinished is none of it.
    Log::write("paste: cut short, " + std::string(gone ? "the program holding the clipboard ended" : "the clipboard stopped answering") +
               ": " + came + (reached < end.bytes ? ", " + std::to_string(end.bytes - reached) + " dropped" : ""));
    sayPasteNews(gone ? "paste_cut_gone" : "paste_cut_stopped", {reached}, {reached});
}

void Drop::sayHowAnItemsReadEnded(const platform::ui::Pasteboard::ReadEnd& end, vantel::PasteStop stop) {
    using How = platform::ui::Pasteboard::ReadEnd::How;
    // A picture past its limit is left out of a whole read: only a list (of types, or of files) ends one.
    if (end.how == How::tooLarge) {
        Log::write("paste: refused, the clipboard's list of types or files passed its limit; nothing pasted");
        return sayPasteNews("paste_items_too_large", {}, {});
    }
    // Nothing of files or a picture is pasted before all of it came: words of text cut short are untrue.
    if (end.bytes == 0 || end.how == How::wrongType || end.how == How::noAnswer) {
        return sayHowAPasteEnded(end, platform::ui::Pasteboard::itemBytesLimit, stop);
    }
    const std::string came = std::to_string(end.bytes) + " bytes came";
    if (end.how == How::cancelled && (stop == vantel::PasteStop::ended || stop == vantel::PasteStop::closed)) {
        Log::write("paste: " + stoppedHow(stop) + " while files or a picture came (" + came + "); nothing pasted");
        return BarMessage::withdraw(std::string(pasteTopic));
    }
    // Else only Ctrl+C gives up a read of items: keys wait behind it no longer than its first answer.
    if (end.how == How::cancelled) {
        Log::write("paste: stopped by Ctrl+C while files or a picture came (" + came + "); nothing pasted");
        return sayPasteNews("paste_items_stopped", {end.bytes}, {end.bytes});
    }
    const bool gone = end.how == How::gone;
    Log::write("paste: " + std::string(gone ? "the program holding the clipboard ended" : "the clipboard stopped answering") +
               " while files or a picture came (" + came + "); nothing pasted");
    sayPasteNews(gone ? "paste_items_gone" : "paste_items_stopped_answering", {end.bytes}, {end.bytes});
}

void Drop::sayPastedTextDropped(size_t bytes, vantel::PasteStop why, StopReached reached) {
    Log::write("paste: " + stoppedHow(why) + "; " + std::to_string(bytes) + " bytes not sent" + reachedLogged(reached));
    sayDropped(bytes, why, reached);
}

void Drop::sayPictureCheckStopped(size_t bytes, vantel::PasteStop stop) {
    const std::string picture = "the picture (" + std::to_string(bytes) + " bytes) was checked; nothing pasted";
    const std::string how = stop == vantel::PasteStop::keysWaited ? "the keys typed behind it waited too long" : stoppedHow(stop);
    Log::write("paste: " + how + " while " + picture);
    if (stop != vantel::PasteStop::interrupted) return BarMessage::withdraw(std::string(pasteTopic));
    sayPasteNews("paste_picture_stopped", {}, {}, false, "paste_stopped_brief");
}

bool Drop::paste(const Content& content, const Send& send, const std::filesystem::path& dropsFolder,
                 int64_t unixSeconds, bool bracketed, const Send& sendLarge) {
    const std::string paths = pathsOf(content);
    if (!paths.empty()) {
        sendFramed(send, paths, bracketed);
        return true;
    }

    if (!content.png && !content.tiff && content.imageTooLarge) {
        const size_t limit = platform::ui::Pasteboard::itemBytesLimit;
        sayPictureNotKept("paste_picture_too_large", "larger than " + std::to_string(limit) + " bytes", {limit});
        return false;
    }
    if (content.png || content.tiff) return sendKeptPicture(keptPicture(content), send, dropsFolder, unixSeconds, bracketed);

    if (!content.text) return false;
    // Filtering tens of megabytes at once would hold the loop: the view does it piece by piece.
    if (sendLarge && content.text->size() > largeText) {
        sendLarge(*content.text);
        return true;
    }
    const std::string text = pasteSafe(*content.text);
    if (text.empty()) return false;
    sendFramed(send, text, bracketed);
    return true;
}

}  // namespace quiltdeck
