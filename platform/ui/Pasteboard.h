#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform::ui {

// A clipboard of plain text: `general` is the system's, `find` the process-wide find term. Reads
// answer from a copy that the pasteboard keeps current, so they never wait for another program;
// `requestString` asks the owner afresh and answers later (on the main loop) when a backend needs
// to. Without a backend (tests, headless) the text lives in memory. Main thread only.
class Pasteboard {
public:
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

    // The backend tells the pasteboard what the clipboard holds now (another program took it).
    void contentDidChange(std::optional<std::string> text);
    void setBackend(std::unique_ptr<Backend> backend) { backend_ = std::move(backend); }
    Backend* backend() const { return backend_.get(); }

private:
    std::optional<std::string> cached_;
    int changeCount_ = 0;
    std::unique_ptr<Backend> backend_;
};

}  // namespace platform::ui
