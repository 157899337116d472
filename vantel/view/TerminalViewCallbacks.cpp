// What the view does with the engine's reports: most go on to the owner, some change the view,
// and two window reports are answered here. Also the visual bell and the progress bar's reports.
#include <cmath>

#include "platform/ui/Window.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

using Kind = WindowManipulationCommand::Kind;

void TerminalView::showCursor(Terminal&) {
    if (gpu_->isUsingGpuRenderer()) gpu_->queueGpuDisplay();
    else if (!caretView_->superview()) addSubview(caretView_.get(), &scroller_);
}

void TerminalView::hideCursor(Terminal&) {
    if (gpu_->isUsingGpuRenderer()) gpu_->queueGpuDisplay();
    else caretView_->removeFromSuperview();
}

void TerminalView::setTerminalTitle(Terminal&, const std::string& title) {
    if (terminalDelegate_) terminalDelegate_->setTerminalTitle(*this, title);
}

std::optional<std::vector<uint8_t>> TerminalView::windowCommand(Terminal& source,
                                                                const WindowManipulationCommand& command) {
    auto reply = [&](const char* kind, long height, long width) {
        const std::string text = source.csi() + kind + std::to_string(height) + ";" + std::to_string(width) + "t";
        return std::vector<uint8_t>(text.begin(), text.end());
    };
    switch (command.kind) {
    case Kind::reportTextAreaPixelDimension: {
        // No cell size, no answer: an empty reply keeps the engine from making one up.
        if (!cellDimension_) return std::vector<uint8_t>{};
        const double scale = backingScale();
        return reply("4;", std::lround(terminal_->rows() * cellDimension_->height * scale),
                     std::lround(terminal_->cols() * cellDimension_->width * scale));
    }
    case Kind::reportCellSizeInPixels: {
        if (!cellDimension_) return std::vector<uint8_t>{};
        const double scale = backingScale();
        return reply("6;", static_cast<long>(cellDimension_->height * scale),
                     static_cast<long>(cellDimension_->width * scale));
    }
    case Kind::resizeWindowTo:
        // A program can send these without end: a diagnostic, silent unless the engine's log is on.
        source.log("Request to resize to " + std::to_string(command.first) + "x" + std::to_string(command.second));
        return std::nullopt;
    default: return std::nullopt;
    }
}

void TerminalView::sizeChanged(Terminal& source) {
    if (terminalDelegate_) terminalDelegate_->sizeChanged(*this, source.cols(), source.rows());
    updateScroller();
}

void TerminalView::send(Terminal&, std::span<const uint8_t> data) {
    // A mouse report the view asked the engine to write is the user's input.
    if (sendingUserReport_) return send(data);
    // Replies of the engine: not user input, so no stamp and no scrolling.
    if (terminalDelegate_) terminalDelegate_->send(*this, data);
}

void TerminalView::scrolled(Terminal&, int) {
    updateScroller();
    if (terminalDelegate_) terminalDelegate_->scrolled(*this, scrollPosition());
}

void TerminalView::linefeed(Terminal&) {
    if (settings_.allowMouseReporting && selection_->active()) selectNone();
}

void TerminalView::bufferActivated(Terminal&) { updateScroller(); }

void TerminalView::bell(Terminal&) {
    const bool sound = settings_.bellStyle == BellStyle::sound || settings_.bellStyle == BellStyle::soundAndVisual;
    const bool visual = settings_.bellStyle == BellStyle::visual || settings_.bellStyle == BellStyle::soundAndVisual;
    if (sound && terminalDelegate_) terminalDelegate_->bell(*this);
    if (visual) flashVisualBell();
}

namespace {

// A layer over the whole view, filled with the foreground colour at the opacity its animation
// gives (none once it ended).
class VisualBellFlash : public platform::ui::View {
public:
    VisualBellFlash(const Rect& frame, platform::gfx::Rgba color) : View(frame), color_(color) {}
    void draw(platform::gfx::Canvas& canvas, const Rect&) override {
        const double opacity = presentationValue(TerminalView::visualBellAnimationKey).value_or(0);
        if (opacity > 0) canvas.fill(bounds(), {color_.red, color_.green, color_.blue, color_.alpha * opacity});
    }
    View* hitTest(Point) override { return nullptr; }

private:
    platform::gfx::Rgba color_;
};

}  // namespace

