// The left button and the pointer: mouse reports to the program, the local selection gestures,
// links under the pointer and on click, and the deferred click on a shell prompt.
#include <algorithm>
#include <cmath>

#include "platform/ui/RichText.h"
#include "platform/ui/Window.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

namespace Modifier = platform::ui::Modifier;
using MouseMode = Terminal::MouseMode;

namespace {

bool reportsButtons(MouseMode mode) {
    return mode == MouseMode::vt200 || mode == MouseMode::buttonEventTracking || mode == MouseMode::anyEvent;
}

int truncated(double value, int low, int high) {
    if (!std::isfinite(value)) return value > 0 ? high : low;
    return static_cast<int>(std::clamp(std::trunc(value), double(low), double(high)));
}

// The link of the pointer's cell, at the view's origin, in the view's colours swapped.
class UrlPreviewLabel : public platform::ui::View {
public:
    void show(const std::string& url, platform::gfx::Rgba background, platform::gfx::Rgba ink) {
        url_ = url;
        background_ = background;
        platform::ui::TextAttributes attributes;
        attributes.font = platform::gfx::InterfaceFont::system(12, platform::gfx::FontWeight::regular);
        attributes.color = ink;
        text_ = platform::ui::RichText(url, attributes);
        const Size size = text_.measure();
        setFrame(Rect{0, 0, std::ceil(size.width) + 8, std::ceil(size.height) + 4});
        setNeedsDisplay();
    }
    const std::string& url() const { return url_; }
    View* hitTest(Point) override { return nullptr; }
    void draw(platform::gfx::Canvas& canvas, const Rect&) override {
        canvas.fill(bounds(), background_);
        text_.draw(canvas, Rect{4, 2, bounds().width - 8, bounds().height - 4}, isFlipped(), {});
    }

private:
    std::string url_;
    platform::gfx::Rgba background_;
    platform::ui::RichText text_;
};

}  // namespace

// --- Cells and reports ----------------------------------------------------------------------------

TerminalView::MouseHit TerminalView::calculateMouseHit(Point inView) {
    const Size cell = cellDimension_.value_or(fontlessCellSize);
    Buffer& buffer = terminal_->buffer();
    const double height = frame().height;
    MouseHit hit;
    hit.grid.col = truncated(inView.x / cell.width, 0, terminal_->cols() - 1);
    const int row = truncated((height - inView.y) / cell.height, -1'000'000, 1'000'000) + buffer.yDisp();
    hit.grid.row = std::clamp(row, 0, std::max(0, buffer.lines().count() - 1));
    // A double-width or double-height row shows each cell twice as wide, and only its first half.
    if (hit.grid.row < buffer.lines().count() &&
        buffer.lines()[hit.grid.row].renderMode() != BufferLine::RenderLineMode::single) {
        hit.grid.col = truncated(inView.x / (cell.width * 2), 0, std::max(0, (terminal_->cols() + 1) / 2 - 1));
    }
    // A click lands on the logical cell shown at that visual column.
    if (settings_.bidiHostPolicy == BidiHostPolicy::respectTerminal) hit.grid.col = visualToLogicalCol(hit.grid.row, hit.grid.col);
    hit.pixels.col = truncated(inView.x, 0, static_cast<int>(frame().width));
    hit.pixels.row = truncated(height - inView.y, 0, static_cast<int>(height));
    return hit;
}

int TerminalView::encodeMouseEvent(const MouseEvent& event, bool overwriteRelease) const {
    const bool release = overwriteRelease || event.type == MouseEvent::Type::up;
    int flags = 0;
    if (release) {
        flags = 3;
    } else {
        switch (event.button) {
        case 0: flags = 0; break;
        case 1: flags = 1; break;
        case 2: flags = 2; break;
        case 4: flags = 64; break;
        case 5: flags = 65; break;
        default: flags = 0; break;
        }
    }
    if (reportsButtons(terminal_->mouseMode)) {
        if (event.modifiers & Modifier::shift) flags |= 4;
        if (event.modifiers & Modifier::alt) flags |= 8;
        if (event.modifiers & Modifier::control) flags |= 16;
    }
    return flags;
}

