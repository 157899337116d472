#include "quiltdeck/shell/SessionStatus.h"

#include <array>

namespace quiltdeck {

namespace {

constexpr std::array<std::string_view, 4> rawValues = {"idle", "busy", "waiting", "exited"};

}  // namespace

std::string_view rawValue(SessionStatus status) { return rawValues[static_cast<size_t>(status)]; }

std::optional<SessionStatus> sessionStatusFrom(std::string_view raw) {
    for (size_t i = 0; i < rawValues.size(); ++i) {
        if (rawValues[i] == raw) return static_cast<SessionStatus>(i);
    }
    return std::nullopt;
}

}  // namespace quiltdeck
