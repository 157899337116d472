#pragma once

#include <array>
#include <functional>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/gfx/BoundedCache.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Rgba.h"
#include "platform/runtime/MainLoop.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Scroller.h"
#include "platform/ui/SystemSettings.h"
#include "platform/ui/TextInput.h"
#include "platform/ui/View.h"
#include "vantel/core/SearchService.h"
#include "vantel/core/SelectionService.h"
#include "vantel/core/Terminal.h"
#include "vantel/core/SearchOptions.h"
#include "vantel/graphics/KittyKeyEvent.h"
#include "vantel/view/BidiRowLayout.h"
#include "vantel/view/CaretView.h"
#include "vantel/view/DrawnRows.h"
#include "vantel/view/GpuRendererHosting.h"
#include "vantel/view/ImageBand.h"
#include "vantel/view/InlineImages.h"
#include "vantel/view/KittyPictureCache.h"
#include "vantel/view/PasteQueue.h"
#include "vantel/host/LoopScheduler.h"
#include "vantel/view/RowImageRenderer.h"
#include "vantel/view/RowPainter.h"
#include "vantel/view/TerminalProgressBarView.h"
#include "vantel/view/TerminalViewDelegate.h"
#include "vantel/view/TerminalViewFontSet.h"
#include "vantel/view/TerminalViewSettings.h"
#include "vantel/view/TextAttributes.h"
#include "vantel/view/ViewLineInfo.h"

