#include "vantel/core/Terminal.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <cstdlib>

#include "vantel/core/CellWriter.h"
#include "vantel/core/SelectionService.h"

namespace vantel {

namespace {

GraphicsProtocols::Factory& graphicsFactory() {
    static GraphicsProtocols::Factory factory;
    return factory;
}

}  // namespace

void GraphicsProtocols::setFactory(Factory factory) { graphicsFactory() = std::move(factory); }

std::unique_ptr<GraphicsProtocols> GraphicsProtocols::make(Terminal& terminal) {
    auto& factory = graphicsFactory();
    return factory ? factory(terminal) : nullptr;
}

const Terminal::BidiStateProperties& Terminal::allBidiStateProperties() {
    static const BidiStateProperties all = {BidiStateProperty::supportMode, BidiStateProperty::autodetectDirection,
                                            BidiStateProperty::fallbackDirection, BidiStateProperty::boxMirroring};
    return all;
}

Terminal::Terminal(TerminalDelegate* delegate, TerminalOptions options, Scheduler* scheduler)
    : tdel_(delegate), scheduler_(scheduler), options_(std::move(options)),
      cellWriters_(std::make_unique<CellWriterCache>()) {
    installedColors = Color::terminalAppColors();
    rebuildAnsiPalette(false);
    currentBidiState = options_.initialBidiState;
    bidiArrowKeySwap = options_.initialBidiArrowKeySwap;

    parser_ = std::make_unique<EscapeSequenceParser>(this);
    parser_->maximumStringLength = options_.maximumStringLength;
    blankLine_ = BufferLine::make(0);

    // The screens start at their real size: tab stops are set up for the width they start with.
    cols_ = std::clamp(options_.cols, MINIMUM_COLS, MAXIMUM_COLS);
    rows_ = std::clamp(options_.rows, MINIMUM_ROWS, MAXIMUM_ROWS);
    normalBuffer_ = std::make_unique<Buffer>(cols_, rows_, tabStopWidth, options_.scrollback, currentBidiState);
    normalBuffer_->fillViewportRows(Attribute::defaultAttribute);
    altBuffer_ = std::make_unique<Buffer>(cols_, rows_, tabStopWidth, std::nullopt, currentBidiState);
    buffer_ = normalBuffer_.get();
    cc.send8bit = false;

    configureParser(*parser_);
    installScrollCallback(*normalBuffer_);
    installScrollCallback(*altBuffer_);
    normalBuffer_->setupTabStops(-1, tabStopWidth);
    altBuffer_->setupTabStops(-1, tabStopWidth);
    graphics_ = GraphicsProtocols::make(*this);
    setup(false);
}

Terminal::~Terminal() {
    if (synchronizedOutputTimeoutItem_) synchronizedOutputTimeoutItem_->cancel();
    for (SelectionService* selection : selections_) selection->detachFromTerminal();
    // Payloads of a closed terminal must not stay in the process-wide table.
    TinyAtom::release(payloadCodes_);
    graphics_.reset();
}

void Terminal::installScrollCallback(Buffer& buffer) {
    buffer.scroll = [this](bool isWrapped) { scroll(isWrapped); };
}

void Terminal::setup(bool isReset) {
    cols_ = std::clamp(options_.cols, MINIMUM_COLS, MAXIMUM_COLS);
    rows_ = std::clamp(options_.rows, MINIMUM_ROWS, MAXIMUM_ROWS);
    if (isReset) {
        resetNormalBuffer();
        activateNormalBuffer(false);
        // Leaving the alternate screen carried its cursor over; a reset starts at home.
        normalBuffer_->setX(0);
        normalBuffer_->setY(0);
        resetSemanticPromptState(true);
    } else {
        normalBuffer_->resize(cols_, rows_);
        altBuffer_->resize(cols_, rows_);
    }
    cursorHidden = false;
    applicationKeypad = false;
    applicationCursor = false;
    if (reverseColors) {
        reverseColors = false;
        refreshStart_ = 0;
        refreshEnd_ = rows_;
        scrollInvariantRefreshStart_ = buffer_->yDisp();
        scrollInvariantRefreshEnd_ = buffer_->yDisp() + rows_;
        if (tdel_) tdel_->colorChanged(*this, std::nullopt);
    }
    originMode = false;
    marginMode = normalBuffer_->marginMode = altBuffer_->marginMode = false;
    insertMode = normalBuffer_->insertMode = altBuffer_->insertMode = false;
    wraparound = normalBuffer_->wraparound = altBuffer_->wraparound = true;
    bracketedPasteMode = false;
    alternateScrollMode = true;
    keyboardModeNormal = KeyboardModeState();
    keyboardModeAlt = KeyboardModeState();
    gCharsets = {};
    charset = gCharsets[0];
    gLevel = 0;
    curAttr = Attribute::defaultAttribute;
    mouseMode = MouseMode::off;
    if (tdel_) tdel_->mouseModeChanged(*this);
    mouseShiftCapture = false;
    buffer_->setScrollTop(0);
    buffer_->setScrollBottom(rows_ - 1);
    buffer_->marginLeft = 0;
    buffer_->marginRight = cols_ - 1;
    cc.send8bit = false;
    conformance = TerminalConformance::vt500;
    allow80To132 = false;
    xtermTitleSetUtf = xtermTitleSetHex = xtermTitleQueryUtf = xtermTitleQueryHex = false;
    activeHyperlink.reset();
    cursorBlink = false;
    hostCurrentDirectory.reset();
    lineFeedMode = options_.convertEol;
}

std::vector<std::string> Terminal::getEnvironmentVariables(std::optional<std::string> termName, bool trueColor) {
    std::vector<std::string> env;
    env.push_back("TERM=" + termName.value_or("xterm-256color"));
    if (trueColor) env.push_back("COLORTERM=truecolor");
    env.push_back("LANG=en_US.UTF-8");
    for (const char* name : {"LOGNAME", "USER", "DISPLAY", "LC_TYPE", "HOME"}) {
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    return env;
}

// --- Buffers ----------------------------------------------------------------------------

void Terminal::resetNormalBuffer() {
    if (buffer_ == normalBuffer_.get()) buffer_ = nullptr;
    normalBuffer_ = std::make_unique<Buffer>(cols_, rows_, tabStopWidth, options_.scrollback, currentBidiState);
    installScrollCallback(*normalBuffer_);
    normalBuffer_->fillViewportRows(Attribute::defaultAttribute);
    normalBuffer_->setupTabStops(-1, tabStopWidth);
    // A reset always returns to the normal screen; never leave the active pointer dangling.
    if (!buffer_) buffer_ = normalBuffer_.get();
}

void Terminal::activateNormalBuffer(bool clearAlt) {
    if (buffer_ == normalBuffer_.get()) return;
    semanticNoteAlternateScreenSwitch();
    if (altBuffer_->x() >= 0) normalBuffer_->setX(altBuffer_->x());
    if (altBuffer_->y() >= 0) normalBuffer_->setY(altBuffer_->y());
    if (clearAlt) {
        clearKittyImages(*altBuffer_, true);
        altBuffer_->clear();
    }
    buffer_ = normalBuffer_.get();
}

void Terminal::activateAltBuffer(std::optional<Attribute> fillAttr) {
    if (buffer_ == altBuffer_.get()) return;
    semanticNoteAlternateScreenSwitch();
    if (normalBuffer_->x() >= 0) altBuffer_->setX(normalBuffer_->x());
    if (normalBuffer_->y() >= 0) altBuffer_->setY(normalBuffer_->y());
    if (altBuffer_->lines().count() == 0) {
        const Attribute fill = fillAttr.value_or(Attribute::defaultAttribute);
        for (int i = 0; i < altBuffer_->rows(); ++i) altBuffer_->lines().push(altBuffer_->getBlankLine(fill));
    }
    buffer_ = altBuffer_.get();
    clearKittyImages(*altBuffer_, true);
}

void Terminal::resizeBuffers(int newColumns, int newRows) {
    const int distance = normalBuffer_->savedY - normalBuffer_->y();
    normalBuffer_->resize(newColumns, newRows);
    normalBuffer_->savedY = normalBuffer_->y() + distance;
    altBuffer_->resize(newColumns, newRows);
}

// --- Accessors --------------------------------------------------------------------------

BufferLine* Terminal::getLine(int row) {
    if (row < 0 || row >= rows_) return nullptr;
    return &buffer_->lines()[buffer_->yDisp() + row];
}

BufferLine* Terminal::getScrollInvariantLine(int row) {
    const int top = buffer_->totalLinesTrimmed();
    if (row < top || row >= top + buffer_->lines().count()) return nullptr;
    return &buffer_->lines()[row - top];
}

std::optional<CharData> Terminal::getCharData(int col, int row) {
    if (col < 0 || col >= cols_) return std::nullopt;
    BufferLine* line = getLine(row);
    if (!line || line->count() == 0) return std::nullopt;
    return (*line)[col];
}

std::optional<Character> Terminal::getCharacter(int col, int row) {
    auto cell = getCharData(col, row);
    if (!cell) return std::nullopt;
    return character(cell->code);
}

KittyKeyboardFlags Terminal::keyboardEnhancementFlags() const {
    return isCurrentBufferAlternate() ? keyboardModeAlt.flags : keyboardModeNormal.flags;
}

void Terminal::registerOscHandler(int64_t code, std::function<void(std::span<const uint8_t>)> handler) {
    parser_->oscHandlers[code] = std::move(handler);
}

// --- Graphemes --------------------------------------------------------------------------

int32_t Terminal::code(const Character& ch) {
    if (auto interned = internedCode(ch)) return *interned;
    // The table is full: a lone scalar is stored as itself, a cluster as its first scalar.
    return ch.empty() ? 0 : static_cast<int32_t>(ch[0]);
}

std::optional<int32_t> Terminal::internedCode(const Character& ch) {
    if (ch.size() == 1) {
        if (ch[0] <= 0xFFFF) return static_cast<int32_t>(ch[0]);
        auto known = scalarToIndexMap_.find(ch[0]);
        if (known != scalarToIndexMap_.end()) return known->second;
        if (graphemeTableFull()) return std::nullopt;
        const int32_t index = lastCharIndex_++;
        scalarToIndexMap_.emplace(ch[0], index);
        indexToCharMap_.emplace(index, ch);
        return index;
    }
    if (ch == U"\r\n") return 10;
    auto it = charToIndexMap_.find(ch);
    if (it != charToIndexMap_.end()) return it->second;
    if (graphemeTableFull() || internedClusterScalars_ + ch.size() > maximumInternedClusterScalars) return std::nullopt;
    const int32_t index = lastCharIndex_++;
    internedClusterScalars_ += ch.size();
    charToIndexMap_.emplace(ch, index);
    indexToCharMap_.emplace(index, ch);
    return index;
}

Character Terminal::character(int32_t code) const {
    if (code <= CharData::maxRune) {
        if (code < 0 || !isUnicodeScalar(static_cast<uint32_t>(code))) return U" ";
        return Character(1, static_cast<char32_t>(code));
    }
    auto it = indexToCharMap_.find(code);
    return it == indexToCharMap_.end() ? Character(U" ") : it->second;
}

// --- Feeding, dirty rows and replies ------------------------------------------------------

void Terminal::feed(std::span<const uint8_t> bytes) {
    bytesFed_ += bytes.size();
    parser_->parse(bytes);
}

void Terminal::feed(std::string_view text) {
    feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void Terminal::refresh(int startRow, int endRow) {
    updateRange(startRow, false);
    updateRange(endRow, false);
}

void Terminal::updateFullScreen() {
    ++fullScreenUpdates_;
    refreshStart_ = 0;
    refreshEnd_ = rows_;
    scrollInvariantRefreshStart_ = buffer_->yDisp();
    scrollInvariantRefreshEnd_ = buffer_->yDisp() + rows_;
}

std::optional<std::pair<int, int>> Terminal::getUpdateRange() const {
    if (refreshEnd_ == -1 && refreshStart_ == INT_MAX) return std::nullopt;
    return std::make_pair(refreshStart_, refreshEnd_);
}

std::optional<std::pair<int, int>> Terminal::getScrollInvariantUpdateRange() const {
    if (scrollInvariantRefreshEnd_ == -1 && scrollInvariantRefreshStart_ == INT_MAX) return std::nullopt;
    return std::make_pair(scrollInvariantRefreshStart_, scrollInvariantRefreshEnd_);
}

void Terminal::clearUpdateRange() {
    refreshStart_ = scrollInvariantRefreshStart_ = INT_MAX;
    refreshEnd_ = scrollInvariantRefreshEnd_ = -1;
}

void Terminal::sendResponse(std::span<const uint8_t> bytes) {
    if (tdel_) tdel_->send(*this, bytes);
}

void Terminal::sendResponse(std::string_view text) {
    sendResponse(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void Terminal::log(const std::string& message) const {
    if (silentLog) return;
    std::printf("Info: %s\n", message.c_str());
    std::fflush(stdout);
}

// --- Synchronized output ------------------------------------------------------------------

void Terminal::beginSynchronizedOutput() {
    const bool wasActive = synchronizedOutputActive_;
    synchronizedOutputActive_ = true;
    scheduleSynchronizedOutputTimeout();
    if (!wasActive && tdel_) tdel_->synchronizedOutputChanged(*this, true);
}

void Terminal::scheduleSynchronizedOutputTimeout() {
    if (synchronizedOutputTimeoutItem_) synchronizedOutputTimeoutItem_->cancel();
    synchronizedOutputTimeoutItem_.reset();
    if (!scheduler_) return;
    // The item is cancelled when the terminal goes away, so `this` stays valid while it can run.
    synchronizedOutputTimeoutItem_ = scheduler_->scheduleAfter(synchronizedOutputTimeoutSeconds, [this] {
        if (synchronizedOutputActive_) endSynchronizedOutput();
    });
}

void Terminal::endSynchronizedOutput() {
    if (!synchronizedOutputActive_) return;
    synchronizedOutputActive_ = false;
    if (synchronizedOutputTimeoutItem_) synchronizedOutputTimeoutItem_->cancel();
    synchronizedOutputTimeoutItem_.reset();
    updateRange(0, false);
    updateRange(rows_ - 1, false);
    if (tdel_) tdel_->synchronizedOutputChanged(*this, false);
}

// --- Payloads -----------------------------------------------------------------------------

std::optional<TinyAtom> Terminal::makePayload(std::any value) {
    if (payloadCodes_.size() >= options_.maximumPayloadCodes) {
        // Codes die with their cells (overwritten, erased, scrolled off, reset), and nothing counts
        // that: look before refusing. A walk of the lines is paid for by output, a byte fed per cell
        // walked, so a flood of links that all stay on the lines costs next to nothing.
        if (bytesFed_ - bytesFedAtCollection_ >= payloadCellsWalked_) garbageCollectPayload();
        if (payloadCodes_.size() >= options_.maximumPayloadCodes) {
            ++payloadCodesRefused_;
            if (!payloadQuotaSaid_) {
                payloadQuotaSaid_ = true;
                if (tdel_) tdel_->payloadCodesUsedUp(*this);
            }
            return std::nullopt;
        }
    }
    auto atom = TinyAtom::lookup(std::move(value));
    if (atom) payloadCodes_.insert(atom->code);
    return atom;
}

void Terminal::garbageCollectPayload() {
    if (payloadCodes_.empty()) return;
    // One bit per possible code: no hashing per linked cell.
    std::bitset<65536> live;
    if (activeHyperlink && activeHyperlink->kind == ActiveHyperlink::Kind::resolved) live[activeHyperlink->atom.code] = true;
    uint64_t walked = 0;
    for (Buffer* b : {normalBuffer_.get(), altBuffer_.get()}) {
        b->lines().forEachStoredLine([&](const BufferLine& line) {
            const CharData* cells = line.cells();
            const int count = line.count();
            walked += static_cast<uint64_t>(std::max(count, 0));
            for (int i = 0; i < count; ++i) {
                if (cells[i].payload.code != 0) live[cells[i].payload.code] = true;
            }
        });
    }
    payloadCellsWalked_ = walked;
    bytesFedAtCollection_ = bytesFed_;
    std::vector<uint16_t> dead;
    for (uint16_t code : payloadCodes_) {
        if (!live[code]) dead.push_back(code);
    }
    if (!dead.empty()) {
        TinyAtom::release(dead);
        for (uint16_t code : dead) payloadCodes_.erase(code);
    }
    if (payloadCodes_.size() <= options_.maximumPayloadCodes / 2) payloadQuotaSaid_ = false;
}

// --- Palette and colours --------------------------------------------------------------------

void Terminal::installPalette(const std::vector<Color>& colors) {
    if (colors.size() != 16) return;
    installedColors = colors;
    rebuildAnsiPalette(false);
}

void Terminal::rebuildAnsiPalette(bool notifyDelegate) {
    switch (options_.ansi256PaletteStrategy) {
    case Ansi256PaletteStrategy::xterm:
        defaultAnsiColors = Color::generateXtermPalette(installedColors);
        break;
    case Ansi256PaletteStrategy::base16Lab:
    case Ansi256PaletteStrategy::base16LabHarmonious:
        defaultAnsiColors = Color::generateBase16LabPalette(
            installedColors, backgroundColor_, foregroundColor_,
            options_.ansi256PaletteStrategy == Ansi256PaletteStrategy::base16LabHarmonious);
        break;
    }
    ansiColors = defaultAnsiColors;
    if (notifyDelegate && tdel_) tdel_->colorChanged(*this, std::nullopt);
}

void Terminal::setAnsi256PaletteStrategy(Ansi256PaletteStrategy strategy) {
    if (strategy == options_.ansi256PaletteStrategy) return;
    options_.ansi256PaletteStrategy = strategy;
    rebuildAnsiPalette(true);
}

void Terminal::setForegroundColor(const Color& color) {
    foregroundColor_ = color;
    if (settingFgColor_) return;
    settingFgColor_ = true;
    if (tdel_) tdel_->setForegroundColor(*this, color);
    settingFgColor_ = false;
    if (options_.ansi256PaletteStrategy != Ansi256PaletteStrategy::xterm) rebuildAnsiPalette(true);
}

void Terminal::setBackgroundColor(const Color& color) {
    backgroundColor_ = color;
    if (settingBgColor_) return;
    settingBgColor_ = true;
    if (tdel_) tdel_->setBackgroundColor(*this, color);
    settingBgColor_ = false;
    if (options_.ansi256PaletteStrategy != Ansi256PaletteStrategy::xterm) rebuildAnsiPalette(true);
}

void Terminal::setCursorColor(const std::optional<Color>& color) {
    cursorColor_ = color;
    if (settingCursorColor_) return;
    settingCursorColor_ = true;
    if (tdel_) tdel_->setCursorColor(*this, color);
    settingCursorColor_ = false;
}

// --- Selections ------------------------------------------------------------------------------

void Terminal::registerSelection(SelectionService* selection) {
    if (std::find(selections_.begin(), selections_.end(), selection) == selections_.end()) {
        selections_.push_back(selection);
    }
}

void Terminal::unregisterSelection(SelectionService* selection) {
    selections_.erase(std::remove(selections_.begin(), selections_.end(), selection), selections_.end());
}

void Terminal::selectionsInvalidateForColumnRestrictedScroll(int top, int bottom, int left, int right) {
    // Copy: deactivating notifies the delegate, which may change the list.
    std::vector<SelectionService*> current = selections_;
    for (SelectionService* selection : current) selection->invalidateForColumnRestrictedScroll(top, bottom, left, right);
}

// --- Graphics -----------------------------------------------------------------------------------

void Terminal::handleKittyGraphics(std::span<const uint8_t> content) {
    if (graphics_) graphics_->handleKittyGraphics(content);
}

bool Terminal::mayHoldInput() { return scheduler_ && tdel_ && tdel_->feedsInSteps(*this); }

bool Terminal::holdsInput() const { return parser_->holdingInput(); }

void Terminal::inputReleased() {
    if (tdel_) tdel_->inputReleased(*this);
}

void Terminal::finishHeldInputWork() {
    if (graphics_) graphics_->finishPendingWork();
    // Whatever held the input is done with it now.
    parser_->releaseInput();
}

void Terminal::clearKittyImages(Buffer& target, bool isAlternateBuffer) {
    if (graphics_) graphics_->clearKittyImages(target, isAlternateBuffer);
}

void Terminal::clearAllKittyImages() {
    for (Buffer* b : {buffer_, buffer_ == normalBuffer_.get() ? altBuffer_.get() : normalBuffer_.get()}) {
        if (!b->hasAnyImages()) continue;
        for (int row = 0; row < b->lines().count(); ++row) b->clearImagesFromLine(row);
    }
    if (graphics_) graphics_->clearAllKittyImages();
    updateRange(buffer_->scrollTop(), false);
    updateRange(buffer_->scrollBottom(), false);
}

void Terminal::updateKittyRelativePlacementsForCurrentBuffer() {
    if (graphics_) graphics_->updateKittyRelativePlacementsForCurrentBuffer();
}

// --- Delegate defaults -----------------------------------------------------------------------

void TerminalDelegate::setForegroundColor(Terminal& source, const Color& color) { source.setForegroundColor(color); }
void TerminalDelegate::setBackgroundColor(Terminal& source, const Color& color) { source.setBackgroundColor(color); }
void TerminalDelegate::setCursorColor(Terminal& source, const std::optional<Color>& color) {
    source.setCursorColor(color);
}
std::pair<Color, Color> TerminalDelegate::getColors(Terminal& source) {
    return {source.foregroundColor(), source.backgroundColor()};
}

}  // namespace vantel
