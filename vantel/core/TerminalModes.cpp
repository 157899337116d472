// ANSI and DEC private modes: set, reset, save (XTSAVE) and query (DECRQM).
#include "vantel/core/TextUtil.h"
#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

constexpr std::string_view decPrivateCollect = "?";

// DECRQM status values.
enum ModeStatus : int { notRecognized = 0, isSet = 1, isReset = 2, permanentlyReset = 4 };

int setOrReset(bool condition) { return condition ? isSet : isReset; }

}  // namespace

void Terminal::cmdSetMode(std::span<const int> pars, std::string_view collect) {
    for (int mode : pars) setMode(mode, collect);
}

void Terminal::cmdResetMode(std::span<const int> pars, std::string_view collect) {
    for (int mode : pars) resetMode(mode, collect);
}

void Terminal::setMode(int mode, std::string_view collect) {
    if (collect == decPrivateCollect) return setDecPrivateMode(mode, true);
    if (!collect.empty()) {
        if (silentLog) return;
        log("Unhandled setMode (SM) with " + std::to_string(mode) + " and " + text::byteList(collect));
        return;
    }
    switch (mode) {
    case 2: break;  // KAM: accepted, the keyboard is never locked
    case 4: insertMode = normalBuffer_->insertMode = altBuffer_->insertMode = true; break;
    case 8: {
        BidiPresentationState state = currentBidiState;
        state.supportMode = BidiSupportMode::implicit;
        applyBidiState(state, {BidiStateProperty::supportMode});
        break;
    }
    case 20: lineFeedMode = true; break;
    default:
        if (silentLog) break;
        log("Unhandled verbatim setMode with " + std::to_string(mode) + " and " + text::byteList(collect));
        break;
    }
}

void Terminal::resetMode(int mode, std::string_view collect) {
    if (collect == decPrivateCollect) return setDecPrivateMode(mode, false);
    if (!collect.empty()) return;
    switch (mode) {
    case 4: insertMode = normalBuffer_->insertMode = altBuffer_->insertMode = false; break;
    case 8: {
        BidiPresentationState state = currentBidiState;
        state.supportMode = BidiSupportMode::explicit_;
        applyBidiState(state, {BidiStateProperty::supportMode});
        break;
    }
    case 20: lineFeedMode = false; break;
    default: break;
    }
}

// DECCOLM: a new width and a clean page; modes, scroll-back and the rest stay as they were.
void Terminal::switchColumns(int columns) {
    resize(columns, rows_);
    static constexpr int entireScreen[] = {2};
    cmdEraseInDisplay(entireScreen);
    Buffer& b = *buffer_;
    b.setScrollTop(0);
    b.setScrollBottom(rows_ - 1);
    b.marginLeft = 0;
    b.marginRight = cols_ - 1;
    setCursor(0, 0);
    if (tdel_) tdel_->sizeChanged(*this);
}

void Terminal::setDecPrivateMode(int mode, bool set) {
    auto unhandled = [&] {
        if (silentLog) return;
        const char* what = set ? "Set (DECSET)" : "Reset (DECRST)";
        log(std::string("Unhandled DEC Private Mode ") + what + " with " + std::to_string(mode));
    };
    switch (mode) {
    case 1: applicationCursor = set; break;
    case 2:
        if (!set) return unhandled();
        // DECANM: back to ANSI, G0 is plain ASCII again.
        gCharsets[0] = nullptr;
        if (gLevel == 0) charset = nullptr;
        break;
    case 3:
        if (allow80To132) switchColumns(set ? 132 : 80);
        break;
    case 4: smoothScroll = set; break;
    case 5:
        if (reverseColors == set) break;
        reverseColors = set;
        updateFullScreen();
        if (tdel_) tdel_->colorChanged(*this, std::nullopt);
        break;
    case 6: originMode = set; break;
    case 7: wraparound = normalBuffer_->wraparound = altBuffer_->wraparound = set; break;
    case 9: setMouseMode(set ? MouseMode::x10 : MouseMode::off); break;
    case 12: cursorBlink = set; break;
    case 25:
        if (set) showCursor();
        else hideCursor();
        break;
    case 40: allow80To132 = set; break;
    case 41:
        if (set) unhandled();
        break;
    case 45:
        // Reverse wrap only makes sense while wrapping is on.
        if (!set) reverseWraparound = false;
        else if (wraparound) reverseWraparound = true;
        break;
    case 47:
        if (set) {
            enterAlternateScreen();
        } else {
            activateNormalBuffer(false);
            finishScreenSwitch();
        }
        break;
    case 63:
        if (!set) unhandled();
        break;
    case 66: applicationKeypad = set; break;
    case 69: marginMode = normalBuffer_->marginMode = altBuffer_->marginMode = set; break;
    case 95:
    case 1034: break;
    case 1000: setMouseMode(set ? MouseMode::vt200 : MouseMode::off); break;
    case 1002: setMouseMode(set ? MouseMode::buttonEventTracking : MouseMode::off); break;
    case 1003: setMouseMode(set ? MouseMode::anyEvent : MouseMode::off); break;
    case 1004:
        sendFocus = set;
        if (set) sendFocusReport();
        break;
    case 1005: mouseProtocol = set ? MouseProtocolEncoding::utf8 : MouseProtocolEncoding::x10; break;
    case 1006: mouseProtocol = set ? MouseProtocolEncoding::sgr : MouseProtocolEncoding::x10; break;
    case 1007: alternateScrollMode = set; break;
    case 1015: mouseProtocol = set ? MouseProtocolEncoding::urxvt : MouseProtocolEncoding::x10; break;
    case 1016: mouseProtocol = set ? MouseProtocolEncoding::sgrPixel : MouseProtocolEncoding::x10; break;
    case 1047:
        if (set) {
            enterAlternateScreen();
        } else {
            activateNormalBuffer(true);
            finishScreenSwitch();
        }
        break;
    case 1048:
        if (set) cmdSaveCursor({});
        else cmdRestoreCursor({});
        break;
    case 1049:
        if (set) {
            cmdSaveCursor({});
            enterAlternateScreen();
        } else {
            activateNormalBuffer(true);
            cmdRestoreCursor({});
            finishScreenSwitch();
        }
        break;
    case 1243: bidiArrowKeySwap = set; break;
    case 2004: bracketedPasteMode = set; break;
    case 2026:
        if (set) beginSynchronizedOutput();
        else endSynchronizedOutput();
        break;
    case 2500: {
        BidiPresentationState state = currentBidiState;
        state.boxMirroring = set;
        applyBidiState(state, {BidiStateProperty::boxMirroring});
        break;
    }
    case 2501: {
        BidiPresentationState state = currentBidiState;
        state.autodetectDirection = set;
        applyBidiState(state, {BidiStateProperty::autodetectDirection});
        break;
    }
    default: unhandled(); break;
    }
}