void TerminalView::flashVisualBell() {
    // Off screen a flash would never end: nothing to see anyway.
    if (!window()) return;
    auto flash = std::make_unique<VisualBellFlash>(bounds(), nativeFg_);
    platform::ui::View* raw = flash.get();
    platform::ui::Animation animation = platform::ui::Animation::keyFrames({0, 0.35, 0}, {0, 0.3, 1}, visualBellDuration);
    std::weak_ptr<int> alive = lifetime_;
    animation.completion = [this, alive, raw] {
        if (alive.expired()) return;
        std::erase_if(bellFlashes_, [raw](const auto& f) { return f.get() == raw; });
    };
    raw->addAnimation(visualBellAnimationKey, std::move(animation));
    addSubview(raw);
    bellFlashes_.push_back(std::move(flash));
}

void TerminalView::selectionChanged(Terminal&) {
    if (!gpu_->gpuView()) {
        // The selection can reach any row on screen.
        fullRedraw();
        return;
    }
    const Buffer& buffer = terminal_->buffer();
    const int first = buffer.yDisp();
    const int last = std::min(first + terminal_->rows() - 1, buffer.lines().count() - 1);
    if (buffer.lines().count() > 0 && first <= last) gpu_->gpuDirtyRange = std::make_pair(first, last);
    else gpu_->gpuDirtyRange.reset();
    gpu_->queueGpuDisplay();
}

std::optional<std::pair<int, int>> TerminalView::cellSizeInPixels(Terminal&) {
    if (!cellDimension_) return std::nullopt;
    const double scale = backingScaleFactor().value_or(1.0);
    return std::make_pair(static_cast<int>(std::lround(cellDimension_->width * scale)),
                          static_cast<int>(std::lround(cellDimension_->height * scale)));
}

void TerminalView::mouseModeChanged(Terminal& source) {
    // The pointer's moves are wanted while the program tracks every move, or links light up
    // under the pointer.
    setWantsMouseMoved(source.mouseMode == Terminal::MouseMode::anyEvent || commandActive_ ||
                       settings_.linkHighlightMode == LinkHighlightMode::hover);
}

void TerminalView::cursorStyleChanged(Terminal&, CursorStyle newStyle) {
    caretView_->style = newStyle;
    caretView_->updateCursorStyle();
    if (cellDimension_) caretView_->setFrameSize(*cellDimension_);
    caretView_->updateCursorStyle();
    if (gpu_->isUsingGpuRenderer()) gpu_->queueGpuDisplay();
}

void TerminalView::iTermContent(Terminal&, std::span<const uint8_t> content) {
    if (terminalDelegate_) terminalDelegate_->iTermContent(*this, content);
}

void TerminalView::clipboardCopy(Terminal&, const std::vector<uint8_t>& content) {
    if (terminalDelegate_) terminalDelegate_->clipboardCopy(*this, content);
}

std::optional<std::vector<uint8_t>> TerminalView::clipboardRead(Terminal&) {
    // Any program could read what the user copied: only when the owner allows it.
    if (!settings_.allowClipboardRead || !terminalDelegate_) return std::nullopt;
    return terminalDelegate_->clipboardRead(*this);
}

// --- Progress reports ------------------------------------------------------------------------

void TerminalView::progressReport(Terminal&, const ProgressReport& report) {
    if (loop_.isLoopThread()) return handleProgressReport(report);
    std::weak_ptr<int> alive = lifetime_;
    loop_.post([this, alive, report] {
        if (!alive.expired()) handleProgressReport(report);
    });
}

void TerminalView::handleProgressReport(const ProgressReport& report) {
    using State = ProgressReport::State;
    std::optional<uint8_t> value;
    switch (report.state) {
    case State::remove: return clearProgressReport();
    case State::set:
        value = report.progress.value_or(0);
        lastProgressValue_ = value;
        break;
    case State::error:
        if (report.progress) lastProgressValue_ = report.progress;
        value = lastProgressValue_;
        break;
    case State::indeterminate: break;
    case State::pause:
        value = report.progress ? report.progress : lastProgressValue_;
        if (!value) value = 100;
        lastProgressValue_ = value;
        break;
    }
    progressBar_->apply(report.state, value);
    if (progressTimer_) progressTimer_->cancel();
    std::weak_ptr<int> alive = lifetime_;
    progressTimer_ = loop_.postAfter(std::chrono::duration_cast<platform::runtime::Duration>(
                                         std::chrono::duration<double>(progressReportExpirySeconds)),
                                     [this, alive] {
                                         if (alive.expired()) return;
                                         progressTimer_.reset();
                                         clearProgressReport();
                                     });
}

void TerminalView::clearProgressReport() {
    if (progressTimer_) std::exchange(progressTimer_, nullptr)->cancel();
    lastProgressValue_.reset();
    progressBar_->apply(ProgressReport::State::remove, std::nullopt);
}

}  // namespace vantel
