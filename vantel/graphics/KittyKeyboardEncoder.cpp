#include "vantel/graphics/KittyKeyboardEncoder.h"

#include <array>
#include <string_view>

#include "vantel/core/Character.h"
#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

using FK = KittyFunctionalKey;
using Mods = KittyKeyboardModifiers;
using EventType = KittyKeyboardEventType;
using Sequence = std::optional<std::string>;

constexpr std::string_view CSI = "\x1b[";
constexpr std::string_view SS3 = "\x1bO";
constexpr char ESC = '\x1b';

const Mods locks = Mods::capsLock | Mods::numLock;
const Mods superHyperMeta = Mods::super | Mods::hyper | Mods::meta;

// How the protocol writes a functional key: a fixed code (Escape, Enter, Tab,
// Backspace), CSI 1;m letter, CSI n;m ~ or CSI code;m u.
enum class Form : uint8_t { fixed, letter, tilde, code };

struct FunctionalEncoding {
    Form form = Form::code;
    int number = 0;
    char letter = 0;
};

constexpr int functionalKeyCount = static_cast<int>(FK::isoLevel5Shift) + 1;
static_assert(functionalKeyCount == 111);

constexpr int indexOf(FK key) { return static_cast<int>(key); }

constexpr std::array<FunctionalEncoding, functionalKeyCount> makeFunctionalTable() {
    std::array<FunctionalEncoding, functionalKeyCount> table{};
    auto set = [&](FK key, Form form, int number, char letter = 0) { table[indexOf(key)] = {form, number, letter}; };
    auto run = [&](FK first, FK last, int firstCode) {
        for (int i = indexOf(first); i <= indexOf(last); ++i)
            table[i] = {Form::code, firstCode + i - indexOf(first), 0};
    };
    set(FK::escape, Form::fixed, 27);
    set(FK::enter, Form::fixed, 13);
    set(FK::tab, Form::fixed, 9);
    set(FK::backspace, Form::fixed, 127);
    set(FK::up, Form::letter, 1, 'A');
    set(FK::down, Form::letter, 1, 'B');
    set(FK::right, Form::letter, 1, 'C');
    set(FK::left, Form::letter, 1, 'D');
    set(FK::home, Form::letter, 1, 'H');
    set(FK::end, Form::letter, 1, 'F');
    set(FK::f1, Form::letter, 1, 'P');
    set(FK::f2, Form::letter, 1, 'Q');
    set(FK::f4, Form::letter, 1, 'S');
    set(FK::insert, Form::tilde, 2);
    set(FK::deleteKey, Form::tilde, 3);
    set(FK::pageUp, Form::tilde, 5);
    set(FK::pageDown, Form::tilde, 6);
    set(FK::f3, Form::tilde, 13);
    set(FK::f5, Form::tilde, 15);
    set(FK::f6, Form::tilde, 17);
    set(FK::f7, Form::tilde, 18);
    set(FK::f8, Form::tilde, 19);
    set(FK::f9, Form::tilde, 20);
    set(FK::f10, Form::tilde, 21);
    set(FK::f11, Form::tilde, 23);
    set(FK::f12, Form::tilde, 24);
    run(FK::f13, FK::f35, 57376);
    set(FK::capsLock, Form::code, 57358);
    set(FK::scrollLock, Form::code, 57359);
    set(FK::numLock, Form::code, 57360);
    set(FK::printScreen, Form::code, 57361);
    set(FK::pause, Form::code, 57362);
    set(FK::menu, Form::code, 57363);
    run(FK::keypad0, FK::keypadBegin, 57399);
    run(FK::mediaPlay, FK::volumeMute, 57428);
    run(FK::leftShift, FK::isoLevel5Shift, 57441);
    return table;
}

constexpr auto functionalTable = makeFunctionalTable();

constexpr const FunctionalEncoding& functionalEncoding(FK key) { return functionalTable[indexOf(key)]; }

// Application keypad letters, ESC O letter, for keypad0..keypadBegin in enumeration order.
// The navigation keys take the letter of the digit that carries them.
constexpr std::string_view keypadApplicationLetters = "pqrstuvwxynojmkMXltvxryswqpnu";
static_assert(keypadApplicationLetters.size() ==
              static_cast<size_t>(FK::keypadBegin) - static_cast<size_t>(FK::keypad0) + 1);

constexpr bool isKeypad(FK key) { return key >= FK::keypad0 && key <= FK::keypadBegin; }
constexpr bool isEnterTabOrBackspace(const KittyKey& key) {
    return key.is(FK::enter) || key.is(FK::tab) || key.is(FK::backspace);
}

