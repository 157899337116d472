#include "quiltdeck/sessions/Date.h"

#include <chrono>

namespace quiltdeck {

Date Date::now() {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return fromUnixSeconds(std::chrono::duration<double>(sinceEpoch).count());
}

}  // namespace quiltdeck
