// Bidirectional presentation state of lines.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::applyCurrentBidiStateAtParagraphStart(const BidiStateProperties&) {}

}  // namespace vantel
