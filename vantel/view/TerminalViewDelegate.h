#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantel {

class TerminalView;

// What a terminal view tells its owner. The owner keeps the view alive; the view holds the
// delegate without owning it, and the owner clears it before going away. Requirements without a
// default must be given.
class TerminalViewDelegate {
public:
    virtual ~TerminalViewDelegate() = default;

    virtual void sizeChanged(TerminalView& source, int newCols, int newRows) = 0;
    virtual void setTerminalTitle(TerminalView& source, const std::string& title) = 0;
    virtual void hostCurrentDirectoryUpdate(TerminalView& source, const std::optional<std::string>& directory) = 0;
    virtual void send(TerminalView& source, std::span<const uint8_t> data) = 0;
    // How many bytes of input send() takes now: a large paste goes out as room is made.
    virtual size_t inputRoom(TerminalView&) { return SIZE_MAX; }
    // How many bytes of input send() took that still wait in the program to be written to the
    // child's terminal: a paste goes on until they have gone.
    virtual size_t inputUnread(TerminalView&) { return 0; }
    // Pasted text of paste `paste` (PasteQueue::frontPaste): as send, but takeBackPastes may take
    // back what of it still waits in the program.
    virtual void sendPasted(TerminalView& source, std::span<const uint8_t> data, uint64_t /*paste*/) {
        send(source, data);
    }
    // As send, but written to the child only once it has read the input before it and waits for
    // more, where keys make signals that discard unread input (the Ctrl+C that stops a paste, after
    // the paste's end).
    virtual void sendWhenRead(TerminalView& source, std::span<const uint8_t> data) { send(source, data); }
    // As send, for an interrupt key the user insists on (no paste under way to stop): it goes now,
    // with what waits before it, whatever that waits for (a reader, an earlier interrupt acted on).
    virtual void sendInsisting(TerminalView& source, std::span<const uint8_t> data) { send(source, data); }
    // Takes back every byte of pasted text that still waits to be written, so that what is sent
    // next goes next: the bytes of each paste. `flushed`: the child's terminal was full (its child
    // reads nothing) and what it held unread was discarded too.
    virtual std::map<uint64_t, size_t> takeBackPastes(TerminalView&, bool& flushed) {
        flushed = false;
        return {};
    }
    // The child's terminal turns the interrupt key into a signal; false where its program reads
    // its keys itself (raw), taking the key as a byte.
    virtual bool interruptKeySignals(TerminalView&) { return true; }
    // The program that reads its keys itself sends them on to a terminal where the interrupt key
    // makes a signal again (a relay: sudo's own terminal, ssh, tmux, script).
    virtual bool interruptRelayed(TerminalView&) { return false; }
    // The view's place in the scroll-back: 0 at the top, 1 at the bottom.
    virtual void scrolled(TerminalView& source, double position) = 0;
    // Default: TerminalView::openDefaultLink (only what the link rules open without asking).
    virtual void requestOpenLink(TerminalView& source, const std::string& link,
                                 const std::map<std::string, std::string>& params);
    // Default: the system's alert sound.
    virtual void bell(TerminalView& source);
    virtual void clipboardCopy(TerminalView&, std::span<const uint8_t> /*content*/) {}
    virtual std::optional<std::vector<uint8_t>> clipboardRead(TerminalView&) { return std::nullopt; }
    virtual void iTermContent(TerminalView&, std::span<const uint8_t> /*content*/) {}
    virtual void rangeChanged(TerminalView& source, int startY, int endY) = 0;
};

}  // namespace vantel
