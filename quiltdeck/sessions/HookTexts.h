#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quiltdeck {

// The texts an assistant tile is started with, so that it talks back to the
// hook server: the hook settings (one shell hook per assistant event, posting
// the event to the server), the appended system prompt (rename, live numbers,
// headlines) and the paragraph that binds the tile to one browser.
class HookTexts {
public:
    HookTexts() = delete;

    // Tile ids go into shell texts unquoted, so only the UUID alphabet
    // (letters, digits, '-') is accepted, up to 64 characters.
    static bool isValidTileId(std::string_view id);

    // The shell command of one hook: saves the event from standard input and
    // posts it in the background, detached from the assistant's streams.
    static std::string hookCommand(std::string_view event, std::string_view id, uint16_t port);
    // Compact JSON; "{}" (no hooks) for an id that is not valid.
    static std::string hookSettings(std::string_view id, uint16_t port);
    // The appended system prompt; empty for an id that is not valid.
    static std::string tilePrompt(std::string_view id, uint16_t port);
    // The browser paragraph, appended to the prompt after two line feeds.
    static std::string browserBinding(std::string_view deviceId, std::string_view label);
};

}  // namespace quiltdeck