bool isControlScalar(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool containsControlScalars(std::string_view text) {
    for (char32_t c : fromUtf8(text))
        if (isControlScalar(c)) return true;
    return false;
}

std::u32string textCodepoints(std::string_view text) {
    std::u32string scalars = fromUtf8(text);
    std::erase_if(scalars, isControlScalar);
    return scalars;
}

std::optional<EventType> reportedEventType(const KittyKeyEvent& event, bool includeEventType) {
    if (includeEventType && event.eventType != EventType::press) return event.eventType;
    return std::nullopt;
}

// CSI [number] [;modifiers+1[:event]] terminator. With omitDefaultNumber a bare 1
// with nothing after it is left out (CSI A).
std::string buildCsiWithModifier(int number, Mods modifiers, std::optional<EventType> eventType,
                                 std::string_view terminator, bool omitDefaultNumber = false) {
    std::string out(CSI);
    const bool hasField = !modifiers.empty() || eventType;
    if (number != 1 || !omitDefaultNumber || hasField) out += std::to_string(number);
    if (hasField) {
        out += ';';
        out += std::to_string(modifiers.rawValue + 1);
        if (eventType) {
            out += ':';
            out += std::to_string(static_cast<int>(*eventType));
        }
    }
    out += terminator;
    return out;
}

std::string encodeCsiU(const KittyKeyEvent& event, std::optional<int> overrideKeyCode, bool includeText,
                       bool includeAlternates, bool includeEventType, bool includeLocks) {
    int keyCode = 0;
    if (overrideKeyCode) {
        keyCode = *overrideKeyCode;
    } else if (event.key.kind == KittyKey::Kind::unicode) {
        keyCode = static_cast<int>(event.key.scalar);
    } else if (event.key.kind == KittyKey::Kind::functional) {
        const FunctionalEncoding& encoding = functionalEncoding(event.key.functionalKey);
        if (encoding.form == Form::fixed || encoding.form == Form::code) keyCode = encoding.number;
    }
    const Mods modifiers = includeLocks ? event.modifiers : event.modifiers.subtracting(locks);
    const std::optional<EventType> eventType = reportedEventType(event, includeEventType);
    const std::u32string text = includeText && event.text ? textCodepoints(*event.text) : std::u32string();

    std::string out(CSI);
    out += std::to_string(keyCode);
    if (includeAlternates) {
        const bool writeShifted = event.modifiers.contains(Mods::shift) && event.shiftedKey;
        if (writeShifted) {
            out += ':';
            out += std::to_string(static_cast<uint32_t>(*event.shiftedKey));
        }
        if (event.baseLayoutKey) {
            out += writeShifted ? ":" : "::";
            out += std::to_string(static_cast<uint32_t>(*event.baseLayoutKey));
        }
    }
    const bool hasField = !modifiers.empty() || eventType;
    if (hasField) {
        out += ';';
        out += std::to_string(modifiers.rawValue + 1);
        if (eventType) {
            out += ':';
            out += std::to_string(static_cast<int>(*eventType));
        }
    }
    if (!text.empty()) {
        out += hasField ? ";" : ";;";
        for (size_t i = 0; i < text.size(); ++i) {
            if (i > 0) out += ':';
            out += std::to_string(static_cast<uint32_t>(text[i]));
        }
    }
    out += 'u';
    return out;
}

// --- Legacy sequences -------------------------------------------------------------------

std::optional<char> legacyControlMapping(char32_t key) {
    auto lookup = [](char32_t c) -> std::optional<char> {
        if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 1);
        switch (c) {
        case ' ':
        case '@':
        case '2': return '\x00';
        case '[':
        case '3': return '\x1b';
        case '\\':
        case '4': return '\x1c';
        case ']':
        case '5': return '\x1d';
        case '^':
        case '~':
        case '6': return '\x1e';
        case '_':
        case '/':
        case '7': return '\x1f';
        case '?':
        case '8': return '\x7f';
        case '0':
        case '1':
        case '9': return static_cast<char>(c);
        default: return std::nullopt;
        }
    };
    const char32_t lower = key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key;
    if (auto mapped = lookup(lower)) return mapped;
    return lookup(key);
}

