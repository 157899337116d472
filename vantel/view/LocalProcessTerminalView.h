#pragma once

#include <sys/ioctl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vantel/host/LocalProcess.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

class LocalProcessTerminalView;

// What a local-process terminal view tells its owner.
class LocalProcessTerminalViewDelegate {
public:
    virtual ~LocalProcessTerminalViewDelegate() = default;
    virtual void sizeChanged(LocalProcessTerminalView& source, int newCols, int newRows) = 0;
    virtual void setTerminalTitle(LocalProcessTerminalView& source, const std::string& title) = 0;
    virtual void hostCurrentDirectoryUpdate(TerminalView& source, const std::optional<std::string>& directory) = 0;
    // `exitCode` is the raw wait status.
    virtual void processTerminated(TerminalView& source, std::optional<int32_t> exitCode) = 0;
};

// A terminal view that runs its own child on a pseudo-terminal: it is its own TerminalViewDelegate
// and the delegate of its LocalProcess. The child's output reaches the view in the process's
// passes on the main loop; keys and pastes go to the child as input, the engine's replies as
// replies (dropped while the child leaves too much unread); size changes reach the child's
// terminal while it runs. Titles, the working folder and the exit go on to the owner.
class LocalProcessTerminalView : public TerminalView, public TerminalViewDelegate, public LocalProcessDelegate {
public:
    explicit LocalProcessTerminalView(const Rect& frame);
    LocalProcessTerminalView(const Rect& frame, FontRef font, const TerminalOptions& options);
    ~LocalProcessTerminalView() override;

    LocalProcess& process() { return *process_; }
    void setProcess(std::unique_ptr<LocalProcess> process);
    LocalProcessTerminalViewDelegate* processDelegate = nullptr;

    // Starts the child unless one runs (see LocalProcess::startProcess); failures are silent.
    void startProcess(const std::string& executable, const std::vector<std::string>& args = {},
                      const std::optional<std::vector<std::string>>& environment = std::nullopt,
                      const std::optional<std::string>& execName = std::nullopt,
                      const std::optional<std::string>& currentDirectory = std::nullopt);
    // Ends the child; no exit report follows.
    void terminate();
    void setHostLogging(std::optional<std::string> directory);

    // --- TerminalViewDelegate (the view tells itself) ---------------------------------------
    using TerminalView::sizeChanged;
    using TerminalView::setTerminalTitle;
    using TerminalView::send;
    using TerminalView::scrolled;
    using TerminalView::bell;
    using TerminalView::clipboardCopy;
    using TerminalView::clipboardRead;
    using TerminalView::iTermContent;
    void sizeChanged(TerminalView& source, int newCols, int newRows) override;
    void setTerminalTitle(TerminalView& source, const std::string& title) override;
    void hostCurrentDirectoryUpdate(TerminalView& source, const std::optional<std::string>& directory) override;
    void send(TerminalView& source, std::span<const uint8_t> data) override;
    size_t inputRoom(TerminalView&) override { return process_->inputRoom(); }
    size_t inputUnread(TerminalView&) override { return LocalProcess::writeQueueLimit - process_->inputRoom(); }
    void sendPasted(TerminalView& source, std::span<const uint8_t> data, uint64_t paste) override;
    void sendWhenRead(TerminalView& source, std::span<const uint8_t> data) override;
    void sendInsisting(TerminalView& source, std::span<const uint8_t> data) override;
    std::map<uint64_t, size_t> takeBackPastes(TerminalView& source, bool& flushed) override;
    bool interruptKeySignals(TerminalView&) override { return process_->keysMakeSignals(); }
    bool interruptRelayed(TerminalView&) override { return process_->foregroundRelays(); }
    void scrolled(TerminalView&, double) override {}
    void requestOpenLink(TerminalView& source, const std::string& link,
                         const std::map<std::string, std::string>& params) override;
    void clipboardCopy(TerminalView& source, std::span<const uint8_t> content) override;
    std::optional<std::vector<uint8_t>> clipboardRead(TerminalView& source) override;
    void rangeChanged(TerminalView&, int, int) override {}
    // The engine's replies to the child's queries.
    void send(Terminal& source, std::span<const uint8_t> data) override;
    // The process stops delivering while the terminal holds its input for slow work (a large
    // picture's data), and goes on when it lets go; what waited is drawn then.
    bool feedsInSteps(Terminal&) override { return true; }
    void inputReleased(Terminal& source) override;

    // --- LocalProcessDelegate ---------------------------------------------------------------
    void processTerminated(LocalProcess& source, std::optional<int32_t> exitCode) override;
    void dataReceived(std::span<const uint8_t> slice) override;
    // The grid and its size in device pixels, each clamped to 0...65535 as the record holds.
    winsize getWindowSize() override;
    bool readyForData() override { return !getTerminal().holdsInput(); }

private:
    void setupProcess();

    std::unique_ptr<LocalProcess> process_;
};

}  // namespace vantel
