#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace vantel {

// The fixed bytes sent to the child for keys that have no text of their own,
// and the frame of a bracketed paste. Wire formats: sent exactly as listed.
struct EscapeSequences {
    using Bytes = std::span<const uint8_t>;

    static constexpr std::array<uint8_t, 1> cmdNewLine{0x0A};
    static constexpr std::array<uint8_t, 1> cmdRet{0x0D};
    static constexpr std::array<uint8_t, 1> cmdEsc{0x1B};
    static constexpr std::array<uint8_t, 1> cmdDel{0x7F};
    static constexpr std::array<uint8_t, 4> cmdDelKey{0x1B, '[', '3', '~'};
    static constexpr std::array<uint8_t, 3> moveUpApp{0x1B, 'O', 'A'};
    static constexpr std::array<uint8_t, 3> moveUpNormal{0x1B, '[', 'A'};
    static constexpr std::array<uint8_t, 3> moveDownApp{0x1B, 'O', 'B'};
    static constexpr std::array<uint8_t, 3> moveDownNormal{0x1B, '[', 'B'};
    static constexpr std::array<uint8_t, 3> moveLeftApp{0x1B, 'O', 'D'};
    static constexpr std::array<uint8_t, 3> moveLeftNormal{0x1B, '[', 'D'};
    static constexpr std::array<uint8_t, 3> moveRightApp{0x1B, 'O', 'C'};
    static constexpr std::array<uint8_t, 3> moveRightNormal{0x1B, '[', 'C'};
    static constexpr std::array<uint8_t, 3> moveHomeApp{0x1B, 'O', 'H'};
    static constexpr std::array<uint8_t, 3> moveHomeNormal{0x1B, '[', 'H'};
    static constexpr std::array<uint8_t, 3> moveEndApp{0x1B, 'O', 'F'};
    static constexpr std::array<uint8_t, 3> moveEndNormal{0x1B, '[', 'F'};
    static constexpr std::array<uint8_t, 1> cmdTab{0x09};
    static constexpr std::array<uint8_t, 3> cmdBackTab{0x1B, '[', 'Z'};
    static constexpr std::array<uint8_t, 4> cmdPageUp{0x1B, '[', '5', '~'};
    static constexpr std::array<uint8_t, 4> cmdPageDown{0x1B, '[', '6', '~'};
    static constexpr std::array<uint8_t, 4> cmdInsert{0x1B, '[', '2', '~'};
    static constexpr std::array<uint8_t, 2> emacsBack{0x1B, 'b'};
    static constexpr std::array<uint8_t, 2> emacsForward{0x1B, 'f'};
    static constexpr std::array<uint8_t, 6> controlLeft{0x1B, '[', '1', ';', '5', 'D'};
    static constexpr std::array<uint8_t, 6> controlRight{0x1B, '[', '1', ';', '5', 'C'};

    // F1 to F12. F5 skips 16 and F11 skips 22, as terminals have always sent them.
    static const std::array<Bytes, 12> cmdF;

    // An embedding program may replace these.
    static std::vector<uint8_t> bracketedPasteStart;
    static std::vector<uint8_t> bracketedPasteEnd;

    enum class CursorKey : uint8_t { up, down, left, right, home, end };
    // The ESC O form while application cursor mode is on, the ESC [ form otherwise.
    static Bytes cursorKey(CursorKey key, bool applicationCursor);
};

}  // namespace vantel
