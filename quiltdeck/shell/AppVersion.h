#pragma once

#include <string>
#include <string_view>

namespace quiltdeck {

// The running application's version strings, fixed at build time.
class AppVersion {
public:
    AppVersion() = delete;

    // The project version; "dev" when the build gives none.
    static std::string shortVersion();
    // The build number given to the build; empty when none.
    static std::string build();

    // `defined` when it is a non-empty text, else `fallback`.
    static std::string orFallback(const char* defined, std::string_view fallback);
};

}  // namespace quiltdeck