bool TerminalView::reportingTestPasses(const MouseEvent& event) const {
    // Shift gives the local gestures back unless the program claimed it.
    return settings_.allowMouseReporting && !((event.modifiers & Modifier::shift) && !terminal_->mouseShiftCapture);
}

int TerminalView::screenRowOf(const MouseHit& hit) const {
    return std::clamp(hit.grid.row - terminal_->buffer().yDisp(), 0, terminal_->rows() - 1);
}

void TerminalView::sendMouseReport(int flags, const MouseHit& hit) { sendMouseReport(flags, hit, screenRowOf(hit)); }

void TerminalView::sendMouseReport(int flags, const MouseHit& hit, int screenRow) {
    // The engine writes the report; it leaves as the user's input.
    sendingUserReport_ = true;
    terminal_->sendEvent(flags, hit.grid.col, screenRow, hit.pixels.col, hit.pixels.row);
    sendingUserReport_ = false;
}

void TerminalView::sharedMouseEvent(const MouseEvent& event) {
    sendMouseReport(encodeMouseEvent(event, false), calculateMouseHit(convertFromWindow(event.locationInWindow)));
}

// --- Buttons ---------------------------------------------------------------------------------------

void TerminalView::mouseDown(const MouseEvent& event) {
    if (event.button != MouseEvent::left) return View::mouseDown(event);
    if (pendingSemanticClick_) {
        pendingSemanticClick_->cancel();
        pendingSemanticClick_.reset();
    }
    didSelectionDrag_ = false;
    pointerPressSnapshot_ = SemanticPromptPointerSnapshot{selection_->active(), false, event.clickCount, false};
    pressReported_ = false;
    const MouseHit hit = calculateMouseHit(convertFromWindow(event.locationInWindow));
    pressPosition_ = hit.grid;
    // A press with the link modifier over a link opens it: the program hears nothing of it.
    pressOnLink_ = false;
    if (commandActive_ || (event.modifiers & Modifier::control)) {
        updateHoverLink(hit.grid, true);
        pressOnLink_ = linkForClick(hit.grid, true).has_value();
    }
    const MouseMode mode = terminal_->mouseMode;
    if (!pressOnLink_ && mode != MouseMode::off && reportingTestPasses(event)) {
        // x10 reports presses only, without modifiers (encodeMouseEvent leaves them out there).
        sendMouseReport(encodeMouseEvent(event, false), hit);
        pressReported_ = true;
        return;
    }
    pointerPressSnapshot_.pressWasSemanticEligible = true;
    Buffer& buffer = terminal_->buffer();
    switch (event.clickCount) {
    case 2: selection_->selectWordOrExpression(hit.grid, buffer); break;
    case 1:
        if (selection_->active()) {
            if (event.modifiers & Modifier::shift) {
                selection_->shiftExtend(hit.grid);
            } else {
                selection_->setActive(false);
            }
        }
        break;
    default: selection_->select(hit.grid.row); break;
    }
    setNeedsDisplay();
}

