#include "vantel/view/LocalProcessTerminalView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Pasteboard.h"

namespace vantel {

namespace {

uint16_t winsizeField(double value) {
    if (!(value > 0)) return 0;
    return static_cast<uint16_t>(std::min(std::trunc(value), 65535.0));
}

}  // namespace

LocalProcessTerminalView::LocalProcessTerminalView(const Rect& frame) : TerminalView(frame) { setupProcess(); }

LocalProcessTerminalView::LocalProcessTerminalView(const Rect& frame, FontRef font, const TerminalOptions& options)
    : TerminalView(frame, std::move(font), options) {
    setupProcess();
}

LocalProcessTerminalView::~LocalProcessTerminalView() {
    // The process goes first: nothing may reach a view that is half gone.
    process_.reset();
    setTerminalDelegate(nullptr);
}

void LocalProcessTerminalView::setupProcess() {
    setTerminalDelegate(this);
    process_ = std::make_unique<LocalProcess>(this);
}

void LocalProcessTerminalView::setProcess(std::unique_ptr<LocalProcess> process) {
    if (process) process_ = std::move(process);
}

void LocalProcessTerminalView::startProcess(const std::string& executable, const std::vector<std::string>& args,
                                            const std::optional<std::vector<std::string>>& environment,
                                            const std::optional<std::string>& execName,
                                            const std::optional<std::string>& currentDirectory) {
    if (!process_->running()) process_->startProcess(executable, args, environment, execName, currentDirectory);
}

void LocalProcessTerminalView::terminate() {
    // Told before the writer goes: what of a paste it still held never reached the child.
    stopPastes(PasteStop::closed);
    process_->terminate();
}

void LocalProcessTerminalView::setHostLogging(std::optional<std::string> directory) {
    process_->setHostLogging(std::move(directory));
}

void LocalProcessTerminalView::sizeChanged(TerminalView&, int newCols, int newRows) {
    if (!process_->running()) return;
    process_->setWindowSize(getWindowSize());
    if (processDelegate) processDelegate->sizeChanged(*this, newCols, newRows);
}

void LocalProcessTerminalView::setTerminalTitle(TerminalView&, const std::string& title) {
    if (processDelegate) processDelegate->setTerminalTitle(*this, title);
}

void LocalProcessTerminalView::hostCurrentDirectoryUpdate(TerminalView& source,
                                                          const std::optional<std::string>& directory) {
    if (processDelegate) processDelegate->hostCurrentDirectoryUpdate(source, directory);
}

void LocalProcessTerminalView::send(TerminalView&, std::span<const uint8_t> data) { process_->send(data); }

void LocalProcessTerminalView::send(Terminal&, std::span<const uint8_t> data) { process_->sendReply(data); }

void LocalProcessTerminalView::requestOpenLink(TerminalView&, const std::string& link,
                                               const std::map<std::string, std::string>&) {
    TerminalView::openDefaultLink(link);
}

void LocalProcessTerminalView::clipboardCopy(TerminalView&, std::span<const uint8_t> content) {
    std::string text(content.begin(), content.end());
    if (!isValidUtf8(text)) return;
    platform::ui::Pasteboard::general().clearContents();
    platform::ui::Pasteboard::general().setString(std::move(text));
}

std::optional<std::vector<uint8_t>> LocalProcessTerminalView::clipboardRead(TerminalView&) {
    // What the pasteboard knows without a read: this program's own copy. Another program's copy
    // is read only for a paste, so a program asking for it gets no answer, as when reads are off;
    // the answer never waits for the clipboard's owner.
    const std::optional<std::string>& text = platform::ui::Pasteboard::general().string();
    if (!text) return std::nullopt;
    return std::vector<uint8_t>(text->begin(), text->end());
}

void LocalProcessTerminalView::processTerminated(LocalProcess&, std::optional<int32_t> exitCode) {
    stopPastes(PasteStop::ended);
    if (processDelegate) processDelegate->processTerminated(*this, exitCode);
}

void LocalProcessTerminalView::dataReceived(std::span<const uint8_t> slice) { feed(slice); }

void LocalProcessTerminalView::sendPasted(TerminalView&, std::span<const uint8_t> data, uint64_t paste) {
    process_->sendPaste(data, paste);
}

void LocalProcessTerminalView::sendWhenRead(TerminalView&, std::span<const uint8_t> data) {
    process_->sendWhenRead(data);
}

void LocalProcessTerminalView::sendInsisting(TerminalView&, std::span<const uint8_t> data) {
    process_->sendInsisting(data);
}

std::map<uint64_t, size_t> LocalProcessTerminalView::takeBackPastes(TerminalView&, bool& flushed) {
    return process_->takeBackPastes(&flushed);
}

void LocalProcessTerminalView::inputReleased(Terminal& source) {
    // Nothing new to parse: what waited is parsed already; this draws it.
    feed(std::span<const uint8_t>());
    if (!source.holdsInput()) process_->resumeDelivery();
}

winsize LocalProcessTerminalView::getWindowSize() {
    const double scale = backingScale();
    const Size cell = cellDimension().value_or(Size{});
    const Terminal& terminal = getTerminal();
    winsize size{};
    size.ws_row = winsizeField(terminal.rows());
    size.ws_col = winsizeField(terminal.cols());
    size.ws_xpixel = winsizeField(terminal.cols() * cell.width * scale);
    size.ws_ypixel = winsizeField(scale * terminal.rows() * cell.height);
    return size;
}

}  // namespace vantel
