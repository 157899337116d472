#include "vantel/host/HeadlessTerminal.h"

#include <algorithm>

namespace vantel {

namespace {

uint16_t clampToWinsize(int value) { return static_cast<uint16_t>(std::clamp(value, 0, 65535)); }

// An empty bitmap still costs its record: without this, empty images would pile up for free.
int64_t costOf(const HeadlessTerminal::Image& image) {
    return static_cast<int64_t>(image.bytes.size() + sizeof(HeadlessTerminal::Image));
}

}  // namespace

HeadlessTerminal::HeadlessTerminal(platform::runtime::MainLoop* queue, TerminalOptions options, EndHandler onEnd)
    : queue_(queue ? *queue : platform::runtime::MainLoop::main()), scheduler_(queue_), onEnd_(std::move(onEnd)) {
    imageBudgetBytes_ = std::max<int64_t>(options.kittyImageCacheLimitBytes, 0);
    terminal_ = std::make_unique<Terminal>(this, std::move(options), &scheduler_);
    process_ = std::make_unique<LocalProcess>(this, queue);
    std::weak_ptr<int> alive = lifetime_;
    payloadTimer_ = queue_.scheduleRepeating(payloadCollectionInterval, [this, alive] {
        if (!alive.expired()) collectPayload();
    });
}

HeadlessTerminal::~HeadlessTerminal() {
    payloadTimer_->cancel();
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

void HeadlessTerminal::dataReceived(std::span<const uint8_t> slice) {
    terminal_->feed(slice);
    collectPayloadAfterBurst();
}

void HeadlessTerminal::collectPayloadAfterBurst() {
    // At the quota the terminal collects by itself before it refuses a link.
    if (terminal_->payloadCodes().size() >= payloadCodesAtCollection_ + payloadBurst) collectPayload();
}

void HeadlessTerminal::collectPayload() {
    terminal_->garbageCollectPayload();
    payloadCodesAtCollection_ = terminal_->payloadCodes().size();
}

winsize HeadlessTerminal::getWindowSize() {
    winsize size{};
    size.ws_row = clampToWinsize(terminal_->rows());
    size.ws_col = clampToWinsize(terminal_->cols());
    size.ws_xpixel = 16;
    size.ws_ypixel = 16;
    return size;
}

void HeadlessTerminal::send(Terminal&, std::span<const uint8_t> data) { process_->sendReply(data); }

void HeadlessTerminal::inputReleased(Terminal&) {
    if (!terminal_->holdsInput()) process_->resumeDelivery();
}

void HeadlessTerminal::sizeChanged(Terminal&) {
    if (process_->running()) process_->setWindowSize(getWindowSize());
}

void HeadlessTerminal::hostCurrentDirectoryUpdated(Terminal& source) { dir_ = source.hostCurrentDirectory; }

void HeadlessTerminal::createImageFromBitmap(Terminal&, std::vector<uint8_t>& bytes, int width, int height) {
    // Taken, not copied: the decoder is done with its bitmap.
    images_.push_back(Image{std::move(bytes), width, height});
    imageBytes_ += costOf(images_.back());
    keepImagesWithinBudget();
}

void HeadlessTerminal::setImages(std::deque<Image> images) {
    images_ = std::move(images);
    imageBytes_ = 0;
    for (const Image& image : images_) imageBytes_ += costOf(image);
    keepImagesWithinBudget();
}

void HeadlessTerminal::setImageBudgetBytes(int64_t bytes) {
    imageBudgetBytes_ = std::max<int64_t>(bytes, 0);
    keepImagesWithinBudget();
}

void HeadlessTerminal::keepImagesWithinBudget() {
    while (imageBytes_ > imageBudgetBytes_ && !images_.empty()) {
        imageBytes_ -= costOf(images_.front());
        images_.pop_front();
    }
}

}  // namespace vantel
