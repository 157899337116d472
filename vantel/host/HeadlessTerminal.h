#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "vantel/core/Terminal.h"
#include "vantel/host/LocalProcess.h"
#include "vantel/host/LoopScheduler.h"

namespace vantel {

// A terminal and a child without a view: the child's output is parsed into the
// terminal's buffers, the terminal's replies go back to the child, and the
// owner learns of the exit through `onEnd`. The owner starts the child through
// `process().startProcess(...)`.
class HeadlessTerminal : public TerminalDelegate, public LocalProcessDelegate {
public:
    using EndHandler = std::function<void(std::optional<int32_t> exitCode)>;
    struct Image {
        std::vector<uint8_t> bytes;
        int width;
        int height;
    };

    // A null `queue` means the program's main loop; the process callbacks, the
    // engine's timers and the input scan all run on `queue`.
    HeadlessTerminal(platform::runtime::MainLoop* queue, TerminalOptions options, EndHandler onEnd);
    ~HeadlessTerminal() override;

    Terminal& terminal() { return *terminal_; }
    LocalProcess& process() { return *process_; }
    void setProcess(std::unique_ptr<LocalProcess> process) { process_ = std::move(process); }
    const EndHandler& onEnd() const { return onEnd_; }
    void setOnEnd(EndHandler onEnd) { onEnd_ = std::move(onEnd); }
    const std::optional<std::string>& dir() const { return dir_; }
    void setDir(std::optional<std::string> dir) { dir_ = std::move(dir); }
    // The bitmaps the terminal produced, oldest first, as many as the image budget holds.
    const std::deque<Image>& images() const { return images_; }
    void setImages(std::deque<Image> images);
    // Bytes the kept bitmaps may take, each also paying for its record; the oldest
    // go first. Starts at the terminal's image cache limit.
    int64_t imageBudgetBytes() const { return imageBudgetBytes_; }
    void setImageBudgetBytes(int64_t bytes);
    int64_t imageBytes() const { return imageBytes_; }

    // User input: written to the child at once; the scan for a submitted
    // command line follows on the queue.
    void send(std::span<const uint8_t> data);
    void send(std::string_view text);
    // Sets the normal screen's scroll-back (none when absent) and redraws it.
    void changeScrollback(std::optional<int> lines);
    // Resizes the terminal and tells the child's pseudo-terminal.
    void resize(int cols, int rows);

    // Payload codes are collected after this many new ones, and on a timer, so that
    // codes of links gone from the lines go back to the process-wide table.
    static constexpr size_t payloadBurst = 256;
    static constexpr auto payloadCollectionInterval = std::chrono::seconds(5);

    // LocalProcessDelegate
    void processTerminated(LocalProcess& source, std::optional<int32_t> exitCode) override;
    void dataReceived(std::span<const uint8_t> slice) override;
    // Terminal rows and columns (clamped to 16 bits) over 16 x 16 pixels.
    winsize getWindowSize() override;
    // Not while the terminal holds its input for slow work (a large picture's data).
    bool readyForData() override { return !terminal_->holdsInput(); }

    // TerminalDelegate
    void send(Terminal& source, std::span<const uint8_t> data) override;
    void sizeChanged(Terminal& source) override;
    void mouseModeChanged(Terminal&) override {}
    void hostCurrentDirectoryUpdated(Terminal& source) override;
    void createImageFromBitmap(Terminal& source, std::vector<uint8_t>& bytes, int width, int height) override;
    // The process stops delivering while the terminal holds its input, and goes on when it lets go.
    bool feedsInSteps(Terminal&) override { return true; }
    void inputReleased(Terminal&) override;
    // Not the engine's colour callback (whose index is optional): that one keeps its default.
    using TerminalDelegate::colorChanged;
    void colorChanged(Terminal&, int /*idx*/) {}

private:
    platform::runtime::MainLoop& queue_;
    LoopScheduler scheduler_;
    EndHandler onEnd_;
    std::optional<std::string> dir_;
    void keepImagesWithinBudget();
    void collectPayloadAfterBurst();
    void collectPayload();

    std::deque<Image> images_;
    int64_t imageBytes_ = 0;
    int64_t imageBudgetBytes_ = 0;
    std::unique_ptr<Terminal> terminal_;
    std::unique_ptr<LocalProcess> process_;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
    size_t payloadCodesAtCollection_ = 0;
    std::shared_ptr<platform::runtime::WorkItem> payloadTimer_;
};

}  // namespace vantel
