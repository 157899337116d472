#pragma once

#include <cstdint>
#include <string>

#include "vantel/core/Position.h"

namespace vantel {

enum class SemanticPromptKind : uint8_t { initial = 0, right = 1, continuation = 2, secondary = 3 };

const char* tagName(SemanticPromptKind kind);      // "i", "r", "c", "s"
const char* description(SemanticPromptKind kind);  // "initial", ...

// The shell-integration class of a cell.
struct SemanticContent {
    enum class Kind : uint8_t { prompt, none, input, output };
    Kind kind = Kind::none;
    SemanticPromptKind promptKind = SemanticPromptKind::initial;  // meaningful for prompt only

    static constexpr SemanticContent none() { return {Kind::none, SemanticPromptKind::initial}; }
    static constexpr SemanticContent input() { return {Kind::input, SemanticPromptKind::initial}; }
    static constexpr SemanticContent output() { return {Kind::output, SemanticPromptKind::initial}; }
    static constexpr SemanticContent prompt(SemanticPromptKind k) { return {Kind::prompt, k}; }

    // The per-cell code: 0 none, 1-4 prompt kinds, 5 input, 6 output; 7 and above read as none.
    static constexpr SemanticContent fromCode(uint8_t code) {
        if (code >= 1 && code <= 4) return prompt(static_cast<SemanticPromptKind>(code - 1));
        if (code == 5) return input();
        if (code == 6) return output();
        return none();
    }
    constexpr uint8_t code() const {
        // Asked for every printed run: a lookup rather than a switch.
        constexpr uint8_t base[4] = {1, 0, 5, 6};
        const uint8_t k = static_cast<uint8_t>(kind) & 3;
        return static_cast<uint8_t>(base[k] + (kind == Kind::prompt ? static_cast<uint8_t>(promptKind) : 0));
    }
    std::string description() const;

    friend constexpr bool operator==(SemanticContent a, SemanticContent b) {
        return a.kind == b.kind && (a.kind != Kind::prompt || a.promptKind == b.promptKind);
    }
};

struct SemanticMark {
    SemanticPromptKind kind = SemanticPromptKind::initial;
    int column = 0;
    uint64_t group = 0;
    friend bool operator==(const SemanticMark&, const SemanticMark&) = default;
};

struct SemanticPromptAnchor {
    Position position;
    SemanticPromptKind kind = SemanticPromptKind::initial;
    friend bool operator==(const SemanticPromptAnchor&, const SemanticPromptAnchor&) = default;
};

enum class SemanticInputState : uint8_t { idle, prompt, armed, submitted };

enum class SemanticPromptCursorClickMode : uint8_t { line, multiple, conservativeVertical, smartVertical };

struct SemanticPromptClickMode {
    enum class Kind : uint8_t { cursorKeys, none, clickEventsAbsolute, clickEventsRelative };
    Kind kind = Kind::none;
    SemanticPromptCursorClickMode cursorMode = SemanticPromptCursorClickMode::line;  // for cursorKeys

    static constexpr SemanticPromptClickMode none() { return {Kind::none, SemanticPromptCursorClickMode::line}; }
    static constexpr SemanticPromptClickMode cursorKeys(SemanticPromptCursorClickMode m) { return {Kind::cursorKeys, m}; }
    static constexpr SemanticPromptClickMode clickEventsAbsolute() {
        return {Kind::clickEventsAbsolute, SemanticPromptCursorClickMode::line};
    }
    static constexpr SemanticPromptClickMode clickEventsRelative() {
        return {Kind::clickEventsRelative, SemanticPromptCursorClickMode::line};
    }
    friend constexpr bool operator==(SemanticPromptClickMode a, SemanticPromptClickMode b) {
        return a.kind == b.kind && (a.kind != Kind::cursorKeys || a.cursorMode == b.cursorMode);
    }
};

struct SemanticPromptClickModifiers {
    uint8_t rawValue = 0;
    static constexpr uint8_t shift = 1;
    static constexpr uint8_t control = 2;
    static constexpr uint8_t option = 4;
    static constexpr uint8_t command = 8;
    constexpr bool contains(uint8_t flags) const { return (rawValue & flags) == flags; }
    constexpr bool isEmpty() const { return rawValue == 0; }
    friend constexpr bool operator==(SemanticPromptClickModifiers, SemanticPromptClickModifiers) = default;
};

struct SemanticPromptClickBehavior {
    enum class Kind : uint8_t { requireModifier, disabled, enabled };
    Kind kind = Kind::enabled;
    SemanticPromptClickModifiers modifiers;  // for requireModifier

    static constexpr SemanticPromptClickBehavior enabled() { return {Kind::enabled, {}}; }
    static constexpr SemanticPromptClickBehavior disabled() { return {Kind::disabled, {}}; }
    static constexpr SemanticPromptClickBehavior requireModifier(SemanticPromptClickModifiers m) {
        return {Kind::requireModifier, m};
    }
};

struct SemanticPromptPointerSnapshot {
    bool selectionWasActive = false;
    bool didDrag = false;
    int clickCount = 0;
    bool pressWasSemanticEligible = false;
};

}  // namespace vantel
