#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "support/TerminalTestSupport.h"
#include "vantel/graphics/KittyKeyboardEncoder.h"

using namespace vantel;
using namespace std::string_view_literals;

namespace {

using FK = KittyFunctionalKey;
using Type = KittyKeyboardEventType;

constexpr int D = 1, E = 2, A = 4, K = 8, T = 16;                      // flags
constexpr int S = 1, Alt = 2, C = 4, Super = 8, Caps = 64, Num = 128;  // modifiers

KittyKey ch(char32_t c) { return KittyKey::unicode(c); }
KittyKey fn(FK key) { return KittyKey::functional(key); }

struct Row {
    const char* name;
    int flags = 0;
    KittyKey key;
    int mods = 0;
    const char* text = nullptr;
    Type type = Type::press;
    char32_t shifted = 0;
    char32_t base = 0;
    bool composing = false;
    bool appCursor = false;
    bool appKeypad = false;
    bool ctrlH = false;
    std::optional<std::string_view> expected;
};

// The key is not sent.
constexpr std::optional<std::string_view> nothing;

std::string printable(const std::optional<std::vector<uint8_t>>& bytes) {
    if (!bytes) return "(nothing)";
    std::string out;
    for (uint8_t b : *bytes) {
        if (b == 0x1b)
            out += "ESC";
        else if (b < 0x20 || b == 0x7f)
            out.append("<").append(std::to_string(b)).append(">");
        else
            out += static_cast<char>(b);
    }
    return out;
}

void runRows(std::initializer_list<Row> rows) {
    for (const Row& row : rows) {
        KittyKeyboardEncoder encoder;
        encoder.flags = KittyKeyboardFlags(row.flags);
        encoder.applicationCursor = row.appCursor;
        encoder.applicationKeypad = row.appKeypad;
        encoder.backspaceSendsControlH = row.ctrlH;
        KittyKeyEvent event;
        event.key = row.key;
        event.modifiers = KittyKeyboardModifiers(row.mods);
        event.eventType = row.type;
        if (row.text) event.text = row.text;
        if (row.shifted) event.shiftedKey = row.shifted;
        if (row.base) event.baseLayoutKey = row.base;
        event.composing = row.composing;

        std::optional<std::vector<uint8_t>> expected;
        if (row.expected) expected.emplace(row.expected->begin(), row.expected->end());
        EXPECT_EQ(printable(encoder.encode(event)), printable(expected)) << row.name << " (flags " << row.flags << ")";
    }
}

}  // namespace