namespace vantel {

// The view that shows one Terminal and is its host (its TerminalDelegate). It owns the engine,
// the selection and search services, the caret, the scroller and the progress bar; it turns cells
// into attributed rows and draws them on the cell grid. Output fed to it is drawn in coalesced
// passes on the program's main loop (at once right after user input); its timers (redraws, text
// blinking, progress expiry) run there too, and only while they have something to do.
// Coordinates are the views' y-up points: screen row r spans y = height − (r + 1) × cell height up
// to y + cell height. Main thread only.
class DictationOverlayTextView;
class TerminalDebugView;
class TerminalFindBarView;

class TerminalView : public platform::ui::View,
                     public TerminalDelegate,
                     public platform::ui::TextInputClient,
                     private GpuRendererHosting::Owner {
public:
    using FontSet = TerminalViewFontSet;
    using Rgba = platform::gfx::Rgba;
    using FontRef = platform::gfx::FontRef;
    using Canvas = platform::gfx::Canvas;

    // The attribute caches and the true-colour cache are emptied wholesale when they reach this.
    static constexpr size_t attributeCacheLimit = 4096;
    static constexpr size_t trueColorCacheLimit = 4096;
    // A cell's text is shaped from at most this many scalars (marks can pile up without bound).
    static constexpr size_t maxCellScalars = 32;
    // The default selection colours.
    static constexpr Rgba defaultSelectedTextBackgroundColor{0, 166 / 255.0, 178 / 255.0, 1};
    static constexpr Rgba defaultSelectedTextForegroundColor{0, 0, 0, 1};
    // The cell size when no font can be found at all; such a view shows only its background colour.
    static constexpr Size fontlessCellSize{8, 16};

    // Without a font, the system's monospaced font at its size; without options, the defaults.
    TerminalView(const Rect& frame, FontRef font, const TerminalOptions& options);
    TerminalView(const Rect& frame, FontRef font);
    explicit TerminalView(const Rect& frame);
    ~TerminalView() override;

    // --- What the owner sets --------------------------------------------------------------
    // Not owned.
    TerminalViewDelegate* terminalDelegate() const { return terminalDelegate_; }
    void setTerminalDelegate(TerminalViewDelegate* delegate) { terminalDelegate_ = delegate; }

    const FontRef& font() const { return fontSet_.normal; }
    // A new font set from the font, the grid laid out again, and the selection dropped.
    void setFont(FontRef font);
    // A new font and a new frame together: the grid is laid out once, for both, so a child
    // hears of one size change.
    void setFont(FontRef font, const Rect& frame);
    // Back to the system's monospaced font; the selection stays.
    void resetFontSize();
    Rgba nativeForegroundColor() const { return nativeFg_; }
    void setNativeForegroundColor(Rgba color);
    Rgba nativeBackgroundColor() const { return nativeBg_; }
    void setNativeBackgroundColor(Rgba color);
    double backgroundOpacity() const { return nativeBg_.alpha; }
    // Clamped to 0...1; a value that is not finite is ignored.
    void setBackgroundOpacity(double opacity);
    Rgba caretColor() const { return caretView_->caretColor; }
    void setCaretColor(Rgba color);
    std::optional<Rgba> caretTextColor() const { return caretView_->caretTextColor; }
    void setCaretTextColor(std::optional<Rgba> color);
    bool caretViewTracksFocus() const { return caretView_->tracksFocus; }
    void setCaretViewTracksFocus(bool tracks);
    Rgba selectedTextBackgroundColor() const { return selectedTextBackgroundColor_; }
    void setSelectedTextBackgroundColor(Rgba color);
    Rgba selectedTextForegroundColor() const { return selectedTextForegroundColor_; }
    void setSelectedTextForegroundColor(Rgba color);
    bool customBlockGlyphs() const { return settings_.customBlockGlyphs; }
    void setCustomBlockGlyphs(bool on);
    bool antiAliasCustomBlockGlyphs() const { return settings_.antiAliasCustomBlockGlyphs; }
    void setAntiAliasCustomBlockGlyphs(bool on);
    BidiHostPolicy bidiHostPolicy() const { return settings_.bidiHostPolicy; }
    void setBidiHostPolicy(BidiHostPolicy policy);
    LinkHighlightMode linkHighlightMode() const { return settings_.linkHighlightMode; }
    void setLinkHighlightMode(LinkHighlightMode mode);
    double scrollSensitivity() const { return settings_.scrollSensitivity; }
    // At least 0.05; a value that is not finite is ignored.
    void setScrollSensitivity(double sensitivity);
    // Every setting the owner chooses, applied at once: each one that changed takes effect as its
    // own setter's would (a redraw, the pointer tracking, the colour caches).
    const TerminalViewSettings& settings() const { return settings_; }
    void apply(const TerminalViewSettings& settings);
    // The system's text colours: black on white.
    void configureNativeColors();

    // The link as a URL: itself when it has a scheme, else a file URL for the path (a leading "~"
    // expanded) when that file exists, else for the path without a ":line" or ":line:column"
    // suffix when that one exists. `fileExists` defaults to the file system.
    static std::optional<std::string> defaultLinkURL(const std::string& link,
                                                     const std::function<bool(const std::string&)>& fileExists = {});
    // The link as a URL, then what the link rules say of it (platform::ui::LinkPolicy, from a
    // terminal): opened, or revealed in its folder; a link that would ask, or is refused, does
    // nothing here, where there is no dialog.
    static void openDefaultLink(const std::string& link);

    // --- Fonts and cell metrics -----------------------------------------------------------
    const FontSet& fontSet() const { return fontSet_; }
    const std::optional<Size>& cellDimension() const { return cellDimension_; }
    bool fontSmoothing() const { return settings_.fontSmoothing; }
    void setFontSmoothing(bool on) { settings_.fontSmoothing = on; }
    double lineSpacing() const { return lineSpacing_; }
    // A spacing that is not finite or not above 0 becomes 1.
    void setLineSpacing(double spacing);
    // The cell size for the current fonts, line spacing and backing scale; stores nothing.
    // Virtual so that a test can give the view a cell of any size (resetFont() applies it).
    virtual Size computeFontDimensions() const;
    // Applies a font or line-spacing change: caches, cell size, grid (without a terminal reset),
    // caret and a redraw.
    void resetFont();
    void resetCaches();
    // First set-up (and re-set-up) of the engine and its services for a frame size.
    void setupOptions(double width, double height);
    // Resizes the engine to this grid, tells the owner, refreshes the scroller and soft-resets
    // the terminal.
    void resize(int cols, int rows);
    // Follows a frame size; true when the grid changed. No terminal reset.
    bool processSizeChange(Size newSize);
    Rect caretFrame() const { return caretView_ ? caretView_->frame() : Rect{}; }
    Terminal& getTerminal() { return *terminal_; }
    const Terminal& getTerminal() const { return *terminal_; }
    SelectionService& selection() { return *selection_; }
    SearchService& search() { return *search_; }
    CaretView* caretView() const { return caretView_.get(); }
    // Whether the caret is drawn at all, on either drawing path (a picture of the screen may leave it
    // out); the program's own cursor mode applies on top.
    bool showsCaret() const { return showsCaret_; }
    void setShowsCaret(bool shows);
    // The width left for text beside the scroller (the whole width when it is hidden), never negative.
    double getEffectiveWidth(Size size) const;
    void setFrameSize(Size size) override;
    // The size that shows the grid exactly, the scroller beside it.
    Rect getOptimalFrameSize() const;
    // The window's backing scale, else the main screen's, else 1.
    double backingScale() const;

    // --- Scroll-back ----------------------------------------------------------------------
    platform::ui::Scroller& scroller() { return scroller_; }
    bool canScroll() const;
    double scrollThumbsize() const;
    // 0 at the top of the scroll-back, 1 at the bottom (and always 0 in the alternate screen).
    double scrollPosition() const;
    void updateScroller();
    platform::ui::Scroller::Style scrollerStyle() const { return scroller_.style(); }
    void setScrollerStyle(platform::ui::Scroller::Style style);
    // The scroller's action: pages or follows the knob by its hit part.
    void scrollerActivated();
    // The user moved away from the bottom of the scroll-back.
    bool userScrolling() const { return userScrolling_; }
    // Shows the buffer from `row` (clamped to the scroll-back); tells the owner and the scroller.
    void scrollTo(int row, bool notifyAccessibility = true);
    // A position 0...1 from the scroller; one that is not finite is ignored.
    void scroll(double toPosition);
    void scrollUp(int lines);
    void scrollDown(int lines);
    // In the alternate screen these send Page Up and Page Down to the program instead.
    void pageUp();
    void pageDown();
    // The normal screen's scroll-back: a new size (none: no scroll-back), or emptied.
    void changeScrollback(std::optional<int> lines);
    void clearScrollback();

    // --- Feeding and sending ----------------------------------------------------------------
    // Output of the program: parsed, then drawn at once right after user input, else coalesced.
    void feed(std::span<const uint8_t> bytes);
    void feed(std::string_view text);
    // Input of the user for the program: stamps the time of input, brings the caret into view,
    // notes a submitted command line and hands the bytes to the owner.
    // Behind a paste still going out, the bytes wait their turn.
    void send(std::span<const uint8_t> data);
    void send(std::string_view text);
    // Pasted text, losing its control characters and framed as a bracketed paste when `bracketed`.
    // One of more than `pastePieceBytes` goes out in pieces between turns of the loop, as the owner
    // makes room for them (TerminalViewDelegate::inputRoom); what is sent meanwhile follows it.
    void sendPaste(std::string text, bool bracketed);
    static constexpr size_t pastePieceBytes = size_t{256} << 10;
    // Bytes of pastes (and of what follows them) still to go out.
    size_t pasteBytesWaiting() const { return pasteQueue_.waitingBytes(); }
    // Left or Right for the line-editing commands, swapped on a right-to-left line when the
    // program asked for it.
    void sendHorizontalKey(bool left);
    // How long after user input fed output is drawn at once.
    static constexpr uint64_t interactiveInputDisplayWindowNs = 150'000'000;
    // The main loop's clock, in nanoseconds, at the last user input; 0: never.
    uint64_t lastUserInputUptimeNs() const;

    // --- Display scheduling -----------------------------------------------------------------
    static constexpr platform::runtime::Duration displayCoalescingDelay{16'670'000};
    // Asks for a redraw 16.67 ms from now unless one is asked already (paced, see below, when
    // output streams into a view nobody types into); nothing while the program holds output
    // back (synchronized output).
    void queuePendingDisplay();
    // Output redrawn at most once per `interval` while the user has not typed into the view for
    // `streamingInputQuiet`; none: every 16.67 ms. A window of many terminals paces those it does
    // not take typing in, so that the one typed into keeps every frame.
    static constexpr platform::runtime::Duration streamingInputQuiet{1'000'000'000};
    void setStreamingDisplayInterval(std::optional<platform::runtime::Duration> interval);
    std::optional<platform::runtime::Duration> streamingDisplayInterval() const { return streamingDisplayInterval_; }
    // When the redraw asked by queuePendingDisplay comes; none while none is asked.
    std::optional<platform::runtime::TimePoint> pendingDisplayDue() const {
        return displayTimer_ ? std::optional(displayDue_) : std::nullopt;
    }
    bool pendingDisplay() const { return pendingDisplay_; }
    // The Kitty pictures made ready for drawing (benchmarks and tests).
    const KittyPictureCache& kittyPictures() const { return kittyPictures_; }
    // Turns the engine's dirty rows into rectangles to redraw, now.
    void updateDisplay(bool notifyAccessibility);
    // How many times updateDisplay found rows to draw, or the cursor alone (diagnostics).
    uint64_t displayUpdateCount() const { return displayUpdates_; }
    // How many of them moved drawn rows on the surface instead of drawing them (diagnostics).
    uint64_t rowMoveCount() const { return rowMoves_; }
    // The caret follows the cursor: shown or not, its frame and the character under it.
    void updateCursorPosition();
    // Marks the rows of a previous and a new link highlight dirty.
    void invalidateLinkHighlight(const std::optional<std::vector<Terminal::LinkMatch::RowRange>>& oldRange,
                                 const std::optional<std::vector<Terminal::LinkMatch::RowRange>>& newRange);
    // Payload codes of links are given back to the process at most this often.
    static constexpr platform::runtime::Duration payloadCollectionInterval{1'000'000'000};

    // --- Focus and the window ---------------------------------------------------------------
    // The view has the keyboard and its window is the key window (or it has no window).
    bool hasFocus() const;
    void setHasFocus(bool focus);
    bool acceptsFirstResponder() const override { return true; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    // Scrolls back to the live screen when the caret is out of view (not during synchronized output).
    void ensureCaretIsVisible();
    // While the user types, a blinking caret stays solid; it blinks again this long after the
    // last input (and nothing ticks meanwhile).
    static constexpr platform::runtime::Duration caretBlinkHoldAfterInput{500'000'000};
    // Whether a blinking caret may blink now: the desktop lets carets blink, and the user typed or
    // the focus came within the desktop's blink timeout. Past it the caret holds still, so an idle
    // window wakes for nothing, until the next key or focus change.
    bool caretMayBlink() const;
    // How much longer it may (seconds); none when the desktop sets no timeout.
    std::optional<double> caretBlinkSecondsLeft() const;
    std::optional<std::string> cursorName() const override { return "text"; }

    // --- Bell and progress ------------------------------------------------------------------
    static constexpr const char* visualBellAnimationKey = "visualBell";
    static constexpr double visualBellDuration = 0.2;
    static constexpr double progressReportExpirySeconds = 15;
    // Flashes the view with its foreground colour.
    void flashVisualBell();
    // The flash layers showing now (each removes itself when its flash ends).
    size_t visualBellCount() const { return bellFlashes_.size(); }
    platform::ui::View* visualBellView() const { return bellFlashes_.empty() ? nullptr : bellFlashes_.back().get(); }
    TerminalProgressBarView* progressBarView() const { return progressBar_.get(); }
    std::optional<uint8_t> lastProgressValue() const { return lastProgressValue_; }
    bool progressReportTimerRunning() const { return progressTimer_ != nullptr; }

    // --- Colours --------------------------------------------------------------------------
    Rgba mapColor(const Attribute::Color& color, bool isFg, bool isBold, bool useBrightColors);
    // Drops colour-dependent caches, repaints the layer colour and redraws every row.
    void colorsChanged();
    // Installs 16 ANSI colours (any other count leaves the engine's palette) and redraws.
    void installColors(const std::vector<Color>& colors);
    Rgba effectiveNativeForegroundColor() const;
    Rgba effectiveNativeBackgroundColor() const;
    Rgba effectiveCaretColor() const;
    Rgba effectiveCaretTextColor() const;
    // The host set or reset (none) the cursor colour and the cursor text colour. The engine's own
    // two-argument callback keeps its default.
    void setCursorColor(Terminal& source, const std::optional<Color>& color, const std::optional<Color>& textColor);
    using TerminalDelegate::setCursorColor;

    // --- Attributes and rows --------------------------------------------------------------
    // How a cell attribute draws; cached. `withUrl` marks a highlighted hyperlink cell.
    TextAttributes getAttributes(const Attribute& attribute, bool withUrl);
    size_t cachedAttributeCount(bool withUrl) const { return (withUrl ? urlAttributes_ : attributes_).size(); }
    size_t cachedTrueColorCount() const { return trueColors_.size(); }
    // The same with the caller's colours, uncached (the caret's character).
    TextAttributes getAttributedValue(const Attribute& attribute, Rgba usingFg, Rgba andBg);
    // The selected columns of an absolute row, as a half-open range.
    std::optional<std::pair<int, int>> selectedColumnsRange(int row, int cols) const;
    // One buffer row (absolute `row`) of a terminal `cols` wide, built for drawing.
    ViewLineInfo buildAttributedString(int row, const BufferLine& line, int cols);

    // --- Drawing --------------------------------------------------------------------------
    void draw(Canvas& canvas, const Rect& dirty) override;
    // The frame clears its dirty rectangle (to the layer colour) before it draws.
    bool isOpaque() const override { return !(gpu_ && gpu_->gpuView()); }
    // Paints every buffer row that meets the dirty rectangle; `bufferOffset` is the display
    // offset of the rows shown.
    void drawTerminalContents(const Rect& dirtyRect, Canvas& canvas, int bufferOffset);
    // Underline and strikethrough of one run. Each position is a cell's left edge on the baseline;
    // each decoration covers `slotWidth` from there.
    void drawRunAttributes(const TextAttributes& attributes, std::span<const platform::gfx::Point> positions,
                           double slotWidth, Canvas& canvas);
    // A row's cells drawn as shapes; `lineOrigin` is the row's bottom-left corner (in the row's own
    // coordinates for powerline glyphs, which snap by its render mode).
    void drawBoxDrawings(std::span<const BoxDrawingRenderItem> items, platform::gfx::Point lineOrigin, Canvas& canvas);
    void drawBlockElements(std::span<const BlockElementRenderItem> items, platform::gfx::Point lineOrigin,
                           Canvas& canvas);
    void drawPowerlineGlyphs(std::span<const PowerlineRenderItem> items, platform::gfx::Point lineOrigin,
                             BufferLine::RenderLineMode renderMode, Canvas& canvas);

    // --- Inline images --------------------------------------------------------------------
    // One cell-high band of an inline image, attached to a buffer line.
    using ImageBand = vantel::ImageBand;
    void createImageFromBitmap(Terminal& source, std::vector<uint8_t>& bytes, int width, int height) override;
    void createImage(Terminal& source, const std::vector<uint8_t>& data, ImageSizeRequest width,
                     ImageSizeRequest height, bool preserveAspectRatio) override;
    // Sizes the image from the requests, cuts it into bands and attaches them from the cursor down.
    void insertImage(const platform::gfx::Image& image, ImageSizeRequest width, ImageSizeRequest height,
                     bool preserveAspectRatio);
    static Rect kittyAspectFitRect(Size imageSize, const Rect& rect) {
        return InlineImages::kittyAspectFitRect(imageSize, rect);
    }

    // --- Links, selection and engine notices ----------------------------------------------
    struct LinkPayload {
        std::string url;
        std::map<std::string, std::string> params;
    };
    // Splits an OSC 8 payload ("k=v:k2=v2;URL"); none without a ";". The URL is all that
    // follows the first ";".
    static std::optional<LinkPayload> urlAndParamsFrom(std::string_view payload);
    // The terminal's links used up its payload codes: a line in the library's log ("links"), as
    // a refusal. Owners with a log of their own may say it there instead.
    void payloadCodesUsedUp(Terminal& source) override;
    bool selectionActive() const { return selection_->active(); }
    std::optional<std::string> getSelection();
    void selectAll() { selection_->selectAll(); }
    void selectNone();
    // The link under the pointer (absolute rows) and whether the link modifier is held; the
    // pointer code sets them.
    const std::optional<std::vector<Terminal::LinkMatch::RowRange>>& linkHighlightRange() const {
        return linkHighlightRange_;
    }
    // Only stores the range: the caller invalidates what it covered and covers now.
    void setLinkHighlightRange(std::optional<std::vector<Terminal::LinkMatch::RowRange>> range) {
        linkHighlightRange_ = std::move(range);
    }
    bool commandActive() const { return commandActive_; }

    // --- Bidirectional rows (TerminalViewBidi.cpp) ------------------------------------------
    // Rows are absolute buffer rows. Every consumer goes through these, so that a row draws,
    // hit-tests and places its caret the same way.
    // The row's layout by its bidi state; null when it shows in logical order (always so under
    // BidiHostPolicy::legacyLeftToRight). `mayNeedBidi`, when given, tells whether the row holds
    // right-to-left candidates (false under the legacy policy).
    std::shared_ptr<const BidiRowLayout> bidiRowLayout(int row, bool* mayNeedBidi = nullptr);
    // Where a logical column of the row is shown (the caret's column).
    int logicalToVisualCol(int row, int col);
    // The logical column shown at a visual column of the row (mouse hit-testing and selection).
    int visualToLogicalCol(int row, int col);
    // Dirty screen rows start...end widened to whole bidi paragraphs, still within the screen;
    // the buffer rows too when they were widened (what the GPU path redraws).
    struct RedrawRows {
        int first = 0;
        int last = 0;
        std::optional<std::pair<int, int>> bufferRows;
    };
    RedrawRows bidiRedrawRows(int start, int end);

    // --- Text blinking (TerminalViewBlink.cpp) -----------------------------------------------
    static constexpr platform::runtime::Duration textBlinkInterval{700'000'000};
    // Whether blinking text shows at this moment.
    bool textBlinkVisible() const { return textBlinkVisible_; }
    // Only the phase: nothing is redrawn.
    void setTextBlinkVisible(bool visible) { textBlinkVisible_ = visible; }
    // Starts or stops the blink timer: it runs while blinking cells are on screen, the view is in
    // a window, the application is active and the desktop does not ask for reduced motion.
    void updateTextBlinkLifecycle();
    // Registers the observers of activity and reduced motion (once) and starts what applies.
    void setupTextBlinking();
    void stopTextBlinking();
    bool textBlinkTimerRunning() const { return textBlinkTimer_ != nullptr; }
    // Absolute lines on screen that hold a blinking cell, in order.
    std::vector<int> visibleBlinkRows();

    // --- Keyboard (TerminalViewKeyboard.cpp) --------------------------------------------------
    // Keys become bytes for the program: the legacy sequences and the Kitty keyboard protocol
    // through the encoder, Alt as Meta (ESC prefix) while optionAsMetaKey is on, Control through
    // its mapping, text and editing keys through interpretKeyEvents. Super stands for the
    // Command key of the modifier bits; Control is the link modifier.
    using KeyEvent = platform::ui::KeyEvent;
    using ModifierFlags = platform::ui::ModifierFlags;
    // An input-method composition is open.
    bool kittyIsComposing() const { return kittyIsComposing_; }
    // Menu shortcuts, Ctrl+Shift with a letter: C copy, V paste, A select all, F find, G next,
    // H previous, E find the selection. Taken whenever they match, enabled or not, so that a
    // disabled Copy never reaches the program as an interrupt.
    bool performKeyEquivalent(const KeyEvent& event) override;
    void keyDown(const KeyEvent& event) override;
    void keyUp(const KeyEvent& event) override;
    void flagsChanged(const KeyEvent& event) override;
    // The input method first; else the key bindings (a command selector for doCommand); else a
    // printable key without Control or Super types its text.
    void interpretKeyEvents(const KeyEvent& event);
    // An editing command by its selector name ("insertNewline:", "moveLeft:", ...).
    void doCommand(std::string_view selector);
    // The key's selector in the key bindings, if it has one.
    static std::optional<std::string_view> keyBindingSelector(const KeyEvent& event);
    static std::optional<KittyFunctionalKey> kittyFunctionalKey(const KeyEvent& event);
    // The text of a keypad key that types one (digits, operators, =, separator).
    static std::optional<std::string> kittyTextForFunctionalKey(KittyFunctionalKey key, const KeyEvent& event);
    std::optional<KittyKeyEvent> kittyTextEvent(const KeyEvent& event, KittyKeyboardEventType eventType,
                                                std::optional<std::string> text) const;
    // Encodes under the active screen's flags and sends; false when the encoder gives nothing.
    bool sendKittyEvent(const KittyKeyEvent& event);
    // The legacy Control mapping of one ASCII character; empty for anything else.
    static std::string applyControlToEventCharacters(std::string_view characters);
    // The unshifted character of a key of the US layout by its hardware code (evdev + 8).
    static std::optional<char32_t> kittyBaseLayoutKey(uint16_t hardwareKeycode);
    // Shift, Control, Alt (only while optionAsMetaKey is on and never for AltGr), Super, Caps Lock.
    KittyKeyboardModifiers kittyModifiers(ModifierFlags modifiers) const;

    // --- Text input (TerminalViewTextInput.cpp) ---------------------------------------------
    using TextRange = platform::ui::TextRange;
    platform::ui::TextInputClient* textInputClient() override { return this; }
    void insertText(std::string_view utf8, TextRange replacementRange) override;
    // A paste is framed as a bracketed paste when the program asks for that, and it loses its
    // control characters first (filterPastedText).
    void insertText(std::string_view utf8, TextRange replacementRange, bool isPaste);
    void setMarkedText(std::string_view utf8, TextRange selectedRange, TextRange replacementRange) override;
    void unmarkText() override;
    bool hasMarkedText() const override { return !markedText_.empty(); }
    TextRange markedRange() const override;
    // The selection (or the cursor) as linear cell indices: row × columns + column.
    TextRange selectedRange() const override;
    // The caret's frame in window points.
    Rect firstRectForCharacterRange(TextRange range) override;
    // The marked text over a range of it (UTF-16 units); none outside it.
    std::optional<std::string> attributedSubstring(TextRange range, TextRange* actualRange = nullptr) const;
    static const std::vector<std::string>& validAttributesForMarkedText();
    // The linear cell index under a window point.
    size_t characterIndex(Point windowPoint) const;
    TextRange markedSelectedRange() const { return markedSelection_; }
    // The view that shows the marked text over the terminal; null without marked text.
    DictationOverlayTextView* markedTextOverlay() const { return markedTextOverlay_.get(); }
    // Non-empty, and no scalar below U+0020 nor in U+007F...U+009F.
    static bool isPlainPrintableText(std::string_view text);
    // What of pasted text may reach the program: every C0 control but HT, LF and CR, and every C1
    // control, dropped (so a pasted ESC [ 2 0 1 ~ cannot end a bracketed paste early); malformed
    // UTF-8 becomes U+FFFD.
    static std::string filterPastedText(std::string_view text);

    // --- Mouse (TerminalViewMouse.cpp) --------------------------------------------------------
    using MouseEvent = platform::ui::MouseEvent;
    using ScrollEvent = platform::ui::ScrollEvent;
    struct MouseHit {
        Position grid;    // column and buffer row (bidi rows mapped to the logical column)
        Position pixels;  // from the top-left corner of the view
    };
    MouseHit calculateMouseHit(Point inView);
    // Button code and modifier bits of a report; 3 for a release.
    int encodeMouseEvent(const MouseEvent& event, bool overwriteRelease) const;
    // Sends the press or release report of an event.
    void sharedMouseEvent(const MouseEvent& event);
    void mouseDown(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseMoved(const MouseEvent& event) override;
    void mouseExited(const MouseEvent& event) override;
    // The payload string of the cell under the event (an OSC 8 link), if any.
    std::optional<std::string> getPayload(const MouseEvent& event);
    // A small label at the view's origin showing the link of a payload.
    void previewUrl(const std::string& payload);
    void turnOffUrlPreview();
    platform::ui::View* urlPreview() const { return urlPreview_.get(); }
    void updateHoverLink(Position at, std::optional<bool> commandOverride);
    // Pointer moves are wanted while the program tracks every move, the link modifier is held or
    // links light up under the pointer.
    void startTracking();
    void deregisterTrackingInterest();
    // How many single clicks on a prompt were put off to wait for a second click.
    int semanticDeferralScheduleCount() const { return semanticDeferralScheduleCount_; }
    bool hasPendingSemanticClick() const { return pendingSemanticClick_ != nullptr; }

    // --- Links (TerminalViewLinks.cpp) -------------------------------------------------------
    // The payload string of the cell at a buffer position (the left half of a wide character
    // answers for its right half).
    std::optional<std::string> payloadString(Position at);
    // The link a click at a buffer position opens, by the highlight mode.
    std::optional<LinkPayload> linkForClick(Position at, bool hasCommandModifier);

    // --- Wheel and auto-scroll (TerminalViewScrolling.cpp) -------------------------------------
    // A wheel notch scrolls this many lines; a touchpad's unit this many cell heights.
    static constexpr double wheelLinesPerNotch = 3;
    static constexpr double touchpadCellHeightsPerUnit = 3;
    static constexpr platform::runtime::Duration selectionAutoScrollInterval{50'000'000};
    void scrollWheel(const ScrollEvent& event) override;
    // Lines (positive: up) of one wheel event by the event's vertical delta in lines or points.
    void scrollWheelBy(double dy, bool precise, const ScrollEvent& event);
    // What a touchpad scrolled short of a whole line, in points, kept for its next event.
    double scrollAccumulator() const { return scrollAccumulator_; }
    void setScrollAccumulator(double points) { scrollAccumulator_ = points; }
    // Lines per tick of the selection auto-scroll (negative: towards older lines); 0 idle.
    int autoScrollDelta() const { return autoScrollDelta_; }
    void startSelectionAutoScrollTimer();
    void stopSelectionAutoScrollTimer();
    bool selectionAutoScrollTimerRunning() const { return autoScrollTimer_ != nullptr; }
    void scrollingTimerElapsed();

    // --- Find (TerminalViewFind.cpp) ----------------------------------------------------------
    TerminalFindBarView* findBar() const { return findBar_.get(); }
    // What the find bar searches for, and how.
    const std::string& findBarTerm() const { return findBarTerm_; }
    const SearchOptions& findBarOptions() const { return findBarOptions_; }
    // Tags of the find menu commands: show, next, previous, use selection, hide.
    static constexpr int findTagShow = 1, findTagNext = 2, findTagPrevious = 3, findTagSetSearchString = 7,
                         findTagHide = 11;
    void performFindPanelAction(int tag);
    void performTextFinderAction(int tag);
    TerminalFindBarView& ensureFindBar();
    // The bar keeps this far from the view's top and right edges (and from the left while it fits).
    static constexpr double findBarMargin = 8;
    void showFindBar(bool prefillSelection);
    void hideFindBar();
    void handleFindBarSearchChanged(const std::string& term);
    void performFind(bool next);
    bool findNext(const std::string& term, const SearchOptions& options, bool scrollToResult);
    bool findPrevious(const std::string& term, const SearchOptions& options, bool scrollToResult);
    void clearSearch();

    // --- Clipboard and menus (TerminalViewClipboard.cpp) ---------------------------------------
    // A menu item as validation sees it: its action's selector name and tag.
    struct UserInterfaceItem {
        std::string action;
        int tag = 0;
        std::string description;
    };
    // The selected text to the clipboard, even when empty.
    void copy();
    // The clipboard's text pasted as it arrives (an empty paste when it holds no text).
    void paste();
    // How a paste from another program ended, whether the view gave it up, and how many of the bytes
    // read reached the tile's child (the rest Ctrl+C dropped), for its owner to say. Told once the
    // last of it went out (or was dropped), not when its read ended.
    using PasteEnded = std::function<void(const platform::ui::Pasteboard::ReadEnd&, PasteStop, size_t sent)>;
    // The text of `board` pasted as it arrives, piece by piece, never waiting for the whole: it
    // loses its control characters, is framed as one bracketed paste when `bracketed` (with
    // `framedWhenEmpty` false, a text that filters to nothing sends nothing at all), and what is
    // typed meanwhile follows it.
    // The order of typed keys and a paste still coming: keys typed after the paste key follow the
    // pasted text when its first part comes within pasteFirstPartWait; otherwise they go then, and
    // a text that comes later is pasted after them, bracketed, with what is typed after it started
    // behind it. No typed key waits more than typedInputWaitLimit behind a paste still coming: the
    // paste is cut there, as Ctrl+C cuts it at once (what came closed as a paste, the Ctrl+C after it).
    // `place`: a place held for it by holdInputPlace, which the paste then closes. A read that
    // ends short still closes what came as a paste; one that brought nothing (no answer, or too
    // large to start) sends nothing, and what waits behind it goes at once. `ended` (else the
    // place's) hears how the read ended, for the owner to say.
    // The read keeps no more than pasteReadAhead of its text waiting to go out: the owner is asked
    // for more as the child takes it. Time the child takes is not counted against the keys' limit.
    void pasteText(platform::ui::Pasteboard& board, bool bracketed, bool framedWhenEmpty,
                   std::optional<PasteQueue::Stream> place = std::nullopt, PasteEnded ended = {});
    // The read goes on when half of it is left: 8 MiB, with the 4 MiB of the child's input queue,
    // feed a child that takes 200 MB/s for 60 ms, many loop turns even when frames come late,
    // while the owner is asked for more. Every paste under way holds at most this (and a part).
    static constexpr size_t pasteReadAhead = size_t{16} << 20;
    void setPasteReadAhead(size_t bytes) { pasteReadAheadBytes_ = bytes; }
    static constexpr platform::runtime::Duration pasteFirstPartWait = std::chrono::seconds(2);
    static constexpr platform::runtime::Duration typedInputWaitLimit = std::chrono::seconds(10);
    // A place for input that is still being fetched (a paste whose kind is not known yet): what is
    // typed meanwhile follows it, as above. Bytes sent into it go as they are; closing it lets
    // what waits go. `ended` hears of a place given up before it was closed (Ctrl+C), and of the
    // paste's end when pasteText takes the place.
    PasteQueue::Stream holdInputPlace(PasteEnded ended = {});
    void sendInPlace(PasteQueue::Stream place, std::string_view bytes);
    void closeInputPlace(PasteQueue::Stream place);
    // Hears how many bytes of pasted text a stop kept from going out (a paste that came faster than
    // the child reads it) and why, for the owner to say; a paste whose owner hears its end is
    // told there instead.
    void setPastedTextDropped(std::function<void(size_t, PasteStop)> dropped) { pastedTextDropped_ = std::move(dropped); }
    // Every paste still coming or going out stops as `why` says: its owner is asked for nothing
    // more, and every byte of its text that waits in the program (read ahead, queued, or in the
    // writer) is dropped, so that what is sent next goes next; each paste's owner hears at once
    // what reached the child. Ctrl+C does this (interrupted), as the child's end does (ended).
    void stopPastes(PasteStop why);
    // The last stopPastes found the child's terminal full and discarded what it held unread.
    bool pasteStopDiscardedUnread() const { return pasteStopDiscardedUnread_; }
    // The last Ctrl+C that stopped pastes went to a program that reads its keys itself (raw): what
    // it had taken of them was its own to act on, not the terminal's to discard.
    bool pasteStopReachedRawReader() const { return pasteStopReachedRawReader_; }
    // And that program relays its keys to a terminal where a second Ctrl+C makes a signal.
    bool pasteStopReachedRelay() const { return pasteStopReachedRelay_; }
    // The URIs and images of `board` read for a held place: the read is the place's (Ctrl+C, keys
    // that waited their limit and closing the view give it up) and its bytes count as the place's.
    // `whole` hears the items of a read that ended whole; one that ends short closes the place
    // and tells its `ended`.
    void readItemsInPlace(platform::ui::Pasteboard& board, PasteQueue::Stream place,
                          std::function<void(platform::ui::Pasteboard::Items)> whole);
    // The bytes that came so far into a place still reading; none once its read ended.
    std::optional<size_t> incomingPasteBytes(PasteQueue::Stream place) const;
    // The bytes of a paste whose read ended that have yet to leave the program (its queue and its
    // writer's) for the child's terminal; none once all went. What the child then reads of its
    // terminal, and when, the program does not see.
    std::optional<size_t> pasteBytesToGo(PasteQueue::Stream place) const;
    // Declared for the menus; never enabled, does nothing.
    void cut() {}
    bool validateUserInterfaceItem(const UserInterfaceItem& item);
    // Runs an enabled menu action ("copy:", "performFindPanelAction:" ...); false when disabled.
    bool performMenuAction(const UserInterfaceItem& item);

    // --- Debug view (TerminalDebugView.cpp) ---------------------------------------------------
    // Updated after every display update while set; not owned.
    TerminalDebugView* debug() const { return debug_; }
    void setDebug(TerminalDebugView* view) { debug_ = view; }

    // --- The engine's callbacks (TerminalViewCallbacks.cpp) -----------------------------------
    void showCursor(Terminal& source) override;
    void hideCursor(Terminal& source) override;
    void setTerminalTitle(Terminal& source, const std::string& title) override;
    std::optional<std::vector<uint8_t>> windowCommand(Terminal& source, const WindowManipulationCommand& command) override;
    void sizeChanged(Terminal& source) override;
    void send(Terminal& source, std::span<const uint8_t> data) override;
    void scrolled(Terminal& source, int yDisp) override;
    void linefeed(Terminal& source) override;
    void bufferActivated(Terminal& source) override;
    void bell(Terminal& source) override;
    void selectionChanged(Terminal& source) override;
    std::optional<std::pair<int, int>> cellSizeInPixels(Terminal& source) override;
    void mouseModeChanged(Terminal& source) override;
    void cursorStyleChanged(Terminal& source, CursorStyle newStyle) override;
    void colorChanged(Terminal& source, std::optional<int> index) override;
    void setForegroundColor(Terminal& source, const Color& color) override;
    void setBackgroundColor(Terminal& source, const Color& color) override;
    void synchronizedOutputChanged(Terminal& source, bool active) override;
    void hostCurrentDirectoryUpdated(Terminal& source) override;
    void iTermContent(Terminal& source, std::span<const uint8_t> content) override;
    void clipboardCopy(Terminal& source, const std::vector<uint8_t>& content) override;
    std::optional<std::vector<uint8_t>> clipboardRead(Terminal& source) override;
    void progressReport(Terminal& source, const ProgressReport& report) override;

    // --- The GPU renderer (TerminalViewGpu.cpp) --------------------------------------------------
    // Draws through the GPU renderer instead of the view's own drawing, or back. The error when
    // the renderer cannot be made (nothing changes then); after the switch nothing fails outwards:
    // failures end in a new renderer or in the view's own drawing, and the status says which.
    // The notification terminalViewGpuRendererStatusDidChange carries the view (a TerminalView*).
    [[nodiscard]] std::optional<GpuError> setUseGpu(bool enabled) { return gpu_->setUseGpu(enabled); }
    bool isUsingGpuRenderer() const { return gpu_->isUsingGpuRenderer(); }
    const GpuRendererStatus& gpuRendererStatus() const { return gpu_->gpuRendererStatus(); }
    GpuBufferingMode gpuBufferingMode() const { return gpu_->gpuBufferingMode(); }
    void setGpuBufferingMode(GpuBufferingMode mode) { gpu_->setGpuBufferingMode(mode); }
    // Drawn at this scale instead of the window's; a value that is not finite is ignored.
    std::optional<double> gpuScaleFactorOverride() const { return gpu_->gpuScaleFactorOverride(); }
    void setGpuScaleFactorOverride(std::optional<double> scale) { gpu_->setGpuScaleFactorOverride(scale); }
    void drawGpuFrameNow() { gpu_->drawGpuFrameNow(); }
    bool isGpuRendererEligibleForRetry() const { return gpu_->isGpuRendererEligibleForRetry(); }
    // A GPU frame 16.67 ms from now (with a GPU view).
    void queueGpuDisplay() { gpu_->queueGpuDisplay(); }
    // Absolute buffer lines the renderer must rebuild, and the cursor last handed to it; each
    // display pass replaces them.
    const std::optional<std::pair<int, int>>& gpuDirtyRange() const { return gpu_->gpuDirtyRange; }
    const std::optional<GpuRendererHosting::RenderedCursor>& lastRenderedCursor() const {
        return gpu_->lastRenderedCursor;
    }
    GpuRendererHosting& gpuHosting() { return *gpu_; }

protected:
    void viewDidUnhide() override;
    void viewDidChangeBackingProperties() override;
    void viewDidMoveToWindow() override;
    void windowDidChangeKeyState() override;
    void resizeSubviews(Size oldSize) override;

private:
    // --- GpuRendererHosting::Owner ---------------------------------------------------------------
    platform::ui::View& hostingView() override { return *this; }
    std::any hostingNotificationObject() override { return this; }
    const Terminal& hostingTerminal() const override { return *terminal_; }
    TerminalView* hostingTerminalView() override { return this; }
    bool hostingFontSmoothing() const override { return settings_.fontSmoothing; }
    double hostingBackingScale() const override { return backingScale(); }
    bool hostingCaretTracksFocus() const override { return caretView_->tracksFocus; }
    bool hostingHasFocus() const override { return hasFocus(); }
    bool hostingCaretBlinkHeld() const override { return caretBlinkResume_ != nullptr || !caretMayBlink(); }
    Rgba hostingNativeForeground() const override { return nativeFg_; }
    Rgba hostingNativeBackground() const override { return nativeBg_; }
    platform::ui::View* hostingCaretView() override { return caretView_.get(); }
    platform::ui::View* hostingScroller() override { return &scroller_; }
    void hostingHideCaret() override;
    void hostingRestoreCaret() override;
    // The display pass's GPU branch: what the renderer repaints instead of a rectangle.
    void updateGpuDisplay(const RedrawRows& rows, int start, int end);

    void setup();
    void setupScroller();
    void setupProgressBar();
    void setupFocusNotification() {}
    void layoutScrollerAndProgressBar();
    void fullRedraw();
    void updateUserScrollingState(int row, const Buffer& buffer);
    bool shouldDisplayImmediatelyAfterUserInput() const;
    void displayImmediately();
    void collectPayloadIfLinksWereAdded();
    void holdCaretBlink();
    // The blink goes on for the desktop's timeout from now.
    void restartCaretBlinkTimeout();
    void markRowsDirty(const std::vector<int>& absoluteRows);
    void textBlinkTick();
    void clearProgressReport();
    void handleProgressReport(const ProgressReport& report);
    // The engine resize with the owner's notice and the scroller: resize() without the reset.
    void resizeGrid(int cols, int rows);
    void layerColorChanged();
    // The colours, underline and strikethrough of an attribute dictionary.
    void addColorsAndDecorations(TextAttributes& attributes, const Attribute& attribute, Rgba foreground,
                                 Rgba background);
    Rgba nativeSkipBackground() const;
    // What a drawn row's look hangs on besides its stamp.
    struct RowLook {
        bool blinks = false;
        bool reusable = true;
    };
    RowLook drawRow(int row, Canvas& canvas, int bufferOffset, const RowPainter& painter);
    // A painter with the view's cell, fonts, colours and pictures as they are now.
    RowPainter rowPainter();
    // `intoWindow`: drawing the window's surface, whose bands are remembered.
    void drawTerminalContents(const Rect& dirtyRect, Canvas& canvas, int bufferOffset, bool intoWindow);
    // The rows of one part of the dirty area.
    void drawRows(const Rect& area, Canvas& canvas, int bufferOffset, bool intoWindow);

    // --- Moving drawn rows (TerminalViewDrawnRows.cpp) -----------------------------------------
    // What an absolute row looks like now, blinking text in the current phase.
    DrawnRows::Stamp rowStamp(int row) const;
    // The same for a row just drawn with `look`.
    DrawnRows::Stamp drawnStamp(int row, const RowLook& look) const;
    // A band was drawn (whole when the window drew all of it): `above` is the row drawn just
    // before it in the same pass, none when there was none.
    void recordDrawnBand(int band, const std::optional<DrawnRows::Stamp>& above, const DrawnRows::Stamp& stamp);
    // After output on the live screen: when the rows moved, moves their drawn pixels and marks
    // dirty what must still be drawn. False when nothing was moved.
    bool moveDrawnRows();
    // The bands' stamps hold for this cell size, frame and scale only.
    bool drawnGeometryHolds();
    uint64_t highlightStamp(int row) const;
    // What sizing and drawing images takes of the view: the window's scale, 1 without a window.
    InlineImageView imageView() const;
    RowImageRenderer::Geometry imageGeometry() const;

    // What the window's surface shows of each screen row, the bands whose row above must draw
    // with them (what it reaches into them), the engine's full-screen updates seen so far, and
    // what the stamps hold for (cell size, frame size, scale).
    DrawnRows drawnRows_;
    std::vector<bool> drawRowAbove_;
    uint64_t fullScreenUpdatesSeen_ = 0;
    std::array<double, 5> drawnGeometry_{};

    // Pictures of Kitty payloads, and the virtual placements of the frame being drawn.
    KittyPictureCache kittyPictures_;
    RowImageRenderer::VirtualPlacements framePlacements_;

    // The loop the view's timers run on, the engine's scheduler on it, and a token that queued
    // work checks so that it never reaches a view that is gone.
    platform::runtime::MainLoop& loop_;
    LoopScheduler scheduler_;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
    // Input waiting behind a large paste, and whether its next pieces are due on the loop.
    PasteQueue pasteQueue_;
    bool pastePiecesDue_ = false;
    // The places of pastes still coming from another program, by stream.
    struct IncomingPaste {
        PasteEnded ended;
        // Gives the read up; empty until the items or the text are asked for.
        platform::ui::Pasteboard::CancelRead cancel;
        size_t came = 0;
        PasteStop stop = PasteStop::none;
        // The text read's window (none while the items are read).
        std::shared_ptr<platform::ui::Pasteboard::ReadAhead> ahead;
    };
    std::map<PasteQueue::Stream, IncomingPaste> incomingPastes_;
    // Pastes whose read ended, until their last byte went out.
    struct OutgoingPaste {
        PasteEnded ended;
        platform::ui::Pasteboard::ReadEnd end;
        PasteStop stop = PasteStop::none;
        // inputHandedOver_ once its last byte was handed over: it went out once the writer wrote that far.
        std::optional<uint64_t> lastByteAt;
    };
    std::map<PasteQueue::Stream, OutgoingPaste> outgoingPastes_;
    // Bytes of input handed to the delegate since the view began.
    uint64_t inputHandedOver_ = 0;
    // Bytes handed over that the child has not read yet (held by the delegate, its process's queue).
    uint64_t inputUnreadByChild() const;
    size_t pasteReadAheadBytes_ = pasteReadAhead;
    // Time the queue held input ready for the child (it is the child's, not a clipboard owner's):
    // the clock typed input waits on runs without it.
    platform::runtime::Duration childTime_{};
    std::optional<platform::runtime::TimePoint> childBusySince_;
    uint64_t ownerClockNs() const;
    bool typedInputWatched_ = false;
    std::function<void(size_t, PasteStop)> pastedTextDropped_;
    bool pasteStopDiscardedUnread_ = false;
    bool pasteStopReachedRawReader_ = false;
    bool pasteStopReachedRelay_ = false;
    // The Ctrl+C that stopped a paste the program reads framed: it goes once the program has read
    // the paste's end (set while the key is handled, taken by the send it makes).
    bool interruptWaitsForRead_ = false;
    // The key being sent is an interrupt with no paste to stop: the user insists.
    bool interruptInsists_ = false;
    // Whether a paste is still coming or going out.
    bool pastesUnderWay() const;
    // Ends a paste still coming as cut short: what came is closed as a paste, what waits behind goes.
    void stopIncomingPaste(PasteQueue::Stream stream, PasteStop why);
    // A paste's read ended (`end`): it goes out, and its owner hears of it once it went.
    void endIncomingPaste(PasteQueue::Stream stream, const platform::ui::Pasteboard::ReadEnd& end);
    // After input was taken or dropped: each read hears what its paste holds, a paste that went
    // out whole is told, and the child's time is counted. True while a paste handed over whole
    // waits for its last byte to leave the writer.
    bool followPasteStreams();
    // Notes the pastes whose last byte was just handed over.
    void markPastesHandedOver();
    // Watches typed input waiting behind a paste still coming, to cut the paste at the limit.
    void watchTypedInput();
    // Whether pasted text keeps anything once filtered (a paste that would send only its frame).
    static bool keepsTextWhenPasted(std::string_view text);
    void sendPastePieces();
    void schedulePastePieces(platform::runtime::Duration delay);
    void noteUserInput();
    // `paste`: the paste it is the text of (PasteQueue::frontPaste), 0 for anything else.
    void deliverInput(std::span<const uint8_t> data, uint64_t paste = 0, bool whenRead = false, bool insists = false);

    // Construction state.
    TerminalOptions startupOptions_;
    FontSet fontSet_;
    std::optional<Size> cellDimension_;
    double lineSpacing_ = 1.0;

    // The engine first: the services below unregister from it when they go.
    std::unique_ptr<Terminal> terminal_;
    std::unique_ptr<SelectionService> selection_;
    std::unique_ptr<SearchService> search_;
    std::unique_ptr<CaretView> caretView_;
    bool showsCaret_ = true;
    platform::ui::Scroller scroller_;
    std::unique_ptr<TerminalProgressBarView> progressBar_;
    std::vector<std::unique_ptr<platform::ui::View>> bellFlashes_;

    // Colours.
    Rgba nativeFg_{0, 0, 0, 1};
    Rgba nativeBg_{1, 1, 1, 1};
    bool settingFg_ = false;
    bool settingBg_ = false;
    bool cursorColorIsDefault_ = true;
    bool cursorTextColorIsDefault_ = true;
    Rgba selectedTextBackgroundColor_ = defaultSelectedTextBackgroundColor;
    Rgba selectedTextForegroundColor_ = defaultSelectedTextForegroundColor;

    // Render caches, emptied together by resetCaches().
    platform::gfx::BoundedCache<Attribute, TextAttributes> attributes_{{.entries = attributeCacheLimit}};
    platform::gfx::BoundedCache<Attribute, TextAttributes> urlAttributes_{{.entries = attributeCacheLimit}};
    std::array<std::optional<Rgba>, 256> colors_;
    platform::gfx::BoundedCache<Attribute::Color, Rgba> trueColors_{{.entries = trueColorCacheLimit}};

    TerminalViewSettings settings_;

    // Display scheduling and input.
    bool pendingDisplay_ = false;
    std::shared_ptr<platform::runtime::WorkItem> displayTimer_;
    std::optional<platform::runtime::Duration> streamingDisplayInterval_;
    // When queued output was last redrawn, and when the asked redraw comes.
    std::optional<platform::runtime::TimePoint> lastQueuedDisplay_;
    platform::runtime::TimePoint displayDue_{};
    // Paced views take turns in frames by this number.
    uint64_t streamingTurn_ = 0;
    platform::runtime::TimePoint streamingDue(platform::runtime::TimePoint earliest) const;
    uint64_t displayUpdates_ = 0;
    uint64_t rowMoves_ = 0;
    mutable std::mutex userInputLock_;
    uint64_t lastUserInputUptimeNs_ = 0;
    bool userScrolling_ = false;
    size_t payloadCodesAtCollection_ = 0;
    uint64_t payloadCodesRefusedAtCollection_ = 0;
    std::shared_ptr<platform::runtime::WorkItem> payloadTimer_;
    std::optional<int64_t> lastPayloadCollectionNs_;

    // The owner's delegate and the debug view; neither is owned.
    TerminalViewDelegate* terminalDelegate_ = nullptr;
    TerminalDebugView* debug_ = nullptr;

    // Focus.
    bool hasFocus_ = false;
    std::shared_ptr<platform::runtime::WorkItem> caretBlinkResume_;
    // The last key or focus change, from which the desktop's blink timeout counts.
    platform::runtime::TimePoint caretBlinkRestartedAt_{};

    // Text blinking.
    std::shared_ptr<platform::runtime::WorkItem> textBlinkTimer_;
    std::vector<platform::runtime::NotificationCenter::Subscription> textBlinkObservers_;
    bool textBlinkApplicationActive_ = true;
    bool textBlinkVisible_ = true;

    // Progress reports.
    std::shared_ptr<platform::runtime::WorkItem> progressTimer_;
    std::optional<uint8_t> lastProgressValue_;

    // Text being composed by the input method (UTF-8), with its cursor in UTF-16 units.
    std::string markedText_;
    platform::ui::TextRange markedSelection_;
    std::unique_ptr<DictationOverlayTextView> markedTextOverlay_;
    void refreshMarkedTextOverlay();

    // Keyboard. A key down handed to the input method while Kitty flags are set is kept, so that
    // the text or command it produces is encoded as that key.
    struct PendingKittyKeyEvent {
        KeyEvent event;
        KittyKeyboardEventType eventType = KittyKeyboardEventType::press;
    };
    std::optional<PendingKittyKeyEvent> pendingKittyKeyEvent_;
    // An input-method composition is open.
    bool kittyIsComposing_ = false;
    void sendKittyKeyDown(const KeyEvent& event, KittyKeyboardFlags flags);
    bool pageKey(const KeyEvent& event);

    // Mouse. The press: whether a selection was active, whether it dragged, its clicks, and
    // whether it started the local gestures (a semantic-prompt click may follow).
    SemanticPromptPointerSnapshot pointerPressSnapshot_;
    bool didSelectionDrag_ = false;
    // How long a single click on a prompt waits for a second one (the double-click interval).
    double semanticClickCoalescingDelay_ = platform::ui::SystemSettings::doubleClickInterval();
    std::optional<Point> lastSelectionDragPoint_;
    int semanticDeferralScheduleCount_ = 0;
    int autoScrollDelta_ = 0;
    double scrollAccumulator_ = 0;
    // The link under the pointer (absolute rows) and whether the link modifier is held.
    std::optional<std::vector<Terminal::LinkMatch::RowRange>> linkHighlightRange_;
    bool commandActive_ = false;
    bool reportingTestPasses(const MouseEvent& event) const;
    // The screen row of a hit with the view where it stands now.
    int screenRowOf(const MouseHit& hit) const;
    void sendMouseReport(int flags, const MouseHit& hit);
    void sendMouseReport(int flags, const MouseHit& hit, int screenRow);
    // A press reported to the program; its release is owed to it.
    bool pressReported_ = false;
    // A press with the link modifier over a link: neither it nor its drags are reported.
    bool pressOnLink_ = false;
    // Where the press hit, for a drag that starts a selection.
    std::optional<Position> pressPosition_;
    // While a mouse report goes out through the engine: its bytes are user input.
    bool sendingUserReport_ = false;
    std::shared_ptr<platform::runtime::WorkItem> pendingSemanticClick_;
    std::unique_ptr<platform::ui::View> urlPreview_;
    std::shared_ptr<platform::runtime::WorkItem> autoScrollTimer_;

    // Find.
    std::unique_ptr<TerminalFindBarView> findBar_;
    std::string findBarTerm_;
    SearchOptions findBarOptions_;
    void prepareSearch();
    void layoutFindBar();
    void setFindPasteboardFromSelection();

    // The GPU renderer's hosting; made with the view (before its setup), gone first.
    std::shared_ptr<GpuRendererHosting> gpu_ = GpuRendererHosting::make(*this);
};

}  // namespace vantel
