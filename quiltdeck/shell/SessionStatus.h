#pragma once

#include <optional>
#include <string_view>

namespace quiltdeck {

// What a tile shows of its child: waiting for a prompt (or a shell tile),
// working, asking the user something, or ended.
enum class SessionStatus { idle, busy, waiting, exited };

std::string_view rawValue(SessionStatus status);
std::optional<SessionStatus> sessionStatusFrom(std::string_view rawValue);

}  // namespace quiltdeck