Sequence legacyTextKeySequence(const KittyKeyEvent& event) {
    const Mods mods = event.modifiers;
    if (event.eventType == EventType::release || event.key.kind != KittyKey::Kind::unicode) return std::nullopt;
    if (!isUnicodeScalar(event.key.scalar) || mods.intersects(superHyperMeta)) return std::nullopt;
    if (mods.contains(Mods::ctrl | Mods::shift)) return std::nullopt;
    std::string out;
    if (mods.contains(Mods::alt)) out += ESC;
    if (mods.contains(Mods::ctrl)) {
        if (auto mapped = legacyControlMapping(event.key.scalar)) {
            out += *mapped;
            return out;
        }
    }
    if (event.text && !event.text->empty()) {
        out += *event.text;
    } else {
        const bool shifted = mods.contains(Mods::shift) && event.shiftedKey;
        appendUtf8(out, shifted ? *event.shiftedKey : event.key.scalar);
    }
    return out;
}

// CSI 1;modifier letter.
std::string modifiedLetterSequence(int modifier, char letter) {
    std::string out(CSI);
    out += "1;";
    out += std::to_string(modifier);
    out += letter;
    return out;
}

std::string legacyNavigationSequence(char letter, int modifier, bool useApplication) {
    if (modifier == 1) return std::string(useApplication ? SS3 : CSI) + letter;
    return modifiedLetterSequence(modifier, letter);
}

std::string legacyTildeSequence(int number, int modifier) {
    std::string out(CSI);
    out += std::to_string(number);
    if (modifier != 1) {
        out += ';';
        out += std::to_string(modifier);
    }
    out += '~';
    return out;
}

int legacyFunctionNumber(FK key) { return indexOf(key) - indexOf(FK::f1) + 1; }

// F1-F12 as the function capabilities write them: F1-F4 in SS3 or CSI 1;m form, the rest as tildes.
Sequence legacyFunctionSequence(int baseNumber, int modifier) {
    static constexpr std::array<int, 8> tildeNumbers = {15, 17, 18, 19, 20, 21, 23, 24};
    if (baseNumber >= 1 && baseNumber <= 4) {
        const char letter = static_cast<char>('P' + baseNumber - 1);
        if (modifier == 1) return std::string(SS3) + letter;
        return modifiedLetterSequence(modifier, letter);
    }
    if (baseNumber >= 5 && baseNumber <= 12) return legacyTildeSequence(tildeNumbers[baseNumber - 5], modifier);
    return std::nullopt;
}

// Function numbers 13 and up stand for F1-F12 with shift (13-24), ctrl (25-36),
// shift+ctrl (37-48), alt (49-60) and shift+alt (61-72).
Sequence legacyFunctionCapability(int number) {
    static constexpr std::array<int, 6> modifierOfBlock = {1, 2, 5, 6, 3, 4};
    if (number < 1 || number > 72) return std::nullopt;
    const int block = (number - 1) / 12;
    return legacyFunctionSequence(number - block * 12, modifierOfBlock[block]);
}

}  // namespace

// --- Encoder -----------------------------------------------------------------------------

KittyKeyboardEncoder KittyKeyboardEncoder::forTerminal(const Terminal& terminal, bool backspaceSendsControlH) {
    KittyKeyboardEncoder encoder;
    encoder.flags = KittyKeyboardFlags(terminal.keyboardEnhancementFlags());
    encoder.applicationCursor = terminal.applicationCursor;
    encoder.applicationKeypad = terminal.applicationKeypad;
    encoder.backspaceSendsControlH = backspaceSendsControlH;
    return encoder;
}

std::optional<std::vector<uint8_t>> KittyKeyboardEncoder::encode(const KittyKeyEvent& event) const {
    const Sequence sequence = encodeText(event);
    if (!sequence) return std::nullopt;
    return std::vector<uint8_t>(sequence->begin(), sequence->end());
}

