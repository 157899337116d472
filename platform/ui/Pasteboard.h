#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

// A clipboard of plain text: `general` is the system's, `find` the process-wide find term. What
// this program put there is kept and answered at once; what another program copied is read only
// when asked for (a paste), from its owner, on the main loop and in pieces as the owner hands them
// over, so a copy of any size elsewhere never holds the loop. Without a backend (tests, headless,
// a drag's data) the content lives in memory. Main thread only.
class Pasteboard {
public:
    // What a pasteboard offers beside text, for drops and pastes into a terminal: the entries of
    // a URI list ("text/uri-list"), and image bytes as PNG and as TIFF.
    struct Items {
        std::vector<std::string> uris;
        std::optional<std::vector<uint8_t>> png;
        std::optional<std::vector<uint8_t>> tiff;
        // An image was offered but was larger than itemBytesLimit: it is left out.
        bool imageTooLarge = false;
        friend bool operator==(const Items&, const Items&) = default;
    };
    // Image bytes above this are not kept (nor read further).
    static constexpr size_t itemBytesLimit = size_t{64} << 20;
    // A text read from another program stops here: an owner that never ends its transfer cannot
    // fill the memory with a paste waiting for the child.
    static constexpr size_t textBytesLimit = size_t{1} << 30;
    // The limit reads of this pasteboard's text keep to (tests set a small one).
    size_t textLimit() const { return textLimit_; }
    void setTextLimit(size_t bytes) { textLimit_ = bytes; }

    // How a read from the clipboard's owner ended.
    struct ReadEnd {
        enum class How {
            whole,     // all of it came (or there was nothing to read)
            noAnswer,  // the owner gave no first answer in time: nothing came
            stopped,   // the owner stopped answering part-way
            gone,      // the owner went away part-way
            tooLarge,  // past the limit: refused before anything came, or cut there
            cancelled, // given up by this program (the user stopped it) before it ended
            wrongType, // the owner answered with data of a type that was not asked for: refused
        };
        How how = How::whole;
        // The bytes of text that came.
        size_t bytes = 0;
        // What the owner said it holds (at least), when it said so before sending.
        std::optional<size_t> size = std::nullopt;
        bool whole() const { return how == How::whole; }
        friend bool operator==(const ReadEnd&, const ReadEnd&) = default;
    };

    // How far a read may run ahead of where its text goes (a tile's child). The reader says how
    // much it holds that has not gone on yet; while that reaches `bytes`, the read asks its owner
    // for nothing more (and the wait is not the owner's: it does not count against its limits),
    // and it goes on once the reader holds half of it or less. Main thread only.
    class ReadAhead {
    public:
        explicit ReadAhead(size_t bytes) : bytes_(bytes) {}
        size_t bytes() const { return bytes_; }
        size_t held() const { return held_; }
        bool full() const { return held_ >= bytes_; }
        // The reader: what it holds now. Room made wakes the read that waits for it.
        void setHeld(size_t held);
        // The read: `go` runs once, as soon as there is room again (at once when the reader is not
        // full). A later call replaces an earlier one that has not run.
        void whenRoom(std::function<void()> go);
        // The read ended: nothing waits for room any more.
        void forget() { waiting_ = {}; }

    private:
        size_t bytes_;
        size_t held_ = 0;
        std::function<void()> waiting_;
    };

    // Takes a text as it arrives: `piece` for each part in order (a part may end inside a UTF-8
    // character that the next completes), then `end` once, saying how the read ended. No text, or
    // an empty one, gives no piece. With `ahead`, the read keeps to it.
    struct TextReader {
        std::function<void(std::string)> piece;
        std::function<void(ReadEnd)> end;
        std::shared_ptr<ReadAhead> ahead = {};
    };
    // The items, and how their read ended (not whole: nothing, or not all, could be read).
    using ItemsDone = std::function<void(Items, ReadEnd)>;
    // Takes the items: `came` (may be empty) with the bytes that came so far, as they come, then
    // `done` once.
    struct ItemsReader {
        ItemsDone done;
        std::function<void(size_t)> came = {};
    };
    // Gives up a read under way: the owner's transfer is let go (nothing more is read of it) and
    // the reader's `end` comes at once, `cancelled`, with the bytes that came. Does nothing once
    // the read ended; may be empty (a read answered at once).
    using CancelRead = std::function<void()>;

    // Where the content really lives (the toolkit's clipboard).
    class Backend {
    public:
        virtual ~Backend() = default;
        // Makes this text (none: nothing) the clipboard's content.
        virtual void write(const std::optional<std::string>& text) = 0;
        // Reads the URIs and images the clipboard offers and hands them to the reader's `done`,
        // later, with the limits of a text read. The result, when called, abandons the transfer
        // without calling the reader again.
        virtual CancelRead readItems(ItemsReader reader) = 0;
        // Reads the clipboard's text in pieces, at most `limit` bytes. Every step is bounded: an
        // owner that never answers, or stops, ends the read; `ReadEnd::bytes` is filled in above.
        // The result, when called, abandons the transfer without calling the reader again.
        virtual CancelRead readText(TextReader reader, size_t limit) = 0;
    };

    static Pasteboard& general();
    static Pasteboard& find();

    // The text known without a read: what this program wrote (or a drag carries); none when the
    // clipboard holds no text or another program's copy that has not been read.
    const std::optional<std::string>& string() const { return cached_; }
    void clearContents();
    void setString(std::string text);
    // The URIs and images known without a read (a drag's).
    const Items& items() const { return items_; }

    // The content, from memory when it is known, else from its owner (answering later). A read
    // given up (the result called) ends at once, `cancelled`: the items' with none of them.
    CancelRead requestItems(ItemsReader reader);
    CancelRead requestText(TextReader reader);
    // The whole text at once (none when there is none): for small uses only.
    void requestString(std::function<void(std::optional<std::string>)> done);

    // Bumped by every change of the content, ours or another program's.
    int changeCount() const { return changeCount_; }

    // The backend tells that another program took the clipboard: what was known of it is gone,
    // and nothing of the new content is read until asked for.
    void ownerDidChange();
    // The content of a pasteboard without a backend (a drag's data as it arrives).
    void contentDidChange(std::optional<std::string> text);
    // Likewise for the items; images above the limit are left out.
    void itemsDidChange(Items items);
    void setBackend(std::unique_ptr<Backend> backend) {
        backend_ = std::move(backend);
        known_ = false;
    }
    Backend* backend() const { return backend_.get(); }

private:
    // Whether the content is the one in memory (no backend, or this program wrote it last).
    bool answersFromMemory() const { return !backend_ || known_; }

    std::optional<std::string> cached_;
    Items items_;
    int changeCount_ = 0;
    bool known_ = false;
    size_t textLimit_ = textBytesLimit;
    std::unique_ptr<Backend> backend_;
};

}  // namespace platform::ui
