#pragma once

#include <optional>
#include <string_view>
#include <utility>
#include <array>

#include "platform/gfx/Font.h"

namespace quiltdeck {

// The terminal font rule: the stored choice when fontconfig has that family,
// else the system's monospaced font.
class Fonts {
public:
    Fonts() = delete;

    struct Choice {
        std::string_view label;
        std::optional<std::string_view> family;  // none: the system's monospaced font
    };
    static constexpr std::array<Choice, 4> choices = {{{"SF Mono", std::nullopt},
                                                       {"JetBrains Mono", "JetBrains Mono"},
                                                       {"Menlo", "Menlo"},
                                                       {"Courier", "Courier New"}}};
    static constexpr std::string_view didChange = "quiltdeck.font";

    // With the stored choice of the process's store.
    static platform::gfx::FontRef terminal(double size);
    static platform::gfx::FontRef terminal(double size, std::string_view storedChoice);
};

}  // namespace quiltdeck