void TerminalView::mouseUp(const MouseEvent& event) {
    if (event.button != MouseEvent::left) return View::mouseUp(event);
    stopSelectionAutoScrollTimer();
    autoScrollDelta_ = 0;
    lastSelectionDragPoint_.reset();
    const MouseHit hit = calculateMouseHit(convertFromWindow(event.locationInWindow));
    const bool linkModifier = commandActive_ || (event.modifiers & Modifier::control);
    updateHoverLink(hit.grid, linkModifier);
    auto finish = [this] {
        didSelectionDrag_ = false;
        pointerPressSnapshot_.pressWasSemanticEligible = false;
        pressReported_ = false;
        pressOnLink_ = false;
        pressPosition_.reset();
    };
    if (pressReported_) {
        // Every reported press gets its release (x10 reports presses only).
        if (reportsButtons(terminal_->mouseMode)) sendMouseReport(encodeMouseEvent(event, true), hit);
        return finish();
    }
    if (!didSelectionDrag_) {
        if (auto link = linkForClick(hit.grid, event.modifiers & Modifier::control)) {
            if (terminalDelegate_) terminalDelegate_->requestOpenLink(*this, link->url, link->params);
            return finish();
        }
    }
    if (pointerPressSnapshot_.clickCount != 1) return finish();
    SemanticPromptClickModifiers modifiers;
    if (event.modifiers & Modifier::shift) modifiers.rawValue |= SemanticPromptClickModifiers::shift;
    if (event.modifiers & Modifier::control) modifiers.rawValue |= SemanticPromptClickModifiers::control;
    if (event.modifiers & Modifier::alt) modifiers.rawValue |= SemanticPromptClickModifiers::option;
    if (event.modifiers & Modifier::super) modifiers.rawValue |= SemanticPromptClickModifiers::command;
    SemanticPromptPointerSnapshot snapshot = pointerPressSnapshot_;
    snapshot.didDrag = didSelectionDrag_;
    if (terminal_->mightRouteSemanticPromptClick(modifiers, snapshot)) {
        ++semanticDeferralScheduleCount_;
        // Held until the click runs, so the line is found again by identity wherever it went.
        LineRef line;
        uint64_t generation = 0;
        if (BufferLine* at = terminal_->bufferLine(hit.grid.row)) {
            line = terminal_->buffer().lines().ref(hit.grid.row);
            generation = at->recycleGeneration();
        }
        const int col = hit.grid.col;
        std::weak_ptr<int> alive = lifetime_;
        const auto delay = std::chrono::duration_cast<platform::runtime::Duration>(
            std::chrono::duration<double>(std::clamp(semanticClickCoalescingDelay_, 0.0, 10.0)));
        pendingSemanticClick_ = loop_.postAfter(delay, [this, alive, line, generation, col, modifiers, snapshot] {
            if (alive.expired()) return;
            pendingSemanticClick_.reset();
            if (!line) return;
            const std::optional<int> row = terminal_->semanticRow(*line, generation);
            if (!row) return;
            if (terminal_->handleSemanticPromptClick(Position{col, *row}, modifiers, snapshot)) setNeedsDisplay();
        });
    }
    finish();
}

void TerminalView::mouseDragged(const MouseEvent& event) {
    if (event.button != MouseEvent::left) return View::mouseDragged(event);
    const Point point = convertFromWindow(event.locationInWindow);
    const MouseHit hit = calculateMouseHit(point);
    const MouseMode mode = terminal_->mouseMode;
    if (!pressOnLink_ && reportingTestPasses(event) &&
        (mode == MouseMode::buttonEventTracking || mode == MouseMode::anyEvent)) {
        sendMouseReport(encodeMouseEvent(event, false) + 32, hit);
        return;
    }
    if (selection_->active()) {
        selection_->dragExtend(hit.grid);
    } else {
        // From where the press was: the first drag event may come cells away from it.
        selection_->setSoftStart(pressPosition_.value_or(hit.grid));
        selection_->startSelection();
        selection_->dragExtend(hit.grid);
    }
    didSelectionDrag_ = true;
    lastSelectionDragPoint_ = point;
    autoScrollDelta_ = 0;
    const int r = hit.grid.row - terminal_->buffer().yDisp();
    const int rows = terminal_->rows();
    auto speed = [rows](int d) { return d <= 1 ? 1 : d <= 5 ? 3 : d <= 9 ? 10 : std::max(20, rows); };
    if (selection_->active() && r <= 0) {
        autoScrollDelta_ = -speed(-r);
        startSelectionAutoScrollTimer();
    } else if (selection_->active() && r >= rows) {
        autoScrollDelta_ = speed(r - rows);
        startSelectionAutoScrollTimer();
    } else {
        stopSelectionAutoScrollTimer();
    }
    setNeedsDisplay();
}

