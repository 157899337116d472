#include "vantel/view/TerminalView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Screen.h"
#include "platform/ui/Sound.h"
#include "vantel/graphics/TerminalGraphics.h"
#include "vantel/view/ColorUtilities.h"
#include "vantel/view/DictationOverlayTextView.h"
#include "vantel/view/TerminalDebugView.h"
#include "vantel/view/TerminalFindBarView.h"

namespace vantel {

using platform::gfx::Font;

TerminalView::TerminalView(const Rect& frame, FontRef font, const TerminalOptions& options)
    : View(frame),
      loop_(platform::runtime::MainLoop::main()),
      scheduler_(loop_),
      startupOptions_(options),
      fontSet_(FontSet::make(font ? std::move(font) : Font::systemFont())) {
    setup();
}

TerminalView::TerminalView(const Rect& frame, FontRef font)
    : TerminalView(frame, std::move(font), TerminalOptions::defaultOptions()) {}

TerminalView::TerminalView(const Rect& frame) : TerminalView(frame, nullptr, TerminalOptions::defaultOptions()) {}

TerminalView::~TerminalView() {
    gpu_.reset();
    lifetime_.reset();
    // A paste still coming stops here: its owner is asked for nothing more.
    for (auto& [stream, incoming] : std::exchange(incomingPastes_, {})) {
        if (incoming.cancel) incoming.cancel();
    }
    for (auto* timer : {&displayTimer_, &progressTimer_, &caretBlinkResume_, &pendingSemanticClick_, &autoScrollTimer_,
                        &payloadTimer_}) {
        if (*timer) (*timer)->cancel();
    }
    stopTextBlinking();
    // The engine outlives the view's other members only by a moment: it must not call back.
    if (terminal_) terminal_->setDelegate(nullptr);
}

void TerminalView::setup() {
    // The view shows Sixel and Kitty images: its terminal is made with the image protocols.
    static const bool graphicsInstalled = (installGraphicsProtocols(), true);
    (void)graphicsInstalled;
    // Drawing shows the layer colour wherever a cell keeps the default background.
    settings_.disableFullRedrawOnAnyChanges = true;
    setClipsToBounds(true);
    // A large picture made on a worker, or its scaled copy, is drawn once it is ready.
    kittyPictures_.setOnReady([this] { setNeedsDisplay(); });
    setupScroller();
    setupOptions(getEffectiveWidth(Size{bounds().width, bounds().height}), bounds().height);
    layerColorChanged();
    setupProgressBar();
    setupFocusNotification();
    setupTextBlinking();
}

void TerminalView::setupScroller() {
    if (!scroller_.superview()) {
        addSubview(&scroller_);
        scroller_.action = [this](platform::ui::Scroller&) { scrollerActivated(); };
    }
    scroller_.setStyle(platform::ui::Scroller::Style::overlay);
    scroller_.setKnobProportion(0.1);
    scroller_.setEnabled(false);
    layoutScrollerAndProgressBar();
    // The bar stays above the scroller.
    if (progressBar_) addSubview(progressBar_.get());
}

void TerminalView::setupProgressBar() {
    progressBar_ = std::make_unique<TerminalProgressBarView>(Rect{});
    addSubview(progressBar_.get());
    layoutScrollerAndProgressBar();
}

void TerminalView::layoutScrollerAndProgressBar() {
    const Rect b = bounds();
    const double width = platform::ui::Scroller::scrollerWidth(scroller_.style());
    scroller_.setFrame(Rect{std::max(0.0, b.width - width), 0, width, b.height});
    // Along the top edge: the view is not flipped.
    if (progressBar_) progressBar_->setFrame(Rect{0, b.height - 2, b.width, 2});
}

void TerminalView::setScrollerStyle(platform::ui::Scroller::Style style) {
    scroller_.setStyle(style);
    layoutScrollerAndProgressBar();
}

double TerminalView::backingScale() const {
    if (auto scale = backingScaleFactor()) return *scale;
    return platform::ui::Screen::mainBackingScaleFactor().value_or(1.0);
}

void TerminalView::viewDidChangeBackingProperties() {
    // The cell size is rounded to device pixels, so a new scale may change it.
    if (cellDimension_ && computeFontDimensions() != *cellDimension_) resetFont();
}

// --- What the owner sets ----------------------------------------------------------------------

void TerminalView::setFont(FontRef font) {
    fontSet_ = FontSet::make(font ? std::move(font) : Font::systemFont());
    resetFont();
    selectNone();
}

void TerminalView::setFont(FontRef font, const Rect& frame) {
    const Rect now = this->frame();
    if (frame.width == now.width && frame.height == now.height) {
        setFont(std::move(font));
        setFrameOrigin({frame.x, frame.y});
        return;
    }
    fontSet_ = FontSet::make(font ? std::move(font) : Font::systemFont());
    // The new cell without a layout of its own: the frame's change lays the grid out with it.
    resetCaches();
    cellDimension_ = computeFontDimensions();
    if (caretView_) {
        caretView_->setFrameSize(*cellDimension_);
        caretView_->updateCursorStyle();
    }
    setFrame(frame);
    selectNone();
    setNeedsDisplay();
}

void TerminalView::resetFontSize() {
    fontSet_ = FontSet::make(Font::systemFont());
    resetFont();
}

void TerminalView::setNativeForegroundColor(Rgba color) {
    // The engine's colour handling calls back into the view.
    if (settingFg_) return;
    settingFg_ = true;
    nativeFg_ = color;
    terminal_->setForegroundColor(getTerminalColor(color));
    settingFg_ = false;
}

void TerminalView::setNativeBackgroundColor(Rgba color) {
    if (settingBg_) return;
    settingBg_ = true;
    nativeBg_ = color;
    terminal_->setBackgroundColor(getTerminalColor(color));
    layerColorChanged();
    settingBg_ = false;
}

void TerminalView::layerColorChanged() {
    // The GPU view paints every pixel; under it the layer stays clear.
    setLayerBackgroundColor(gpu_->gpuView() ? Rgba{0, 0, 0, 0} : effectiveNativeBackgroundColor());
}

void TerminalView::setBackgroundOpacity(double opacity) {
    if (!std::isfinite(opacity)) return;
    Rgba color = nativeBg_;
    color.alpha = std::clamp(opacity, 0.0, 1.0);
    setNativeBackgroundColor(color);
    gpu_->setLayerOpaque(color.alpha >= 1.0);
    colorsChanged();
}

void TerminalView::setCaretColor(Rgba color) {
    cursorColorIsDefault_ = false;
    caretView_->caretColor = color;
    caretView_->bgColor = color;
    caretView_->setNeedsDisplay();
}

void TerminalView::setCaretTextColor(std::optional<Rgba> color) {
    cursorTextColorIsDefault_ = !color;
    caretView_->caretTextColor = color;
    caretView_->setNeedsDisplay();
}

void TerminalView::setCaretViewTracksFocus(bool tracks) {
    caretView_->tracksFocus = tracks;
    caretView_->updateCursorStyle();
    gpu_->queueGpuDisplay();
}

void TerminalView::setSelectedTextBackgroundColor(Rgba color) {
    selectedTextBackgroundColor_ = color;
    fullRedraw();
}

void TerminalView::setSelectedTextForegroundColor(Rgba color) {
    selectedTextForegroundColor_ = color;
    fullRedraw();
}

void TerminalView::setCustomBlockGlyphs(bool on) {
    settings_.customBlockGlyphs = on;
    fullRedraw();
}

void TerminalView::setAntiAliasCustomBlockGlyphs(bool on) {
    settings_.antiAliasCustomBlockGlyphs = on;
    fullRedraw();
}

void TerminalView::setBidiHostPolicy(BidiHostPolicy policy) {
    settings_.bidiHostPolicy = policy;
    fullRedraw();
    updateCursorPosition();
}

void TerminalView::setLinkHighlightMode(LinkHighlightMode mode) {
    settings_.linkHighlightMode = mode;
    linkHighlightRange_.reset();
    // Pointer moves matter while links light up under the pointer or the program tracks every move.
    const bool tracking = terminal_->mouseMode == Terminal::MouseMode::anyEvent || commandActive_ ||
                          mode == LinkHighlightMode::hover;
    setWantsMouseMoved(tracking);
    fullRedraw();
}

void TerminalView::apply(const TerminalViewSettings& settings) {
    const TerminalViewSettings before = settings_;
    const double sensitivity = settings_.scrollSensitivity;
    settings_ = settings;
    settings_.scrollSensitivity = sensitivity;
    setScrollSensitivity(settings.scrollSensitivity);
    if (settings.bidiHostPolicy != before.bidiHostPolicy) setBidiHostPolicy(settings.bidiHostPolicy);
    if (settings.linkHighlightMode != before.linkHighlightMode) setLinkHighlightMode(settings.linkHighlightMode);
    // Cached attributes hold colours picked under the old choice.
    if (settings.useBrightColors != before.useBrightColors) colorsChanged();
    if (settings.customBlockGlyphs != before.customBlockGlyphs ||
        settings.antiAliasCustomBlockGlyphs != before.antiAliasCustomBlockGlyphs) {
        fullRedraw();
    }
}

void TerminalView::setScrollSensitivity(double sensitivity) {
    if (!std::isfinite(sensitivity)) return;
    settings_.scrollSensitivity = std::max(sensitivity, 0.05);
}

void TerminalView::configureNativeColors() {
    setNativeForegroundColor(Rgba{0, 0, 0, 1});
    setNativeBackgroundColor(Rgba{1, 1, 1, 1});
}

void TerminalView::fullRedraw() {
    terminal_->updateFullScreen();
    queuePendingDisplay();
}

void TerminalView::draw(Canvas& canvas, const Rect& dirty) {
    if (gpu_->gpuView()) return;
    drawTerminalContents(dirty, canvas, terminal_->buffer().yDisp(), true);
    drawRowAbove_.clear();
}

void TerminalViewDelegate::requestOpenLink(TerminalView&, const std::string& link,
                                           const std::map<std::string, std::string>&) {
    TerminalView::openDefaultLink(link);
}

void TerminalViewDelegate::bell(TerminalView&) { platform::ui::Sound::beep(); }

}  // namespace vantel