void Terminal::enterAlternateScreen() {
    activateAltBuffer(std::nullopt);
    finishScreenSwitch();
}

// Redraw and notify after either screen became active.
void Terminal::finishScreenSwitch() {
    updateRange(0, false);
    updateRange(rows_ - 1, false);
    showCursor();
    if (tdel_) tdel_->bufferActivated(*this);
}

void Terminal::applyBidiState(const BidiPresentationState& state, const BidiStateProperties& changed) {
    currentBidiState = state;
    normalBuffer_->defaultBidiState = state;
    altBuffer_->defaultBidiState = state;
    applyCurrentBidiStateAtParagraphStart(changed);
    updateFullScreen();
}

void Terminal::cmdSavePrivateModes(std::span<const int> pars) {
    for (int mode : pars) {
        switch (mode) {
        case 1243: savedBidiPrivateModes[mode] = bidiArrowKeySwap; break;
        case 2500: savedBidiPrivateModes[mode] = currentBidiState.boxMirroring; break;
        case 2501: savedBidiPrivateModes[mode] = currentBidiState.autodetectDirection; break;
        default: break;
        }
    }
}

namespace {

int ansiModeStatus(const Terminal& t, int mode) {
    switch (mode) {
    case 1: case 5: case 7: case 10: case 11: case 13: case 14:
    case 15: case 16: case 17: case 18: case 19: return permanentlyReset;
    case 2:
    case 3: return isReset;
    case 4: return setOrReset(t.insertMode);
    case 8: return setOrReset(t.currentBidiState.supportMode == BidiSupportMode::implicit);
    case 12: return isSet;
    case 20: return setOrReset(t.lineFeedMode);
    default: return notRecognized;
    }
}

int decModeStatus(const Terminal& t, int mode) {
    using MouseMode = Terminal::MouseMode;
    using Encoding = Terminal::MouseProtocolEncoding;
    switch (mode) {
    case 1: return setOrReset(t.applicationCursor);
    case 2: case 8: case 18: case 19: case 95: return isSet;
    case 3: return setOrReset(t.buffer().cols() == 132);
    case 4: return setOrReset(t.smoothScroll);
    case 5: return setOrReset(t.reverseColors);
    case 6: return setOrReset(t.originMode);
    case 7: return setOrReset(t.wraparound);
    case 9: return setOrReset(t.mouseMode == MouseMode::x10);
    case 10: case 42: case 44: case 46: case 67: case 80: case 1034: return permanentlyReset;
    case 12: return setOrReset(t.cursorBlink);
    case 13: case 14: case 30: case 41: case 1001: return isReset;
    case 25: return setOrReset(!t.cursorHidden);
    case 40: return setOrReset(t.allow80To132);
    case 45: return setOrReset(t.reverseWraparound);
    case 47: return setOrReset(t.isCurrentBufferAlternate());
    case 66: return setOrReset(t.applicationKeypad);
    case 69: return setOrReset(t.marginMode);
    case 1000: return setOrReset(t.mouseMode == MouseMode::vt200);
    case 1002: return setOrReset(t.mouseMode == MouseMode::buttonEventTracking);
    case 1003: return setOrReset(t.mouseMode == MouseMode::anyEvent);
    case 1004: return setOrReset(t.sendFocus);
    case 1005: return setOrReset(t.mouseProtocol == Encoding::utf8);
    case 1006: return setOrReset(t.mouseProtocol == Encoding::sgr);
    case 1007: return setOrReset(t.alternateScrollMode);
    case 1015: return setOrReset(t.mouseProtocol == Encoding::urxvt);
    case 1016: return setOrReset(t.mouseProtocol == Encoding::sgrPixel);
    case 1243: return setOrReset(t.bidiArrowKeySwap);
    case 2004: return setOrReset(t.bracketedPasteMode);
    case 2026: return setOrReset(t.synchronizedOutputActive());
    case 2500: return setOrReset(t.currentBidiState.boxMirroring);
    case 2501: return setOrReset(t.currentBidiState.autodetectDirection);
    default: return notRecognized;
    }
}

}  // namespace

void Terminal::cmdDecRqm(std::span<const int> pars, bool decMode) {
    // The parser hands over a 0 for an omitted parameter; no mode has that number.
    if (pars.empty() || pars[0] == 0) {
        sendResponseParts(csi(), ";0$y");
        return;
    }
    const int mode = pars[0];
    const int status = decMode ? decModeStatus(*this, mode) : ansiModeStatus(*this, mode);
    sendResponseParts(csi(), decMode ? "?" : "", std::to_string(mode), ";", std::to_string(status), "$y");
}

}  // namespace vantel
