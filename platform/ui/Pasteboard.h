#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

// A clipboard of plain text: `general` is the system's, `find` the process-wide find term. Reads
// answer from a copy that the pasteboard keeps current, so they never wait for another program;
// `requestString` asks the owner afresh and answers later (on the main loop) when a backend needs
// to. Without a backend (tests, headless) the text lives in memory. Main thread only.
class Pasteboard {
public:
    // What a pasteboard offers beside text, for drops and pastes into a terminal: the entries of
    // a URI list ("text/uri-list"), and image bytes as PNG and as TIFF.
    struct Items {
        std::vector<std::string> uris;
        std::optional<std::vector<uint8_t>> png;
        std::optional<std::vector<uint8_t>> tiff;
        friend bool operator==(const Items&, const Items&) = default;
    };
    // Image bytes above this are not kept.
    static constexpr size_t itemBytesLimit = size_t{64} << 20;

    // Where the text really lives (the toolkit's clipboard).
    class Backend {
    public:
        virtual ~Backend() = default;
        // Makes this text (none: nothing) the clipboard's content.
        virtual void write(const std::optional<std::string>& text) = 0;
        // Reads the clipboard's text and hands it to `done`, now or later.
        virtual void read(std::function<void(std::optional<std::string>)> done) = 0;
    };

    static Pasteboard& general();
    static Pasteboard& find();

    // The text last seen on the clipboard; none when it holds no text.
    const std::optional<std::string>& string() const { return cached_; }
    void clearContents();
    void setString(std::string text);
    void requestString(std::function<void(std::optional<std::string>)> done);
    // Bumped by every change of the content, ours or another program's.
    int changeCount() const { return changeCount_; }

    // The URIs and images last seen on the clipboard (or carried by a drag).
    const Items& items() const { return items_; }

    // The backend tells the pasteboard what the clipboard holds now (another program took it).
    void contentDidChange(std::optional<std::string> text);
    // Likewise for the items; images above the limit are left out.
    void itemsDidChange(Items items);
    void setBackend(std::unique_ptr<Backend> backend) { backend_ = std::move(backend); }
    Backend* backend() const { return backend_.get(); }

private:
    std::optional<std::string> cached_;
    Items items_;
    int changeCount_ = 0;
    std::unique_ptr<Backend> backend_;
};

}  // namespace platform::ui
