// ANSI and DEC private modes: set, reset, save, restore, query; soft reset.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::cmdSetMode(std::span<const int>, std::string_view) {}
void Terminal::cmdResetMode(std::span<const int>, std::string_view) {}
void Terminal::cmdSavePrivateModes(std::span<const int>) {}
void Terminal::csiPHandler(std::span<const int>, std::string_view) {}

}  // namespace vantel
