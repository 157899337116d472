// Kitty keyboard protocol flags per screen: push, pop, set and query.
#include "vantel/core/Terminal.h"

namespace vantel {

bool Terminal::handleKittyKeyboardProtocol(std::span<const int> pars, std::string_view collect) {
    if (collect.size() != 1) return false;
    KeyboardModeState& state = activeKeyboardMode();
    const int first = pars.empty() ? 0 : pars[0];
    switch (collect[0]) {
    case '>': {
        if (state.stack.size() >= maximumKeyboardModeStackDepth) state.stack.erase(state.stack.begin());
        state.stack.push_back(state.flags);
        state.flags = KittyKeyboardFlags(first) & KittyKeyboardFlags::knownMask;
        return true;
    }
    case '<': {
        const size_t count = first >= 1 ? static_cast<size_t>(first) : 1;
        if (state.stack.size() < count) {
            state.stack.clear();
            state.flags = KittyKeyboardFlags();
            return true;
        }
        state.flags = state.stack[state.stack.size() - count];
        state.stack.resize(state.stack.size() - count);
        return true;
    }
    case '=': {
        const KittyKeyboardFlags value = KittyKeyboardFlags(first) & KittyKeyboardFlags::knownMask;
        switch (pars.size() >= 2 ? pars[1] : 1) {
        case 1: state.flags = value; break;
        case 2: state.flags = state.flags | value; break;
        case 3: state.flags = KittyKeyboardFlags(state.flags.rawValue & ~value.rawValue); break;
        default: break;
        }
        return true;
    }
    case '?': sendResponseParts(csi(), "?", std::to_string(state.flags.rawValue), "u"); return true;
    default: return false;
    }
}

}  // namespace vantel
