// Keys to bytes: the legacy sequences, Alt as Meta, the Control mapping and the Kitty keyboard
// protocol, the key bindings of the editing commands, and the menu shortcuts of the view.
#include <unicode/uchar.h>

#include <array>
#include <cstdio>

#include "vantel/core/Character.h"
#include "vantel/core/EscapeSequences.h"
#include "platform/ui/Window.h"
#include "vantel/graphics/KittyKeyboardEncoder.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

using platform::ui::Key;
namespace Modifier = platform::ui::Modifier;
using FK = KittyFunctionalKey;
using Mods = KittyKeyboardModifiers;
using EventType = KittyKeyboardEventType;

namespace {

bool held(const platform::ui::KeyEvent& event, platform::ui::ModifierFlags bit) { return (event.modifiers & bit) != 0; }

// Alt as the Option key: characters typed through AltGr are text, so AltGr never counts as it.
bool optionHeld(const platform::ui::KeyEvent& event) {
    return held(event, Modifier::alt) && !held(event, Modifier::altGraph);
}

std::optional<char32_t> firstScalar(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const std::u32string scalars = fromUtf8(text);
    if (scalars.empty()) return std::nullopt;
    return scalars.front();
}

bool isControlScalar(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

std::span<const uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Keys that carry the function-key flag on the keyboards the bindings were written for: the
// arrows, F-keys and the navigation block, the keypad's navigation keys among them.
bool isFunctionKeyFlagged(Key key) {
    switch (key) {
    case Key::up:
    case Key::down:
    case Key::left:
    case Key::right:
    case Key::insert:
    case Key::deleteForward:
    case Key::home:
    case Key::end:
    case Key::pageUp:
    case Key::pageDown:
    case Key::printScreen:
    case Key::scrollLock:
    case Key::pause:
    case Key::menu: return true;
    default: break;
    }
    if (key >= Key::f1 && key <= Key::f35) return true;
    return key >= Key::keypadLeft && key <= Key::keypadDelete;
}

// The US layout's unshifted characters by evdev code: the 48 keys that type one.
constexpr std::array<std::pair<uint16_t, char32_t>, 48> usLayoutByEvdevCode{{
    {2, U'1'},  {3, U'2'},  {4, U'3'},  {5, U'4'},  {6, U'5'},  {7, U'6'},  {8, U'7'},  {9, U'8'},
    {10, U'9'}, {11, U'0'}, {12, U'-'}, {13, U'='}, {16, U'q'}, {17, U'w'}, {18, U'e'}, {19, U'r'},
    {20, U't'}, {21, U'y'}, {22, U'u'}, {23, U'i'}, {24, U'o'}, {25, U'p'}, {26, U'['}, {27, U']'},
    {30, U'a'}, {31, U's'}, {32, U'd'}, {33, U'f'}, {34, U'g'}, {35, U'h'}, {36, U'j'}, {37, U'k'},
    {38, U'l'}, {39, U';'}, {40, U'\''}, {41, U'`'}, {43, U'\\'}, {44, U'z'}, {45, U'x'}, {46, U'c'},
    {47, U'v'}, {48, U'b'}, {49, U'n'}, {50, U'm'}, {51, U','}, {52, U'.'}, {53, U'/'}, {57, U' '},
}};

// The one ASCII character a Control or menu chord is read from: what the key types without
// modifiers, or on a layout that types no ASCII there, the US layout's character of the key.
std::string asciiKeyCharacter(const platform::ui::KeyEvent& event) {
    const std::string& typed = event.charactersIgnoringModifiers;
    if (typed.size() == 1 && static_cast<unsigned char>(typed[0]) < 0x80) return typed;
    if (auto base = TerminalView::kittyBaseLayoutKey(event.hardwareKeycode)) {
        return std::string(1, static_cast<char>(*base));
    }
    return typed;
}

bool isInterruptKey(const platform::ui::KeyEvent& event) {
    const auto chord = event.modifiers & (Modifier::shift | Modifier::control | Modifier::alt | Modifier::super);
    const std::string letter = asciiKeyCharacter(event);
    return chord == Modifier::control && (letter == "c" || letter == "C");
}

}  // namespace

// --- Classification ---------------------------------------------------------------------------

std::optional<char32_t> TerminalView::kittyBaseLayoutKey(uint16_t hardwareKeycode) {
    if (hardwareKeycode < 8) return std::nullopt;
    const uint16_t evdev = hardwareKeycode - 8;
    for (const auto& [code, character] : usLayoutByEvdevCode) {
        if (code == evdev) return character;
    }
    return std::nullopt;
}

std::optional<KittyFunctionalKey> TerminalView::kittyFunctionalKey(const KeyEvent& event) {
    const Key key = event.key;
    if (key >= Key::keypad0 && key <= Key::keypad9) {
        return static_cast<FK>(static_cast<int>(FK::keypad0) + static_cast<int>(key) - static_cast<int>(Key::keypad0));
    }
    if (key >= Key::f1 && key <= Key::f35) {
        return static_cast<FK>(static_cast<int>(FK::f1) + static_cast<int>(key) - static_cast<int>(Key::f1));
    }
    switch (key) {
    case Key::keypadDecimal: return FK::keypadDecimal;
    case Key::keypadDivide: return FK::keypadDivide;
    case Key::keypadMultiply: return FK::keypadMultiply;
    case Key::keypadSubtract: return FK::keypadSubtract;
    case Key::keypadAdd: return FK::keypadAdd;
    case Key::keypadEnter: return FK::keypadEnter;
    case Key::keypadEquals: return FK::keypadEqual;
    case Key::keypadSeparator: return FK::keypadSeparator;
    case Key::keypadBegin: return FK::keypadBegin;
    case Key::keypadLeft: return FK::keypadLeft;
    case Key::keypadRight: return FK::keypadRight;
    case Key::keypadUp: return FK::keypadUp;
    case Key::keypadDown: return FK::keypadDown;
    case Key::keypadHome: return FK::keypadHome;
    case Key::keypadEnd: return FK::keypadEnd;
    case Key::keypadPageUp: return FK::keypadPageUp;
    case Key::keypadPageDown: return FK::keypadPageDown;
    case Key::keypadInsert: return FK::keypadInsert;
    case Key::keypadDelete: return FK::keypadDelete;
    case Key::up: return FK::up;
    case Key::down: return FK::down;
    case Key::left: return FK::left;
    case Key::right: return FK::right;
    case Key::insert: return FK::insert;
    case Key::deleteForward: return FK::deleteKey;
    case Key::home: return FK::home;
    case Key::end: return FK::end;
    case Key::pageUp: return FK::pageUp;
    case Key::pageDown: return FK::pageDown;
    case Key::printScreen: return FK::printScreen;
    case Key::scrollLock: return FK::scrollLock;
    case Key::pause: return FK::pause;
    case Key::menu: return FK::menu;
    default: return std::nullopt;
    }
}

std::optional<std::string> TerminalView::kittyTextForFunctionalKey(KittyFunctionalKey key, const KeyEvent& event) {
    const bool typesText = (key >= FK::keypad0 && key <= FK::keypadAdd) || key == FK::keypadEqual ||
                           key == FK::keypadSeparator;
    if (!typesText) return std::nullopt;
    const std::string& text = event.characters.empty() ? event.charactersIgnoringModifiers : event.characters;
    if (text.empty()) return std::nullopt;
    return text;
}

KittyKeyboardModifiers TerminalView::kittyModifiers(ModifierFlags modifiers) const {
    Mods mods;
    if (modifiers & Modifier::shift) mods = mods | Mods::shift;
    if (modifiers & Modifier::control) mods = mods | Mods::ctrl;
    if ((modifiers & Modifier::alt) && !(modifiers & Modifier::altGraph) && settings_.optionAsMetaKey) mods = mods | Mods::alt;
    if (modifiers & Modifier::super) mods = mods | Mods::super;
    if (modifiers & Modifier::capsLock) mods = mods | Mods::capsLock;
    return mods;
}

std::optional<KittyKeyEvent> TerminalView::kittyTextEvent(const KeyEvent& event, KittyKeyboardEventType eventType,
                                                          std::optional<std::string> text) const {
    const std::optional<char32_t> scalar = firstScalar(event.charactersIgnoringModifiers);
    if (!scalar) return std::nullopt;
    const auto lowered = static_cast<char32_t>(u_tolower(static_cast<UChar32>(*scalar)));
    KittyKeyEvent kitty;
    kitty.key = KittyKey::unicode(isUnicodeScalar(lowered) ? lowered : *scalar);
    if (held(event, Modifier::shift)) {
        // What the key types with Shift; Control turns `characters` into a control character,
        // which is no key's shifted form, so then the key's own shifted character counts.
        std::optional<char32_t> shifted = firstScalar(event.characters);
        if (!shifted || isControlScalar(*shifted)) shifted = scalar;
        kitty.shiftedKey = shifted;
    }
    if (auto base = kittyBaseLayoutKey(event.hardwareKeycode); base && *base != kitty.key.scalar) {
        kitty.baseLayoutKey = base;
    }
    kitty.modifiers = kittyModifiers(event.modifiers);
    kitty.eventType = eventType;
    kitty.text = std::move(text);
    kitty.composing = kittyIsComposing_;
    return kitty;
}

bool TerminalView::sendKittyEvent(const KittyKeyEvent& event) {
    const KittyKeyboardEncoder encoder = KittyKeyboardEncoder::forTerminal(*terminal_, settings_.backspaceSendsControlH);
    const std::optional<std::vector<uint8_t>> encoded = encoder.encode(event);
    if (!encoded) return false;
    send(std::span<const uint8_t>(*encoded));
    return true;
}

std::string TerminalView::applyControlToEventCharacters(std::string_view characters) {
    if (characters.size() != 1) return {};
    const auto c = static_cast<unsigned char>(characters[0]);
    if (c >= 'A' && c <= 'Z') return std::string(1, static_cast<char>(c - 64));
    if (c >= 'a' && c <= 'z') return std::string(1, static_cast<char>(c - 96));
    switch (c) {
    case '[': return std::string(1, '\x1b');
    case '\\': return std::string(1, '\x1c');
    case ']': return std::string(1, '\x1d');
    case '^':
    case '6': return std::string(1, '\x1e');
    case '_': return std::string(1, '\x1f');
    case ' ': return std::string(1, '\0');
    default: return {};
    }
}

// --- Key down ----------------------------------------------------------------------------------

bool TerminalView::pageKey(const KeyEvent& event) {
    // Shift+Page Up and Page Down page the normal screen's scroll-back, whatever the program asked.
    if (event.key != Key::pageUp && event.key != Key::pageDown) return false;
    const ModifierFlags chord = event.modifiers & (Modifier::shift | Modifier::control | Modifier::alt | Modifier::super);
    if (chord != Modifier::shift || terminal_->isCurrentBufferAlternate()) return false;
    if (event.key == Key::pageUp) {
        scrollUp(terminal_->rows());
    } else {
        scrollDown(terminal_->rows());
    }
    return true;
}

void TerminalView::keyDown(const KeyEvent& event) {
    selection_->setActive(false);
    if (pageKey(event)) return;
    // Ctrl+C cuts a paste still coming, and one still going out: what has not gone yet is dropped,
    // its frame closed, and the Ctrl+C goes to the program after it. A program that reads pastes
    // framed gets it once it has read the frame's end: taken in before, the key would discard
    // that end with the rest the program had not read, and its line editor would wait for it.
    // One with no paste to stop goes at once, even while an earlier one's keys wait: the user
    // insists.
    if (isInterruptKey(event)) {
        if (pastesUnderWay()) {
            stopPastes(PasteStop::interrupted);
            interruptWaitsForRead_ = terminal_->bracketedPasteMode;
        } else {
            interruptInsists_ = true;
        }
    }
    struct ForgetInterrupt {
        bool& waits;
        bool& insists;
        ~ForgetInterrupt() { waits = insists = false; }
    } forget{interruptWaitsForRead_, interruptInsists_};
    const KittyKeyboardFlags flags = terminal_->keyboardEnhancementFlags();
    if (!flags.empty()) return sendKittyKeyDown(event, flags);

    const bool command = held(event, Modifier::super);
    const bool option = optionHeld(event);
    const bool control = held(event, Modifier::control);
    if (command && (!option || event.charactersIgnoringModifiers != "o")) return interpretKeyEvents(event);

    // Functional keys through the encoder's legacy sequences.
    if (!command && !(option && !settings_.optionAsMetaKey)) {
        if (auto key = kittyFunctionalKey(event)) {
            Mods local;
            if (held(event, Modifier::shift)) local = local | Mods::shift;
            if (control) local = local | Mods::ctrl;
            if (option && settings_.optionAsMetaKey) local = local | Mods::alt;
            if ((*key == FK::pageUp || *key == FK::pageDown) && local.empty() && !terminal_->applicationCursor) {
                return *key == FK::pageUp ? pageUp() : pageDown();
            }
            KittyKeyEvent kitty;
            kitty.key = KittyKey::functional(*key);
            kitty.modifiers = kittyModifiers(event.modifiers);
            kitty.eventType = event.isRepeat ? EventType::repeat : EventType::press;
            kitty.text = kittyTextForFunctionalKey(*key, event);
            kitty.composing = kittyIsComposing_;
            if (sendKittyEvent(kitty)) return;
        }
    }

    if (command && option) {
        // Super+Alt+o toggles Alt as Meta; the key still goes to the input system.
        settings_.optionAsMetaKey = !settings_.optionAsMetaKey;
        return interpretKeyEvents(event);
    }
    if (option && settings_.optionAsMetaKey) {
        if (event.key == Key::right) return send(EscapeSequences::emacsForward);
        if (event.key == Key::left) return send(EscapeSequences::emacsBack);
        const std::string& typed = event.charactersIgnoringModifiers;
        if (typed.empty()) return;
        std::string out(1, '\x1b');
        if (control) {
            // Control first, then the Meta prefix: Ctrl+Alt+x is ESC ^X.
            const std::string controlled = applyControlToEventCharacters(asciiKeyCharacter(event));
            if (controlled.empty()) return;
            out += controlled;
        } else {
            out += typed;
        }
        return send(std::string_view(out));
    }
    if (control) {
        if (event.key == Key::right) return send(EscapeSequences::controlRight);
        if (event.key == Key::left) return send(EscapeSequences::controlLeft);
        if (event.charactersIgnoringModifiers.empty()) return interpretKeyEvents(event);
        const std::string controlled = applyControlToEventCharacters(asciiKeyCharacter(event));
        if (!controlled.empty()) send(std::string_view(controlled));
        return;
    }
    if (isFunctionKeyFlagged(event.key)) {
        if (event.key >= Key::f1 && event.key <= platform::ui::functionKey(12)) {
            return send(EscapeSequences::cmdF[static_cast<size_t>(event.key) - static_cast<size_t>(Key::f1)]);
        }
        if (event.key == Key::deleteForward) return send(EscapeSequences::cmdDelKey);
        if (event.key == Key::pageUp) return pageUp();
        if (event.key == Key::pageDown) return pageDown();
    }
    interpretKeyEvents(event);
}

void TerminalView::sendKittyKeyDown(const KeyEvent& event, KittyKeyboardFlags flags) {
    pendingKittyKeyEvent_.reset();
    const bool option = optionHeld(event);
    if (held(event, Modifier::super) && option && event.charactersIgnoringModifiers == "o") {
        settings_.optionAsMetaKey = !settings_.optionAsMetaKey;
        return;
    }
    const bool reportRepeat = event.isRepeat && flags.contains(KittyKeyboardFlags::reportEvents);
    const EventType type = reportRepeat ? EventType::repeat : EventType::press;
    if (auto key = kittyFunctionalKey(event)) {
        KittyKeyEvent kitty;
        kitty.key = KittyKey::functional(*key);
        kitty.modifiers = kittyModifiers(event.modifiers);
        kitty.eventType = type;
        kitty.text = kittyTextForFunctionalKey(*key, event);
        kitty.composing = kittyIsComposing_;
        if (sendKittyEvent(kitty)) return;
    }
    if (held(event, Modifier::control) || (option && settings_.optionAsMetaKey)) {
        if (auto kitty = kittyTextEvent(event, type, std::nullopt); kitty && sendKittyEvent(*kitty)) return;
    }
    const bool repeatAll = event.isRepeat && flags.contains(KittyKeyboardFlags::reportEvents) &&
                           flags.contains(KittyKeyboardFlags::reportAllKeys);
    pendingKittyKeyEvent_ = PendingKittyKeyEvent{event, repeatAll ? EventType::repeat : EventType::press};
    interpretKeyEvents(event);
}

// --- Input system --------------------------------------------------------------------------------

std::optional<std::string_view> TerminalView::keyBindingSelector(const KeyEvent& event) {
    const bool alt = optionHeld(event);
    const bool super = held(event, Modifier::super);
    const bool shift = held(event, Modifier::shift);
    switch (event.key) {
    case Key::returnKey: return "insertNewline:";
    case Key::escape: return "cancelOperation:";
    case Key::backspace: return "deleteBackward:";
    case Key::deleteForward: return "deleteForward:";
    case Key::tab: return shift ? "insertBacktab:" : "insertTab:";
    case Key::left:
    case Key::keypadLeft:
        if (super) return "moveToLeftEndOfLine:";
        return alt ? "moveWordLeft:" : "moveLeft:";
    case Key::right:
    case Key::keypadRight:
        if (super) return "moveToRightEndOfLine:";
        return alt ? "moveWordRight:" : "moveRight:";
    case Key::up:
    case Key::keypadUp:
        if (super) return "moveToBeginningOfDocument:";
        return alt ? "moveBackward:" : "moveUp:";
    case Key::down:
    case Key::keypadDown:
        if (super) return "moveToEndOfDocument:";
        return alt ? "moveForward:" : "moveDown:";
    case Key::home:
    case Key::keypadHome: return "scrollToBeginningOfDocument:";
    case Key::end:
    case Key::keypadEnd: return "scrollToEndOfDocument:";
    case Key::pageUp:
    case Key::keypadPageUp: return "scrollPageUp:";
    case Key::pageDown:
    case Key::keypadPageDown: return shift ? "pageDownAndModifySelection:" : "scrollPageDown:";
    default: return std::nullopt;
    }
}

void TerminalView::interpretKeyEvents(const KeyEvent& event) {
    if (auto* context = inputContext(); context && context->client() == this && context->filterKeyEvent(event)) return;
    if (auto selector = keyBindingSelector(event)) return doCommand(*selector);
    if (held(event, Modifier::control) || held(event, Modifier::super)) return;
    if (isPlainPrintableText(event.characters)) insertText(event.characters, TextRange{});
}

void TerminalView::doCommand(std::string_view selector) {
    const bool applicationCursor = terminal_->applicationCursor;
    const bool legacyComposing = terminal_->keyboardEnhancementFlags().empty() && kittyIsComposing_;
    if (!legacyComposing) {
        const Mods mods = pendingKittyKeyEvent_ ? kittyModifiers(pendingKittyKeyEvent_->event.modifiers) : Mods();
        std::optional<FK> key;
        Mods extra;
        if (selector == "insertNewline:") key = FK::enter;
        else if (selector == "cancelOperation:") key = FK::escape;
        else if (selector == "deleteBackward:") key = FK::backspace;
        else if (selector == "moveUp:") key = FK::up;
        else if (selector == "moveDown:") key = FK::down;
        else if (selector == "moveLeft:") key = FK::left;
        else if (selector == "moveRight:") key = FK::right;
        else if (selector == "insertTab:") key = FK::tab;
        else if (selector == "insertBacktab:") key = FK::tab, extra = Mods::shift;
        else if (selector == "moveToBeginningOfLine:" || selector == "scrollToBeginningOfDocument:") key = FK::home;
        else if (selector == "moveToEndOfLine:" || selector == "scrollToEndOfDocument:") key = FK::end;
        else if (selector == "scrollPageUp:" || selector == "pageUp:") {
            if (!applicationCursor) return pageUp();
            key = FK::pageUp;
        } else if (selector == "scrollPageDown:" || selector == "pageDown:") {
            if (!applicationCursor) return pageDown();
            key = FK::pageDown;
        }
        if (key) {
            KittyKeyEvent kitty;
            kitty.key = KittyKey::functional(*key);
            kitty.modifiers = mods | extra;
            kitty.composing = kittyIsComposing_;
            if (sendKittyEvent(kitty)) return;
        }
    }
    const auto cursor = [&](EscapeSequences::CursorKey key) { send(EscapeSequences::cursorKey(key, applicationCursor)); };
    using CK = EscapeSequences::CursorKey;
    if (selector == "insertNewline:") return send(EscapeSequences::cmdRet);
    if (selector == "cancelOperation:") return send(EscapeSequences::cmdEsc);
    if (selector == "deleteBackward:") return send(bytes(settings_.backspaceSendsControlH ? "\x08" : "\x7f"));
    if (selector == "moveUp:") return cursor(CK::up);
    if (selector == "moveDown:") return cursor(CK::down);
    if (selector == "moveLeft:") return sendHorizontalKey(true);
    if (selector == "moveRight:") return sendHorizontalKey(false);
    if (selector == "insertTab:") return send(EscapeSequences::cmdTab);
    if (selector == "insertBacktab:") return send(EscapeSequences::cmdBackTab);
    if (selector == "moveToBeginningOfLine:" || selector == "scrollToBeginningOfDocument:") return cursor(CK::home);
    if (selector == "moveToEndOfLine:" || selector == "scrollToEndOfDocument:") return cursor(CK::end);
    if (selector == "scrollPageUp:" || selector == "pageUp:") {
        return applicationCursor ? send(EscapeSequences::cmdPageUp) : pageUp();
    }
    if (selector == "scrollPageDown:" || selector == "pageDown:") {
        return applicationCursor ? send(EscapeSequences::cmdPageDown) : pageDown();
    }
    if (selector == "pageDownAndModifySelection:") {
        if (!applicationCursor) send(EscapeSequences::cmdPageDown);
        return;
    }
    if (selector == "moveToLeftEndOfLine:") return send(EscapeSequences::emacsBack);
    if (selector == "moveToRightEndOfLine:") return send(EscapeSequences::emacsForward);
    std::printf("Unhandle selector %.*s\n", static_cast<int>(selector.size()), selector.data());
    std::fflush(stdout);
}

// --- Key up and modifier keys -----------------------------------------------------------------

void TerminalView::keyUp(const KeyEvent& event) {
    const KittyKeyboardFlags flags = terminal_->keyboardEnhancementFlags();
    if (flags.contains(KittyKeyboardFlags::reportEvents)) {
        const bool allKeys = flags.contains(KittyKeyboardFlags::reportAllKeys);
        const std::optional<FK> key = kittyFunctionalKey(event);
        const bool reported = held(event, Modifier::control) || allKeys || (optionHeld(event) && settings_.optionAsMetaKey) || key;
        if (reported && key) {
            KittyKeyEvent kitty;
            kitty.key = KittyKey::functional(*key);
            kitty.modifiers = kittyModifiers(event.modifiers);
            kitty.eventType = EventType::release;
            kitty.composing = kittyIsComposing_;
            sendKittyEvent(kitty);
        } else if (reported) {
            if (auto kitty = kittyTextEvent(event, EventType::release, std::nullopt)) {
                const char32_t c = kitty->key.scalar;
                if (allKeys || (c != 9 && c != 13 && c != 127)) sendKittyEvent(*kitty);
            }
        }
    }
    View::keyUp(event);
}

void TerminalView::flagsChanged(const KeyEvent& event) {
    if (!held(event, Modifier::control)) {
        turnOffUrlPreview();
    } else {
        commandActive_ = true;
        startTracking();
        if (platform::ui::Window* w = window(); w && w->pointerLocation()) {
            const MouseHit hit = calculateMouseHit(convertFromWindow(*w->pointerLocation()));
            if (auto payload = payloadString(hit.grid)) previewUrl(*payload);
            updateHoverLink(hit.grid, std::nullopt);
        }
        if (settings_.linkHighlightMode == LinkHighlightMode::alwaysWithModifier) {
            terminal_->updateFullScreen();
            queuePendingDisplay();
        }
    }
    const KittyKeyboardFlags flags = terminal_->keyboardEnhancementFlags();
    if (flags.contains(KittyKeyboardFlags::reportAllKeys) && !kittyIsComposing_) {
        std::optional<FK> key;
        ModifierFlags bit = 0;
        switch (event.key) {
        case Key::shiftLeft: key = FK::leftShift, bit = Modifier::shift; break;
        case Key::shiftRight: key = FK::rightShift, bit = Modifier::shift; break;
        case Key::controlLeft: key = FK::leftControl, bit = Modifier::control; break;
        case Key::controlRight: key = FK::rightControl, bit = Modifier::control; break;
        case Key::altLeft: key = FK::leftAlt, bit = Modifier::alt; break;
        case Key::altRight: key = FK::rightAlt, bit = Modifier::alt; break;
        case Key::superLeft: key = FK::leftSuper, bit = Modifier::super; break;
        case Key::superRight: key = FK::rightSuper, bit = Modifier::super; break;
        case Key::capsLock: key = FK::capsLock, bit = Modifier::capsLock; break;
        case Key::altGraph: key = FK::isoLevel3Shift, bit = Modifier::altGraph; break;
        default: break;
        }
        const bool pressed = (event.modifiers & bit) != 0;
        if (key && (pressed || flags.contains(KittyKeyboardFlags::reportEvents))) {
            KittyKeyEvent kitty;
            kitty.key = KittyKey::functional(*key);
            // Alt counts here whether or not it acts as Meta.
            Mods mods;
            if (held(event, Modifier::shift)) mods = mods | Mods::shift;
            if (held(event, Modifier::alt)) mods = mods | Mods::alt;
            if (held(event, Modifier::control)) mods = mods | Mods::ctrl;
            if (held(event, Modifier::super)) mods = mods | Mods::super;
            if (held(event, Modifier::capsLock)) mods = mods | Mods::capsLock;
            kitty.modifiers = mods;
            kitty.eventType = pressed ? EventType::press : EventType::release;
            sendKittyEvent(kitty);
        }
    }
    View::flagsChanged(event);
}

// --- Menu shortcuts ----------------------------------------------------------------------------

bool TerminalView::performKeyEquivalent(const KeyEvent& event) {
    if (event.type != KeyEvent::Type::down) return false;
    const ModifierFlags chord = event.modifiers & (Modifier::shift | Modifier::control | Modifier::alt | Modifier::super);
    if (chord != (Modifier::shift | Modifier::control)) return false;
    std::string letter = asciiKeyCharacter(event);
    if (letter.size() != 1) return false;
    UserInterfaceItem item;
    switch (letter[0] | 0x20) {
    case 'c': item.action = "copy:"; break;
    case 'v': item.action = "paste:"; break;
    case 'a': item.action = "selectAll:"; break;
    case 'f': item = {"performFindPanelAction:", findTagShow, {}}; break;
    case 'g': item = {"performFindPanelAction:", findTagNext, {}}; break;
    case 'h': item = {"performFindPanelAction:", findTagPrevious, {}}; break;
    case 'e': item = {"performFindPanelAction:", findTagSetSearchString, {}}; break;
    default: return false;
    }
    // Taken even when disabled: Ctrl+Shift+C without a selection sends nothing.
    performMenuAction(item);
    return true;
}

}  // namespace vantel
