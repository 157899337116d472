// Device reports: DA, DSR, DECRQSS, XTVERSION, DECRQCRA.
#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::cmdSendDeviceAttributes(std::span<const int>, std::string_view) {}
void Terminal::cmdDeviceStatus(std::span<const int>, std::string_view) {}
void Terminal::cmdXTVERSION() {}
void Terminal::cmdDECRQCRA(std::span<const int>) {}
std::unique_ptr<DcsHandler> Terminal::makeDecrqssHandler() { return nullptr; }

}  // namespace vantel