TEST(KittyKeyboardEncoderTest, ProtocolFlags) {
    // clang-format off
    runRows({
        {.name = "plain a", .flags = D, .key = ch('a'), .text = "a", .expected = "a"},
        {.name = "ctrl+a with text", .flags = D, .key = ch('a'), .mods = C, .text = "\x01", .expected = "\x1b[97;5u"},
        {.name = "alt+a", .flags = D, .key = ch('a'), .mods = Alt, .text = "a", .expected = "\x1b[97;3u"},
        {.name = "escape", .flags = D, .key = fn(FK::escape), .text = "\x1b", .expected = "\x1b[27u"},
        {.name = "shift+tab", .flags = D, .key = fn(FK::tab), .mods = S, .expected = "\x1b[9;2u"},
        {.name = "enter", .flags = D, .key = fn(FK::enter), .text = "\r", .expected = "\r"},
        {.name = "backspace", .flags = D, .key = fn(FK::backspace), .text = "\x7f", .expected = "\x7f"},
        {.name = "ctrl+backspace", .flags = D, .key = fn(FK::backspace), .mods = C, .expected = "\x1b[127;5u"},
        {.name = "up", .flags = D, .key = fn(FK::up), .expected = "\x1b[A"},
        {.name = "f1", .flags = D, .key = fn(FK::f1), .expected = "\x1b[P"},
        {.name = "f5", .flags = D, .key = fn(FK::f5), .expected = "\x1b[15~"},
        {.name = "ctrl+f5", .flags = D, .key = fn(FK::f5), .mods = C, .expected = "\x1b[15;5~"},
        {.name = "f13", .flags = D, .key = fn(FK::f13), .expected = "\x1b[57376u"},
        {.name = "keypad 5", .flags = D, .key = fn(FK::keypad5), .text = "5", .expected = "\x1b[57404u"},
        {.name = "caps lock counts", .flags = D, .key = fn(FK::up), .mods = Caps, .expected = "\x1b[1;65A"},
        {.name = "modifier key dropped", .flags = D, .key = fn(FK::leftShift), .mods = S, .expected = nothing},
        {.name = "up outside application mode", .flags = E, .key = fn(FK::up), .expected = "\x1b[A"},
        {.name = "up in application mode", .flags = E, .key = fn(FK::up), .appCursor = true, .expected = "\x1bOA"},
        {.name = "f2 always SS3", .flags = E, .key = fn(FK::f2), .expected = "\x1bOQ"},
        {.name = "escape", .flags = E, .key = fn(FK::escape), .expected = "\x1b"},
        {.name = "released a", .flags = E, .key = ch('a'), .type = Type::release, .expected = "\x1b[97;1:3u"},
        {.name = "ctrl+a", .flags = E, .key = ch('a'), .mods = C, .expected = "\x01"},
        {.name = "release of a without text", .flags = D | E, .key = ch('a'), .type = Type::release,
         .expected = "\x1b[97;1:3u"},
        {.name = "release of a with text", .flags = D | E, .key = ch('a'), .text = "a", .type = Type::release,
         .expected = nothing},
        {.name = "repeat of up", .flags = D | E, .key = fn(FK::up), .type = Type::repeat, .expected = "\x1b[1;1:2A"},
        {.name = "release of enter", .flags = D | E, .key = fn(FK::enter), .type = Type::release, .expected = nothing},
        {.name = "release of escape", .flags = D | E, .key = fn(FK::escape), .type = Type::release,
         .expected = "\x1b[27;1:3u"},
        {.name = "release of ctrl+a", .flags = D | E, .key = ch('a'), .mods = C, .type = Type::release,
         .expected = "\x1b[97;5:3u"},
        {.name = "repeat of f5", .flags = D | E, .key = fn(FK::f5), .type = Type::repeat, .expected = "\x1b[15;1:2~"},
        {.name = "release without reportEvents", .flags = D, .key = ch('a'), .type = Type::release,
         .expected = nothing},
        {.name = "release in legacy mode", .key = fn(FK::up), .type = Type::release, .expected = nothing},
        {.name = "all keys: release of a with text", .flags = K | T | E, .key = ch('a'), .text = "a",
         .type = Type::release, .expected = "\x1b[97;1:3u"},
        {.name = "all keys: release of enter", .flags = K | E, .key = fn(FK::enter), .type = Type::release,
         .expected = "\x1b[13;1:3u"},
        {.name = "a", .flags = K | T, .key = ch('a'), .text = "a", .expected = "\x1b[97;;97u"},
        {.name = "shift+a", .flags = K | T, .key = ch('a'), .mods = S, .text = "A", .expected = "\x1b[97;2;65u"},
        {.name = "ctrl+a has no text field", .flags = K | T, .key = ch('a'), .mods = C, .text = "\x01",
         .expected = "\x1b[97;5u"},
        {.name = "several scalars", .flags = K | T, .key = ch('a'), .text = "\xc3\xa9x",
         .expected = "\x1b[97;;233:120u"},
        {.name = "without reportText", .flags = K, .key = ch('a'), .text = "a", .expected = "\x1b[97u"},
        {.name = "enter", .flags = K | T, .key = fn(FK::enter), .text = "\r", .expected = "\x1b[13u"},
        {.name = "escape", .flags = K | T, .key = fn(FK::escape), .text = "\x1b", .expected = "\x1b[27u"},
        {.name = "up", .flags = K | T, .key = fn(FK::up), .expected = "\x1b[A"},
        {.name = "shift+up", .flags = K | T, .key = fn(FK::up), .mods = S, .expected = "\x1b[1;2A"},
        {.name = "delete", .flags = K, .key = fn(FK::deleteKey), .expected = "\x1b[3~"},
        {.name = "keypad 5", .flags = K | T, .key = fn(FK::keypad5), .text = "5", .expected = "\x1b[57404;;53u"},
        {.name = "left shift", .flags = K, .key = fn(FK::leftShift), .mods = S, .expected = "\x1b[57441;2u"},
        {.name = "iso level 5 shift", .flags = K, .key = fn(FK::isoLevel5Shift), .expected = "\x1b[57454u"},
        {.name = "volume mute", .flags = K, .key = fn(FK::volumeMute), .expected = "\x1b[57440u"},
        {.name = "caps lock key", .flags = K, .key = fn(FK::capsLock), .expected = "\x1b[57358u"},
        {.name = "caps lock on", .flags = K, .key = ch('a'), .mods = Caps, .expected = "\x1b[97;65u"},
        {.name = "num lock on", .flags = K | T, .key = ch('a'), .mods = Num, .text = "a",
         .expected = "\x1b[97;129;97u"},
        {.name = "shifted and base", .flags = K | A, .key = ch('a'), .mods = S, .shifted = 'A', .base = 'a',
         .expected = "\x1b[97:65:97;2u"},
        {.name = "no shift: empty shifted field", .flags = K | A, .key = ch('a'), .shifted = 'A', .base = 'a',
         .expected = "\x1b[97::97u"},
        {.name = "shifted only", .flags = K | A, .key = ch('a'), .mods = S, .shifted = 'A',
         .expected = "\x1b[97:65;2u"},
        {.name = "without the flag", .flags = K, .key = ch('a'), .mods = S, .shifted = 'A', .base = 'a',
         .expected = "\x1b[97;2u"},
        {.name = "disambiguate ctrl", .flags = D | A, .key = ch(0x444), .mods = C, .base = 'f',
         .expected = "\x1b[1092::102;5u"},
        {.name = "legacy", .key = ch('a'), .text = "a", .composing = true, .expected = nothing},
        {.name = "all keys: text key", .flags = K, .key = ch('a'), .text = "a", .composing = true, .expected = nothing},
        {.name = "all keys: modifier key", .flags = K, .key = fn(FK::leftShift), .mods = S, .composing = true,
         .expected = "\x1b[57441;2u"},
        {.name = "disambiguate: modifier key", .flags = D, .key = fn(FK::leftShift), .composing = true,
         .expected = nothing},
    });
    // clang-format on
}

