#pragma once

#include <string>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/gfx/Font.h"
#include "platform/gfx/InterfaceFont.h"

namespace quiltdeck {

// The application's own fonts and the rules that pick the interface and the
// terminal fonts. Main thread.
class Fonts {
public:
    Fonts() = delete;

    struct Choice {
        std::string label;
        std::optional<std::string> family;  // none: the system's monospaced font
        bool operator==(const Choice&) const = default;
    };
    // The terminal font the program carries, which tiles use unless another is chosen.
    static constexpr std::string_view carriedTerminalFont = "JetBrains Mono";
    // The system's monospaced font by the name the choices give it.
    static constexpr std::string_view systemMonospace = "Monospace";
    // What the settings offer: the system's monospaced font, the carried one, then every other
    // monospaced family this system has, by name. Only fonts that are really there.
    static std::vector<Choice> choices();
    // The choice a stored label stands for: the label itself, except the name earlier versions
    // stored for the default, which is the carried font.
    static std::string_view choiceOf(std::string_view stored);
    static constexpr std::string_view didChange = "quiltdeck.font";

    // Adds the font files of the resource folder's "fonts" (every .ttf, then every
    // .otf) to this process once; later calls do nothing. The number of files
    // added by this call; a file that cannot be read is skipped.
    static int registerBundled();

    // The interface font: the carried Inter face of the weight (regular, medium,
    // semibold, bold) when fontconfig has it, else the system font of that weight.
    static platform::gfx::InterfaceFont ui(double size, platform::gfx::FontWeight weight);

    // With the stored choice of the process's store.
    static platform::gfx::FontRef terminal(double size);
    // The same face for interface text (Pango): its family, else "monospace".
    static platform::gfx::InterfaceFont terminalText(double size);
    static platform::gfx::FontRef terminal(double size, std::string_view storedChoice);
};

}  // namespace quiltdeck
