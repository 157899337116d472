#pragma once

#include <any>
#include <cstdint>
#include <string>

#include "vantel/core/Attribute.h"
#include "vantel/core/Character.h"
#include "vantel/core/SemanticPrompt.h"
#include "vantel/core/TinyAtom.h"

namespace vantel {

// One screen cell. `code` is 0 for an empty cell, a Unicode scalar up to 0x400000,
// or, above 0x400000, an index into the grapheme table of the terminal that wrote it.
struct CharData {
    int32_t code = 0;
    int8_t width = 1;  // 1 ordinary, 2 first half of a wide character, 0 the covered second half
    uint8_t semanticContentCode = 0;
    TinyAtom payload;
    Attribute attribute;

    static constexpr int32_t maxRune = 0x400000;

    constexpr CharData() = default;
    constexpr CharData(Attribute attr, int32_t codeValue, int8_t size)
        : code(codeValue), width(size), attribute(attr) {}
    constexpr CharData(int32_t codeValue, int8_t size, TinyAtom payloadValue, uint8_t semanticCode, Attribute attr)
        : code(codeValue), width(size), semanticContentCode(semanticCode), payload(payloadValue), attribute(attr) {}

    void setValue(int32_t newCode, int32_t size) {
        code = newCode;
        width = static_cast<int8_t>(size);
    }

    bool hasPayload() const { return payload.code != 0; }
    void setPayload(TinyAtom atom) { payload = atom; }
    std::any getPayload() const { return payload.target(); }

    // The code read as one scalar; codes that are no scalar (grapheme indices included) give " ".
    Character getCharacter() const;
    SemanticContent semanticContent() const { return SemanticContent::fromCode(semanticContentCode); }
    bool isSimpleRune() const { return code < maxRune; }
    std::string debugDescription() const;

    friend constexpr bool operator==(const CharData&, const CharData&) = default;

    // The blank cell lines are filled with: empty code, width 1, default attribute.
    static const CharData Null;
};

inline constexpr CharData CharData::Null{};

static_assert(sizeof(CharData) == 24, "a cell stays a small fixed-size value");

}  // namespace vantel
