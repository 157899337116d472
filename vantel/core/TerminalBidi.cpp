// Bidirectional presentation state of lines: applied only where a paragraph starts.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::applyCurrentBidiStateAtParagraphStart(const BidiStateProperties& properties) {
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const int row = b.yBase() + b.y();
    if (b.x() != 0 || row < 0 || row >= lines.count()) return;
    // Changing the state inside a paragraph would give it two layouts.
    if (row != 0 && lines[row].isWrapped()) return;

    BidiPresentationState state = lines[row].bidiState();
    for (BidiStateProperty property : properties) {
        switch (property) {
        case BidiStateProperty::supportMode: state.supportMode = currentBidiState.supportMode; break;
        case BidiStateProperty::autodetectDirection:
            state.autodetectDirection = currentBidiState.autodetectDirection;
            break;
        case BidiStateProperty::fallbackDirection:
            state.fallbackDirection = currentBidiState.fallbackDirection;
            break;
        case BidiStateProperty::boxMirroring: state.boxMirroring = currentBidiState.boxMirroring; break;
        }
    }
    lines[row].setBidiState(state);
    for (int r = row + 1; r < lines.count() && lines[r].isWrapped(); ++r) lines[r].setBidiState(state);
}

void Terminal::restoreBidiPrivateModes(std::span<const int> pars) {
    BidiPresentationState state = currentBidiState;
    BidiStateProperties changed;
    for (int mode : pars) {
        auto saved = savedBidiPrivateModes.find(mode);
        if (saved == savedBidiPrivateModes.end()) continue;
        switch (mode) {
        case 1243: bidiArrowKeySwap = saved->second; break;
        case 2501:
            state.autodetectDirection = saved->second;
            changed.insert(BidiStateProperty::autodetectDirection);
            break;
        case 2500:
            state.boxMirroring = saved->second;
            changed.insert(BidiStateProperty::boxMirroring);
            break;
        default: break;
        }
    }
    if (changed.empty()) return;
    currentBidiState = state;
    normalBuffer_->defaultBidiState = state;
    altBuffer_->defaultBidiState = state;
    applyCurrentBidiStateAtParagraphStart(changed);
    updateFullScreen();
}

}  // namespace vantel
