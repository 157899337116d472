#include "quiltdeck/shell/AppVersion.h"

#ifndef QUILTDECK_VERSION
#define QUILTDECK_VERSION nullptr
#endif
#ifndef QUILTDECK_BUILD
#define QUILTDECK_BUILD nullptr
#endif

namespace quiltdeck {

std::string AppVersion::orFallback(const char* defined, std::string_view fallback) {
    return defined && *defined ? std::string(defined) : std::string(fallback);
}

std::string AppVersion::shortVersion() { return orFallback(QUILTDECK_VERSION, "dev"); }

std::string AppVersion::build() { return orFallback(QUILTDECK_BUILD, ""); }

}  // namespace quiltdeck
