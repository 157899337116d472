#pragma once

#include <string>
#include <string_view>

namespace platform::gfx {

// Says in the system log, as an error, why a font, an image or a shaping call failed: once per
// `key` (a font's file, a request, an image), so a screen full of boxes or a picture that keeps
// failing is explained by one line. The most recent few thousand keys are remembered. Any thread.
void logFailureOnce(std::string_view category, const std::string& key, std::string_view message);
// The same for input refused (a picture a program sent), which a program can send without end:
// once per `key`, and within the few lines a minute SystemLog::writeRefusal allows its `kind`.
void logRefusalOnce(std::string_view category, const std::string& key, std::string_view kind,
                    std::string_view message);

}  // namespace platform::gfx
