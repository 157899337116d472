#include "vantel/core/EscapeSequences.h"

namespace vantel {

namespace {

constexpr uint8_t f1[] = {0x1B, 'O', 'P'};
constexpr uint8_t f2[] = {0x1B, 'O', 'Q'};
constexpr uint8_t f3[] = {0x1B, 'O', 'R'};
constexpr uint8_t f4[] = {0x1B, 'O', 'S'};
constexpr uint8_t f5[] = {0x1B, '[', '1', '5', '~'};
constexpr uint8_t f6[] = {0x1B, '[', '1', '7', '~'};
constexpr uint8_t f7[] = {0x1B, '[', '1', '8', '~'};
constexpr uint8_t f8[] = {0x1B, '[', '1', '9', '~'};
constexpr uint8_t f9[] = {0x1B, '[', '2', '0', '~'};
constexpr uint8_t f10[] = {0x1B, '[', '2', '1', '~'};
constexpr uint8_t f11[] = {0x1B, '[', '2', '3', '~'};
constexpr uint8_t f12[] = {0x1B, '[', '2', '4', '~'};

}  // namespace

const std::array<EscapeSequences::Bytes, 12> EscapeSequences::cmdF = {
    Bytes(f1), Bytes(f2), Bytes(f3), Bytes(f4),  Bytes(f5),  Bytes(f6),
    Bytes(f7), Bytes(f8), Bytes(f9), Bytes(f10), Bytes(f11), Bytes(f12),
};

std::vector<uint8_t> EscapeSequences::bracketedPasteStart = {0x1B, '[', '2', '0', '0', '~'};
std::vector<uint8_t> EscapeSequences::bracketedPasteEnd = {0x1B, '[', '2', '0', '1', '~'};

EscapeSequences::Bytes EscapeSequences::cursorKey(CursorKey key, bool applicationCursor) {
    switch (key) {
    case CursorKey::up: return applicationCursor ? Bytes(moveUpApp) : Bytes(moveUpNormal);
    case CursorKey::down: return applicationCursor ? Bytes(moveDownApp) : Bytes(moveDownNormal);
    case CursorKey::left: return applicationCursor ? Bytes(moveLeftApp) : Bytes(moveLeftNormal);
    case CursorKey::right: return applicationCursor ? Bytes(moveRightApp) : Bytes(moveRightNormal);
    case CursorKey::home: return applicationCursor ? Bytes(moveHomeApp) : Bytes(moveHomeNormal);
    case CursorKey::end: return applicationCursor ? Bytes(moveEndApp) : Bytes(moveEndNormal);
    }
    return {};
}

}  // namespace vantel