KittyKeyboardEncoder::Sequence KittyKeyboardEncoder::encodeText(const KittyKeyEvent& event) const {
    // Bits the protocol does not define mean nothing to the encoder.
    const KittyKeyboardFlags f = flags & KittyKeyboardFlags::knownMask;
    const bool allKeys = f.contains(KittyKeyboardFlags::reportAllKeys);
    const bool isRelease = event.eventType == EventType::release;
    const KittyKey& key = event.key;

    if (isRelease && !f.contains(KittyKeyboardFlags::reportEvents)) return std::nullopt;
    const bool includeText = allKeys && f.contains(KittyKeyboardFlags::reportText) && !isRelease &&
                             !event.modifiers.intersects(Mods::alt | Mods::ctrl | superHyperMeta);
    if (!allKeys && isRelease && isEnterTabOrBackspace(key)) return std::nullopt;
    if (event.composing) {
        if (!(key.isModifierKey() && allKeys)) return std::nullopt;
    } else if (!allKeys && key.isModifierKey()) {
        return std::nullopt;
    }

    const KittyKeyboardEncoder& self = *this;
    auto nonText = [&] {
        return self.encodeNonText(event, f.contains(KittyKeyboardFlags::disambiguate),
                                  f.contains(KittyKeyboardFlags::reportEvents),
                                  f.contains(KittyKeyboardFlags::reportAlternates), !f.empty());
    };
    if (event.text && !event.text->empty()) {
        const std::string& text = *event.text;
        if ((key.is(FK::enter) || key.is(FK::backspace)) && !containsControlScalars(text)) {
            if (key.is(FK::backspace)) return std::nullopt;
            return text;
        }
        if (!allKeys) {
            const bool modifiedTextKey = key.kind == KittyKey::Kind::unicode &&
                                         event.modifiers.intersects(Mods::alt | Mods::ctrl) &&
                                         f.contains(KittyKeyboardFlags::disambiguate);
            if (key.kind == KittyKey::Kind::functional || modifiedTextKey) return nonText();
            if (isRelease) return std::nullopt;
            return text;
        }
    } else if (!allKeys) {
        return nonText();
    }
    return encodeAllKeys(event, includeText);
}

// With reportAllKeys every key becomes an escape sequence.
KittyKeyboardEncoder::Sequence KittyKeyboardEncoder::encodeAllKeys(const KittyKeyEvent& event, bool includeText) const {
    const bool alternates = flags.contains(KittyKeyboardFlags::reportAlternates);
    const bool events = flags.contains(KittyKeyboardFlags::reportEvents);
    if (event.key.kind != KittyKey::Kind::functional)
        return encodeCsiU(event, std::nullopt, includeText, alternates, events, true);

    const FK key = event.key.functionalKey;
    const FunctionalEncoding& encoding = functionalEncoding(key);
    const std::optional<EventType> eventType = reportedEventType(event, events);
    switch (encoding.form) {
    case Form::fixed:
        return encodeCsiU(event, encoding.number, includeText && key != FK::escape, alternates, events, true);
    case Form::letter:
        return buildCsiWithModifier(1, event.modifiers, eventType, std::string_view(&encoding.letter, 1), true);
    case Form::tilde: return buildCsiWithModifier(encoding.number, event.modifiers, eventType, "~");
    case Form::code: return encodeCsiU(event, encoding.number, includeText, alternates, events, true);
    }
    return std::nullopt;
}

KittyKeyboardEncoder::Sequence KittyKeyboardEncoder::encodeNonText(const KittyKeyEvent& event, bool disambiguate,
                                                                   bool includeEventType, bool includeAlternates,
                                                                   bool includeLocks) const {
    switch (event.key.kind) {
    case KittyKey::Kind::unicode:
        if (!disambiguate) {
            if (Sequence legacy = legacyTextKeySequence(event)) return legacy;
        }
        return encodeCsiU(event, std::nullopt, false, includeAlternates, includeEventType, includeLocks);
    case KittyKey::Kind::none: return encodeCsiU(event, 0, false, includeAlternates, includeEventType, includeLocks);
    case KittyKey::Kind::functional: break;
    }
    if ((flags & KittyKeyboardFlags::knownMask).empty())
        return legacyFunctionalKeySequence(event.key.functionalKey, event);
    return encodeFunctional(event, disambiguate, includeEventType, includeAlternates, includeLocks);
}

KittyKeyboardEncoder::Sequence KittyKeyboardEncoder::encodeFunctional(const KittyKeyEvent& event, bool disambiguate,
                                                                      bool includeEventType, bool includeAlternates,
                                                                      bool includeLocks) const {
    const FK key = event.key.functionalKey;
    const FunctionalEncoding& encoding = functionalEncoding(key);
    const Mods modifiers = includeLocks ? event.modifiers : event.modifiers.subtracting(locks);
    const std::optional<EventType> eventType = reportedEventType(event, includeEventType);
    const bool modified = !modifiers.empty() || eventType;

    switch (encoding.form) {
    case Form::fixed:
        if (key == FK::escape ? disambiguate : disambiguate && modified)
            return encodeCsiU(event, encoding.number, false, includeAlternates, includeEventType, includeLocks);
        return legacySpecialKeySequence(key, event.modifiers, event.eventType);
    case Form::letter:
        if (disambiguate || modified)
            return buildCsiWithModifier(1, modifiers, eventType, std::string_view(&encoding.letter, 1), true);
        if (key == FK::f1 || key == FK::f2 || key == FK::f4) return std::string(SS3) + encoding.letter;
        return std::string(applicationCursor ? SS3 : CSI) + encoding.letter;
    case Form::tilde: return buildCsiWithModifier(encoding.number, modifiers, eventType, "~");
    case Form::code:
        return encodeCsiU(event, encoding.number, false, includeAlternates, includeEventType, includeLocks);
    }
    return std::nullopt;
}

