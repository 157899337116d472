#include "vantel/host/HeadlessTerminal.h"

#include <algorithm>

namespace vantel {

namespace {

uint16_t clampToWinsize(int value) { return static_cast<uint16_t>(std::clamp(value, 0, 65535)); }

}  // namespace

HeadlessTerminal::HeadlessTerminal(platform::runtime::MainLoop* queue, TerminalOptions options, EndHandler onEnd)
    : queue_(queue ? *queue : platform::runtime::MainLoop::main()), scheduler_(queue_), onEnd_(std::move(onEnd)) {
    terminal_ = std::make_unique<Terminal>(this, std::move(options), &scheduler_);
    process_ = std::make_unique<LocalProcess>(this, queue);
}

HeadlessTerminal::~HeadlessTerminal() {
    // The process first: nothing may reach the terminal while it goes.
    process_.reset();
    terminal_.reset();
}

void HeadlessTerminal::send(std::span<const uint8_t> data) {
    std::weak_ptr<int> alive = lifetime_;
    queue_.post([this, alive, copy = std::vector<uint8_t>(data.begin(), data.end())] {
        if (alive.expired()) return;
        if (terminal_->scanUserInputForSubmission(copy) &&
            terminal_->buffer().semanticInput == SemanticInputState::armed) {
            terminal_->buffer().semanticInput = SemanticInputState::submitted;
        }
    });
    process_->send(data);
}

void HeadlessTerminal::send(std::string_view text) {
    send(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void HeadlessTerminal::changeScrollback(std::optional<int> lines) {
    terminal_->normalBuffer().changeHistorySize(lines);
    TerminalOptions options = terminal_->options();
    options.scrollback = lines.value_or(0);
    terminal_->setOptions(std::move(options));
    for (int row = 0; row < terminal_->rows(); ++row) terminal_->updateRange(row, false);
}

void HeadlessTerminal::resize(int cols, int rows) {
    terminal_->resize(cols, rows);
    sizeChanged(*terminal_);
}

void HeadlessTerminal::processTerminated(LocalProcess&, std::optional<int32_t> exitCode) {
    // A copy: the handler may replace itself or drop this terminal.
    if (EndHandler handler = onEnd_) handler(exitCode);
}

void HeadlessTerminal::dataReceived(std::span<const uint8_t> slice) { terminal_->feed(slice); }

winsize HeadlessTerminal::getWindowSize() {
    winsize size{};
    size.ws_row = clampToWinsize(terminal_->rows());
    size.ws_col = clampToWinsize(terminal_->cols());
    size.ws_xpixel = 16;
    size.ws_ypixel = 16;
    return size;
}

void HeadlessTerminal::send(Terminal&, std::span<const uint8_t> data) { process_->send(data); }

void HeadlessTerminal::sizeChanged(Terminal&) {
    if (process_->running()) process_->setWindowSize(getWindowSize());
}

void HeadlessTerminal::hostCurrentDirectoryUpdated(Terminal& source) { dir_ = source.hostCurrentDirectory; }

void HeadlessTerminal::createImageFromBitmap(Terminal&, std::vector<uint8_t>& bytes, int width, int height) {
    images_.push_back(Image{bytes, width, height});
}

}  // namespace vantel
