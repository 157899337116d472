// The CSI p family: soft reset (DECSTR), conformance level (DECSCL) and mode queries.
#include "vantel/core/TextUtil.h"
#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

void setConformanceLevel(Terminal& t, std::span<const int> pars) {
    // An omitted level arrives as a lone 0, which names no level.
    if (pars.empty() || (pars.size() == 1 && pars[0] == 0)) return;
    using Level = Terminal::TerminalConformance;
    switch (pars[0]) {
    case 61: t.conformance = Level::vt100; break;
    case 62: t.conformance = Level::vt200; break;
    case 63: t.conformance = Level::vt300; break;
    case 64: t.conformance = Level::vt400; break;
    default: t.conformance = Level::vt500; break;
    }
    // A VT100 has no 8-bit controls; the others take 0 or 2 to mean 8-bit.
    if (pars[0] == 61) t.cc.send8bit = false;
    else if (pars.size() >= 2) t.cc.send8bit = pars[1] == 0 || pars[1] == 2;
}

}  // namespace

void Terminal::csiPHandler(std::span<const int> pars, std::string_view collect) {
    if (collect == "!") return cmdSoftReset();
    if (collect == "\"") return setConformanceLevel(*this, pars);
    if (collect == "?$") return cmdDecRqm(pars, true);
    if (collect == "$") return cmdDecRqm(pars, false);
    if (silentLog) return;
    std::string bytes;
    for (char c : collect) bytes += std::to_string(static_cast<unsigned char>(c));
    log("Unhandled CSI " + bytes + " with pars=" + text::decimalList(pars));
}

void Terminal::cmdSoftReset() {
    applyBidiState(options_.initialBidiState, allBidiStateProperties());
    bidiArrowKeySwap = options_.initialBidiArrowKeySwap;
    savedBidiPrivateModes.clear();

    cursorHidden = false;
    originMode = false;
    insertMode = normalBuffer_->insertMode = altBuffer_->insertMode = false;
    wraparound = normalBuffer_->wraparound = altBuffer_->wraparound = true;
    reverseWraparound = false;
    applicationKeypad = false;
    applicationCursor = false;

    buffer_->setScrollTop(0);
    buffer_->setScrollBottom(rows_ - 1);
    curAttr = Attribute::defaultAttribute;
    buffer_->softReset();
    resetSemanticPromptState(true);
    charset = nullptr;
    gLevel = 0;
    conformance = TerminalConformance::vt500;
    activeHyperlink.reset();
    lineFeedMode = options_.convertEol;

    resetAllColors();
    if (tdel_) tdel_->showCursor(*this);
}

}  // namespace vantel