TEST(KittyKeyboardEncoderTest, LegacyEncoding) {
    // clang-format off
    runRows({
        {.name = "ctrl+c with text", .key = ch('c'), .mods = C, .text = "\x03", .expected = "\x03"},
        {.name = "alt+x with text", .key = ch('x'), .mods = Alt, .text = "x", .expected = "x"},
        {.name = "ctrl+shift+a", .key = ch('a'), .mods = C | S, .expected = "\x1b[97;6u"},
        {.name = "ctrl+a", .key = ch('a'), .mods = C, .expected = "\x01"},
        {.name = "ctrl+A", .key = ch('A'), .mods = C, .expected = "\x01"},
        {.name = "ctrl+space", .key = ch(' '), .mods = C, .expected = "\0"sv},
        {.name = "ctrl+[", .key = ch('['), .mods = C, .expected = "\x1b"},
        {.name = "ctrl+?", .key = ch('?'), .mods = C, .expected = "\x7f"},
        {.name = "ctrl+1 is itself", .key = ch('1'), .mods = C, .expected = "1"},
        {.name = "ctrl+alt+a", .key = ch('a'), .mods = C | Alt, .expected = "\x1b\x01"},
        {.name = "ctrl without mapping", .key = ch(0xe9), .mods = C, .expected = "\xc3\xa9"},
        {.name = "shift uses the shifted key", .key = ch('a'), .mods = S, .shifted = 'A', .expected = "A"},
        {.name = "alt+b", .key = ch('b'), .mods = Alt, .expected = "\033b"},
        {.name = "super+a", .key = ch('a'), .mods = Super, .expected = "\x1b[97;9u"},
        {.name = "caps lock ignored", .key = ch('a'), .mods = Caps | C, .expected = "\x01"},
        {.name = "surrogate", .key = ch(0xd800), .expected = "\x1b[55296u"},
        {.name = "modifier key", .key = fn(FK::leftControl), .mods = C, .expected = nothing},
        {.name = "no key with text", .key = KittyKey::none(), .text = "\xc3\xa9", .expected = "\xc3\xa9"},
        {.name = "f5 with ctrl", .key = fn(FK::f5), .mods = C, .expected = "\x1b[15;5~"},
        {.name = "f13", .key = fn(FK::f13), .expected = "\x1b[1;2P"},
        {.name = "f13 ignores modifiers", .key = fn(FK::f13), .mods = C, .expected = "\x1b[1;2P"},
        {.name = "f35", .key = fn(FK::f35), .expected = "\x1b[23;5~"},
        {.name = "f1", .key = fn(FK::f1), .expected = "\x1bOP"},
        {.name = "shift+f1", .key = fn(FK::f1), .mods = S, .expected = "\x1b[1;2P"},
        {.name = "alt+f12", .key = fn(FK::f12), .mods = Alt, .expected = "\x1b[24;3~"},
        {.name = "shift+alt+f3", .key = fn(FK::f3), .mods = S | Alt, .expected = "\x1b[1;4R"},
        {.name = "ctrl+alt+f5", .key = fn(FK::f5), .mods = C | Alt, .expected = "\x1b[15;7~"},
        {.name = "f5 with its private text", .key = fn(FK::f5), .text = "\xef\x9c\x88", .expected = "\x1b[15~"},
        {.name = "up", .key = fn(FK::up), .expected = "\x1b[A"},
        {.name = "up in application cursor mode", .key = fn(FK::up), .appCursor = true, .expected = "\x1bOA"},
        {.name = "shift+up in application cursor mode", .key = fn(FK::up), .mods = S, .appCursor = true,
         .expected = "\x1b[1;2A"},
        {.name = "caps lock ignored", .key = fn(FK::home), .mods = Caps, .expected = "\x1b[H"},
        {.name = "super+up", .key = fn(FK::up), .mods = Super, .expected = nothing},
        {.name = "insert", .key = fn(FK::insert), .expected = "\x1b[2~"},
        {.name = "ctrl+delete", .key = fn(FK::deleteKey), .mods = C, .expected = "\x1b[3;5~"},
        {.name = "escape", .key = fn(FK::escape), .text = "\x1b", .expected = "\x1b"},
        {.name = "alt+enter", .key = fn(FK::enter), .mods = Alt, .text = "\r", .expected = "\x1b\r"},
        {.name = "shift+tab", .key = fn(FK::tab), .mods = S, .expected = "\x1b[Z"},
        {.name = "backspace", .key = fn(FK::backspace), .text = "\x7f", .expected = "\x7f"},
        {.name = "ctrl+backspace", .key = fn(FK::backspace), .mods = C, .expected = "\x08"},
        {.name = "backspace sends ctrl-h", .key = fn(FK::backspace), .ctrlH = true, .expected = "\x08"},
        {.name = "backspace with plain text", .key = fn(FK::backspace), .text = "x", .expected = nothing},
        {.name = "enter with plain text", .key = fn(FK::enter), .text = "x", .expected = "x"},
        {.name = "media key", .key = fn(FK::mediaPlay), .expected = nothing},
        {.name = "digit", .key = fn(FK::keypad5), .text = "5", .expected = "5"},
        {.name = "application digit", .key = fn(FK::keypad5), .text = "5", .appKeypad = true, .expected = "\x1bOu"},
        {.name = "application enter", .key = fn(FK::keypadEnter), .text = "\r", .appKeypad = true,
         .expected = "\x1bOM"},
        {.name = "application separator", .key = fn(FK::keypadSeparator), .appKeypad = true, .expected = "\x1bOl"},
        {.name = "application page up", .key = fn(FK::keypadPageUp), .appKeypad = true, .expected = "\x1bOy"},
        {.name = "application begin", .key = fn(FK::keypadBegin), .appKeypad = true, .expected = "\x1bOu"},
        {.name = "application with shift", .key = fn(FK::keypad5), .mods = S, .text = "5", .appKeypad = true,
         .expected = "5"},
        {.name = "enter", .key = fn(FK::keypadEnter), .expected = "\r"},
        {.name = "alt+enter", .key = fn(FK::keypadEnter), .mods = Alt, .expected = "\x1b\r"},
        {.name = "left", .key = fn(FK::keypadLeft), .expected = "\x1b[D"},
        {.name = "left ignores application cursor", .key = fn(FK::keypadLeft), .appCursor = true, .expected = "\x1b[D"},
        {.name = "ctrl+home", .key = fn(FK::keypadHome), .mods = C, .expected = "\x1b[1;5H"},
        {.name = "page up", .key = fn(FK::keypadPageUp), .expected = "\x1b[5~"},
        {.name = "shift+delete", .key = fn(FK::keypadDelete), .mods = S, .expected = "\x1b[3;2~"},
        {.name = "begin without text", .key = fn(FK::keypadBegin), .expected = nothing},
        {.name = "only an unknown bit", .flags = 32, .key = fn(FK::up), .mods = Caps, .expected = "\x1b[A"},
        {.name = "unknown bit beside disambiguate", .flags = 32 | D, .key = ch('a'), .mods = C,
         .expected = "\x1b[97;5u"},
    });
    // clang-format on
}

TEST(KittyKeyboardEncoderTest, ForTerminalReadsTheActiveScreen) {
    vantel::testing::TestTerminal t;
    t->keyboardModeNormal.flags = KittyKeyboardFlags(D);
    t->keyboardModeAlt.flags = KittyKeyboardFlags(K);
    t->applicationCursor = true;
    KittyKeyboardEncoder encoder = KittyKeyboardEncoder::forTerminal(*t, true);
    EXPECT_EQ(encoder.flags, KittyKeyboardFlags::disambiguate);
    EXPECT_TRUE(encoder.applicationCursor);
    EXPECT_FALSE(encoder.applicationKeypad);
    EXPECT_TRUE(encoder.backspaceSendsControlH);
    t->activateAltBuffer(std::nullopt);
    EXPECT_EQ(KittyKeyboardEncoder::forTerminal(*t, false).flags, KittyKeyboardFlags::reportAllKeys);
}