KittyKeyboardEncoder::Sequence KittyKeyboardEncoder::legacySpecialKeySequence(FK key, Mods modifiers,
                                                                              EventType eventType) const {
    if (eventType == EventType::release) return std::nullopt;
    std::string out;
    if (modifiers.contains(Mods::alt)) out += ESC;
    switch (key) {
    case FK::escape: out += ESC; break;
    case FK::enter: out += '\r'; break;
    case FK::tab:
        if (modifiers.contains(Mods::shift))
            out += std::string(CSI) + 'Z';
        else
            out += '\t';
        break;
    case FK::backspace: out += backspaceSendsControlH || modifiers.contains(Mods::ctrl) ? '\x08' : '\x7f'; break;
    default: return std::nullopt;
    }
    return out;
}

// Functional keys while no flag is set: the xterm-style sequences.
KittyKeyboardEncoder::Sequence KittyKeyboardEncoder::legacyFunctionalKeySequence(FK key,
                                                                                 const KittyKeyEvent& event) const {
    if (event.eventType == EventType::release || event.modifiers.intersects(superHyperMeta)) return std::nullopt;
    const Mods modifiers = event.modifiers.subtracting(locks);
    const int modifier = modifiers.rawValue + 1;

    if (Sequence keypad = legacyKeypadSequence(key, event.text, modifiers)) return keypad;
    if (key >= FK::f1 && key <= FK::f35) {
        const int number = legacyFunctionNumber(key);
        if (number >= 13) return legacyFunctionCapability(number);
        // shift, alt, ctrl and their pairs move F1-F12 into the extended numbers.
        static constexpr std::array<int, 6> offsetByModifiers = {0, 12, 48, 60, 24, 36};
        if (modifiers.rawValue < 6) return legacyFunctionCapability(number + offsetByModifiers[modifiers.rawValue]);
        return legacyFunctionSequence(number, modifier);
    }
    switch (key) {
    case FK::insert: return legacyTildeSequence(2, modifier);
    case FK::deleteKey: return legacyTildeSequence(3, modifier);
    case FK::pageUp: return legacyTildeSequence(5, modifier);
    case FK::pageDown: return legacyTildeSequence(6, modifier);
    case FK::up:
    case FK::down:
    case FK::left:
    case FK::right:
    case FK::home:
    case FK::end: return legacyNavigationSequence(functionalEncoding(key).letter, modifier, applicationCursor);
    case FK::escape:
    case FK::enter:
    case FK::tab:
    case FK::backspace: return legacySpecialKeySequence(key, event.modifiers, event.eventType);
    default: return std::nullopt;
    }
}

KittyKeyboardEncoder::Sequence KittyKeyboardEncoder::legacyKeypadSequence(FK key,
                                                                          const std::optional<std::string>& text,
                                                                          Mods modifiers) const {
    if (!isKeypad(key)) return std::nullopt;
    if (applicationKeypad && modifiers.empty())
        return std::string(SS3) + keypadApplicationLetters[indexOf(key) - indexOf(FK::keypad0)];
    const std::string prefix = modifiers.contains(Mods::alt) ? std::string(1, ESC) : std::string();
    if (key == FK::keypadEnter) return prefix + '\r';
    if (text && !text->empty()) return prefix + *text;
    const int modifier = modifiers.rawValue + 1;
    switch (key) {
    case FK::keypadLeft: return legacyNavigationSequence('D', modifier, false);
    case FK::keypadRight: return legacyNavigationSequence('C', modifier, false);
    case FK::keypadUp: return legacyNavigationSequence('A', modifier, false);
    case FK::keypadDown: return legacyNavigationSequence('B', modifier, false);
    case FK::keypadHome: return legacyNavigationSequence('H', modifier, false);
    case FK::keypadEnd: return legacyNavigationSequence('F', modifier, false);
    case FK::keypadPageUp: return legacyTildeSequence(5, modifier);
    case FK::keypadPageDown: return legacyTildeSequence(6, modifier);
    case FK::keypadInsert: return legacyTildeSequence(2, modifier);
    case FK::keypadDelete: return legacyTildeSequence(3, modifier);
    default: return std::nullopt;
    }
}

}  // namespace vantel
