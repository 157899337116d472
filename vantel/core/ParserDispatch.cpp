// Maps every finished control and sequence the parser delivers to its Terminal handler.
#include <algorithm>
#include <string>

#include "vantel/core/EscapeSequenceParser.h"
#include "vantel/core/Terminal.h"
#include "vantel/core/TextUtil.h"

namespace vantel {

namespace {

int firstParameter(std::span<const int> pars) { return pars.empty() ? 0 : pars[0]; }

// A final or command byte as the character with that code point.
std::string byteAsCharacter(uint8_t byte) {
    std::string out;
    appendUtf8(out, byte);
    return out;
}

void setXtermTitleFlags(Terminal& t, std::span<const int> pars, bool value) {
    for (int p : pars) {
        switch (p) {
        case 0: t.xtermTitleSetHex = value; break;
        case 1: t.xtermTitleQueryHex = value; break;
        case 2: t.xtermTitleSetUtf = value; break;
        case 3: t.xtermTitleQueryUtf = value; break;
        default: break;
        }
    }
}

// NEL: an index decided at the current column (outside the margins it does not scroll),
// then the carriage return.
void nextLine(Terminal& t) {
    t.cmdIndex();
    Buffer& b = t.buffer();
    b.setX(t.marginMode && (t.originMode || b.x() >= b.marginLeft) ? b.marginLeft : 0);
}

}  // namespace

void EscapeSequenceParser::dispatchExecute(uint8_t code) {
    Terminal* t = terminal_;
    if (!t) return;
    Buffer& b = t->buffer();
    switch (code) {
    case 0x07:
        if (t->delegate()) t->delegate()->bell(*t);
        break;
    case 0x08: t->cmdBackspace(); break;
    case 0x09: {
        int stop = b.nextTabStop(t->marginMode);
        if (stop >= 0) b.setX(stop);
        break;
    }
    case 0x0A:
    case 0x0B:
    case 0x0C: t->cmdLineFeedBasic(); break;
    case 0x0D: t->cmdCarriageReturn(); break;
    case 0x0E: t->setgLevel(1); break;
    case 0x0F: t->setgLevel(0); break;
    case 0x84: t->cmdIndex(); break;
    case 0x85: nextLine(*t); break;
    case 0x88: b.tabSet(b.x()); break;
    default: break;
    }
}

void EscapeSequenceParser::dispatchEsc(std::string_view collect, uint8_t code) {
    Terminal* t = terminal_;
    auto fallback = [&] {
        if (escHandlerFallback) escHandlerFallback(collect, code);
    };
    if (!t) return fallback();
    Buffer& b = t->buffer();
    if (collect.empty()) {
        switch (code) {
        case '6':
            if (b.x() != b.marginLeft) t->cursorBackward(1);
            else t->columnScroll(true, b.x());
            return;
        case '7': t->cmdSaveCursor({}); return;
        case '8': t->cmdRestoreCursor({}); return;
        case '9': t->columnIndex(false); return;
        case '=': t->applicationKeypad = true; return;
        case '>': t->applicationKeypad = false; return;
        case 'D': t->cmdIndex(); return;
        case 'E': nextLine(*t); return;
        case 'H': b.tabSet(b.x()); return;
        case 'M': t->reverseIndex(); return;
        case '\\': return;
        case 'c':
            reset();
            t->resetToInitialState();
            return;
        case 'n':
        case '}': t->setgLevel(2); return;
        case 'o':
        case '|': t->setgLevel(3); return;
        case '~': t->setgLevel(1); return;
        default: return fallback();
        }
    }
    if (collect.size() != 1) return fallback();
    switch (collect[0]) {
    case ' ':
        if (code == 'F') t->cc.send8bit = false;
        else if (code == 'G') t->cc.send8bit = true;
        else fallback();
        return;
    case '#':
        switch (code) {
        case '3': t->setLineRenderMode(BufferLine::RenderLineMode::doubledTop); return;
        case '4': t->setLineRenderMode(BufferLine::RenderLineMode::doubledDown); return;
        case '5': t->setLineRenderMode(BufferLine::RenderLineMode::single); return;
        case '6': t->setLineRenderMode(BufferLine::RenderLineMode::doubleWidth); return;
        case '8': t->cmdScreenAlignmentPattern(); return;
        default: return fallback();
        }
    case '%':
        if (code == 'G' || code == '@') {
            t->setgLevel(0);
            t->setgCharset(0, nullptr);
            return;
        }
        return fallback();
    case '(':
    case ')':
    case '*':
    case '+':
    case '-':
    case '.':
    case '/':
        if (CharSets::find(code)) {
            const char designation[2] = {collect[0], static_cast<char>(code)};
            t->selectCharset(std::string_view(designation, 2));
            return;
        }
        return fallback();
    default: return fallback();
    }
}

void EscapeSequenceParser::dispatchCsi(uint8_t code, std::span<const int> pars, std::string_view collect) {
    Terminal* t = terminal_;
    auto fallback = [&] {
        if (csiHandlerFallback) csiHandlerFallback(pars, collect, code);
    };
    if (!t) return fallback();
    Buffer& b = t->buffer();
    const int p = firstParameter(pars);
    switch (code) {
    case '@': t->cmdInsertChars(pars); break;
    case 'A': t->cmdCursorUp(pars); break;
    case 'B': t->cmdCursorDown(pars); break;
    case 'C': t->cursorForward(p); break;
    case 'D': t->cursorBackward(p); break;
    case 'E':
        t->cmdCursorDown(pars);
        b.setX(b.marginLeft);
        break;
    case 'F':
        t->cmdCursorUp(pars);
        b.setX(b.marginLeft);
        break;
    case 'G': t->cmdCursorCharAbsolute(pars); break;
    case 'H': t->cmdCursorPosition(pars); break;
    case 'I': {
        int n = p >= 2 ? std::min(p, t->cols() - 1) : std::min(1, t->cols() - 1);
        while (n-- > 0) {
            int stop = b.nextTabStop(t->marginMode);
            if (stop >= 0) b.setX(stop);
        }
        break;
    }
    case 'J': t->cmdEraseInDisplay(pars); break;
    case 'K': t->cmdEraseInLine(pars); break;
    case 'L': t->cmdInsertLines(pars); break;
    case 'M': t->cmdDeleteLines(pars); break;
    case 'P': t->cmdDeleteChars(pars); break;
    case 'S':
        if (collect == " ") t->cmdSelectPresentationDirection(pars);
        else t->cmdScrollUp(pars, collect);
        break;
    case 'T':
        if (collect.empty()) t->cmdScrollDown(pars);
        else if (collect == ">") setXtermTitleFlags(*t, pars, false);
        break;
    case 'X': t->cmdEraseChars(pars); break;
    case 'Z':
        if (b.x() <= t->cols()) {
            int n = p > 1 ? std::min(p, b.cols()) : std::min(1, b.cols());
            while (n-- > 0) {
                int stop = b.previousTabStop();
                if (stop >= 0) b.setX(stop);
            }
        }
        break;
    case '`': t->cmdCharPosAbsolute(pars); break;
    case 'a': t->cmdHPositionRelative(pars); break;
    case 'b': t->cmdRepeatPrecedingCharacter(pars); break;
    case 'c': t->cmdSendDeviceAttributes(pars, collect); break;
    case 'd': t->cmdLinePosAbsolute(pars); break;
    case 'e': t->cmdVPositionRelative(pars); break;
    case 'f': t->cmdHVPosition(pars); break;
    case 'g': t->cmdTabClear(pars); break;
    case 'h': t->cmdSetMode(pars, collect); break;
    case 'k':
        if (collect == " ") t->cmdSelectCharacterPath(pars);
        break;
    case 'l': t->cmdResetMode(pars, collect); break;
    case 'm': t->cmdCsiM(pars, collect); break;
    case 'n': t->cmdDeviceStatus(pars, collect); break;
    case 'p': t->csiPHandler(pars, collect); break;
    case 'q':
        if (collect == ">") t->cmdXTVERSION(pars, collect);
        else t->cmdSetCursorStyle(pars, collect);
        break;
    case 'r':
        if (collect == "?") t->restoreBidiPrivateModes(pars);
        else t->cmdSetScrollRegion(pars, collect);
        break;
    case 's':
        if (collect == ">") {
            if (p == 0) t->mouseShiftCapture = false;
            else if (p == 1) t->mouseShiftCapture = true;
        } else if (collect == "?") {
            t->cmdSavePrivateModes(pars);
        } else if (collect.empty()) {
            if (t->marginMode) t->cmdSetMargins(pars, collect);
            else t->cmdSaveCursor(pars);
        }
        break;
    case 't':
        if (collect.empty()) t->cmdWindowOptions(pars);
        else if (collect == ">") setXtermTitleFlags(*t, pars, true);
        else t->log("Unhandled csiT " + text::byteList(collect));
        break;
    case 'u':
        if (!t->handleKittyKeyboardProtocol(pars, collect) && collect.empty()) t->cmdRestoreCursor(pars);
        break;
    case 'v': t->csiCopyRectangularArea(pars, collect); break;
    case 'x': t->csiX(pars, collect); break;
    case 'y': t->cmdDECRQCRA(pars); break;
    case 'z': t->csiZ(pars, collect); break;
    case '{': t->csiOpenBrace(pars, collect); break;
    case '}': t->csiCloseBrace(pars, collect); break;
    case '~': t->cmdDeleteColumns(pars); break;
    default: fallback(); break;
    }
}

void EscapeSequenceParser::dispatchOsc(int64_t code, std::span<const uint8_t> data) {
    if (auto handler = oscHandlers.find(code); handler != oscHandlers.end()) {
        handler->second(data);
        return;
    }
    Terminal* t = terminal_;
    auto fallback = [&] {
        if (oscHandlerFallback) oscHandlerFallback(code, data);
    };
    if (!t) return fallback();
    switch (code) {
    case 0:
    case 1:
    case 2: t->oscSetTitle(static_cast<int>(code), data); break;
    case 4: t->oscChangeOrQueryColorIndex(data); break;
    case 6: t->oscSetCurrentDocument(data); break;
    case 7: t->oscSetCurrentDirectory(data); break;
    case 8: t->oscHyperlink(data); break;
    case 9:
        if (auto report = t->parseProgressReport(data)) {
            if (t->delegate()) t->delegate()->progressReport(*t, *report);
        } else {
            fallback();
        }
        break;
    case 10:
    case 11:
    case 12: t->oscSetColors(data, static_cast<int>(code - 10)); break;
    case 52: t->oscClipboard(data); break;
    case 104: t->oscResetColor(data); break;
    case 112:
        if (t->delegate()) t->delegate()->setCursorColor(*t, std::nullopt);
        break;
    case 133: t->oscSemanticPrompt(data); break;
    case 777: t->oscNotification(data); break;
    case 1337: t->osciTerm2(data); break;
    default: fallback(); break;
    }
}

void EscapeSequenceParser::dispatchApc(uint8_t command, std::span<const uint8_t> content) {
    if (command == 'G' && terminal_) {
        terminal_->handleKittyGraphics(content);
        return;
    }
    if (apcHandlerFallback) apcHandlerFallback(command, content);
}

std::unique_ptr<DcsHandler> EscapeSequenceParser::dispatchDcs(std::string_view collect, uint8_t code,
                                                              std::span<const int>) {
    Terminal* t = terminal_;
    if (!t || code != 'q') return nullptr;
    if (collect.empty()) return t->graphics() ? t->graphics()->makeSixelHandler() : nullptr;
    if (collect == "$") return t->makeDecrqssHandler();
    return nullptr;
}

void Terminal::configureParser(EscapeSequenceParser& p) {
    p.csiHandlerFallback = [this](std::span<const int> pars, std::string_view collect, uint8_t code) {
        log("Vantel: Unknown CSI Code (collect=" + text::byteList(collect) + " code=" + byteAsCharacter(code) +
            " pars=" + text::decimalList(pars) + ")");
    };
    p.escHandlerFallback = [this](std::string_view collect, uint8_t code) {
        log("Vantel: Unknown ESC Code: ESC + " + byteAsCharacter(code) + " txt=" + text::byteList(collect));
    };
    p.executeHandlerFallback = [this] { log("Vantel: Unknown EXECUTE code"); };
    p.oscHandlerFallback = [this](int64_t code, std::span<const uint8_t>) {
        log("Vantel: Unknown OSC code: " + std::to_string(code));
    };
    p.apcHandlerFallback = [this](uint8_t command, std::span<const uint8_t>) {
        log("Vantel: Unknown APC code: " + byteAsCharacter(command));
    };
    p.errorHandler = [this](const ParsingState& state) {
        log("Vantel: Parsing error, state: " + state.description());
        return state;
    };
}

}  // namespace vantel