void TerminalView::mouseMoved(const MouseEvent& event) {
    const MouseHit hit = calculateMouseHit(convertFromWindow(event.locationInWindow));
    if (commandActive_) {
        if (auto payload = payloadString(hit.grid)) previewUrl(*payload);
    }
    updateHoverLink(hit.grid, std::nullopt);
    // Motion reports need reporting allowed, as every other report does. The no-button code.
    if (terminal_->mouseMode == MouseMode::anyEvent && settings_.allowMouseReporting) {
        sendMouseReport(encodeMouseEvent(event, true) + 32, hit);
    }
}

void TerminalView::mouseExited(const MouseEvent& event) {
    turnOffUrlPreview();
    if (settings_.linkHighlightMode == LinkHighlightMode::hover || settings_.linkHighlightMode == LinkHighlightMode::hoverWithModifier) {
        if (auto old = std::exchange(linkHighlightRange_, std::nullopt)) {
            invalidateLinkHighlight(old, std::nullopt);
            queuePendingDisplay();
        }
    }
    View::mouseExited(event);
}

std::optional<std::string> TerminalView::getPayload(const MouseEvent& event) {
    return payloadString(calculateMouseHit(convertFromWindow(event.locationInWindow)).grid);
}

// --- Links under the pointer --------------------------------------------------------------------

void TerminalView::updateHoverLink(Position at, std::optional<bool> commandOverride) {
    const bool modifier = commandOverride.value_or(commandActive_);
    const bool lights = settings_.linkHighlightMode == LinkHighlightMode::hover ||
                        (settings_.linkHighlightMode == LinkHighlightMode::hoverWithModifier && modifier);
    std::optional<std::vector<Terminal::LinkMatch::RowRange>> wanted;
    if (lights) {
        if (auto match = terminal_->linkMatch(Terminal::LinkLookupLocation::buffer(at),
                                              Terminal::LinkLookupMode::explicitAndImplicit)) {
            wanted = match->rowRanges;
        }
    }
    if (wanted == linkHighlightRange_) return;
    auto old = std::exchange(linkHighlightRange_, wanted);
    invalidateLinkHighlight(old, linkHighlightRange_);
    queuePendingDisplay();
}

void TerminalView::previewUrl(const std::string& payload) {
    const auto split = urlAndParamsFrom(payload);
    if (!split || split->url.empty()) return;
    if (!urlPreview_) {
        urlPreview_ = std::make_unique<UrlPreviewLabel>();
        addSubview(urlPreview_.get());
    }
    static_cast<UrlPreviewLabel&>(*urlPreview_).show(split->url, effectiveNativeForegroundColor(),
                                                     effectiveNativeBackgroundColor());
}

void TerminalView::turnOffUrlPreview() {
    if (!commandActive_) return;
    commandActive_ = false;
    deregisterTrackingInterest();
    if (urlPreview_) {
        urlPreview_->removeFromSuperview();
        urlPreview_.reset();
    }
    if (settings_.linkHighlightMode == LinkHighlightMode::hoverWithModifier) {
        if (auto old = std::exchange(linkHighlightRange_, std::nullopt)) invalidateLinkHighlight(old, std::nullopt);
        queuePendingDisplay();
    } else if (settings_.linkHighlightMode == LinkHighlightMode::alwaysWithModifier) {
        terminal_->updateFullScreen();
        queuePendingDisplay();
    }
}

void TerminalView::startTracking() { setWantsMouseMoved(true); }

void TerminalView::deregisterTrackingInterest() {
    if (terminal_->mouseMode != MouseMode::anyEvent && !commandActive_ && settings_.linkHighlightMode != LinkHighlightMode::hover) {
        setWantsMouseMoved(false);
    }
}

}  // namespace vantel
