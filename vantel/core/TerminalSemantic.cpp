// Shell integration: OSC 133 prompt tracking.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::oscSemanticPrompt(std::span<const uint8_t>) {}
void Terminal::semanticNoteAlternateScreenSwitch() {}
void Terminal::resetSemanticPromptState(bool) {}
void Terminal::finishSemanticLineAdvance(bool) {}

}  // namespace vantel
