// OSC commands: directory, document, hyperlinks, clipboard, notifications, progress, inline files.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::oscSetCurrentDocument(std::span<const uint8_t>) {}
void Terminal::oscSetCurrentDirectory(std::span<const uint8_t>) {}
void Terminal::oscHyperlink(std::span<const uint8_t>) {}
std::optional<ProgressReport> Terminal::parseProgressReport(std::span<const uint8_t>) { return std::nullopt; }
void Terminal::oscClipboard(std::span<const uint8_t>) {}
void Terminal::oscNotification(std::span<const uint8_t>) {}
void Terminal::osciTerm2(std::span<const uint8_t>) {}

}  // namespace vantel
