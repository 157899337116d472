#include "quiltdeck/sessions/HookTexts.h"

#include <array>
#include <nlohmann/json.hpp>

namespace quiltdeck {

namespace {

std::string base(uint16_t port) { return "http://127.0.0.1:" + std::to_string(port); }

constexpr std::array<std::string_view, 4> plainEvents = {"UserPromptSubmit", "Notification", "Stop", "SessionStart"};
constexpr std::array<std::string_view, 2> matchedEvents = {"PreToolUse", "PostToolUse"};

constexpr std::string_view renamePiece =
    "QUILTDECK. This session runs inside a tile of the quiltdeck app. If the user asks you to rename this tile, "
    "window, or session (in any language), do it with exactly this shell command and nothing else, then confirm in "
    "one line: curl -s -X POST -H 'content-type: application/json' ";

constexpr std::string_view numbersPiece =
    "LIVE NUMBERS. Only when the user explicitly asks for a number on the tile. Never set numbers up on your own, "
    "never offer them, and do not mention this at all unless asked. When the user does ask (users, orders, revenue, "
    "signups today, anything from this project), define up to 5 of them with one call: ";

constexpr std::string_view postPiece = "curl -s -X POST -H 'content-type: application/json' --data '<json>' ";

constexpr std::string_view numbersRulesPiece =
    R"(where <json> is {"metrics":[{"label":"Users","command":"<shell command>","every":60}, ...]}. )"
    "The command runs non-interactively in this project folder with the user's shell every `every` seconds "
    "(minimum 15) and must print the value as its last line, nothing else: for example a psql -tAc query with the "
    "project's DATABASE_URL from .env, a curl to the project's own API piped through jq, or a one-line node script. "
    "Test the command yourself first and make sure it is fast and read-only. "
    R"(A fixed number with no command is {"label":"Launch","value":"12 Oct"}. )"
    R"(The same call with the full list replaces all numbers; {"clear":true} removes them. )"
    "Keep labels to one or two words. Numbers only: never a headline, a sentence or a list item as a metric value; "
    "those belong in the feed below. Confirm in one line what is now shown.\n";

constexpr std::string_view headlinesPiece =
    "HEADLINES. Only when the user explicitly asks to show news, headlines, a feed, or a list of recent items (an "
    "RSS feed, a news site, new orders, latest signups) on this tile, define ONE feed with: ";

constexpr std::string_view feedExamplePiece =
    R"(where <json> is {"label":"Hacker News","command":"<shell command>","every":120}. )";

constexpr std::string_view feedRulesPiece =
    "The command runs the same way as a number command (minimum every 30 s) and must print one item per line, "
    "newest first, at most 3 lines (the app shows no more than three), each line `title<TAB>url` (a line without a "
    "tab is shown but not clickable). Headlines go here and nowhere else: never also as metrics. Every one of these "
    "calls answers {} on success and a 404 with an error on failure; read the answer, and if it is an error say so "
    "instead of reporting the change as done. The app shows the titles in a compact list under the header; a click "
    "on a title opens the url in a reader window inside the app. Write a small script file (for example "
    "~/.quiltdeck-<name>.py) when the parsing needs more than one line, test it first, and keep it fast. "
    R"({"clear":true} removes the feed.)";

nlohmann::json commandHooks(std::string_view event, std::string_view id, uint16_t port) {
    return nlohmann::json::array(
        {{{"type", "command"}, {"command", HookTexts::hookCommand(event, id, port)}}});
}

}  // namespace

bool HookTexts::isValidTileId(std::string_view id) {
    if (id.empty() || id.size() > 64) return false;
    for (const char c : id) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        if (!allowed) return false;
    }
    return true;
}

std::string HookTexts::hookCommand(std::string_view event, std::string_view id, uint16_t port) {
    std::string text =
        R"(f=$(mktemp); cat >"$f"; (curl -s -m 2 -X POST -H 'content-type: application/json' --data-binary @"$f" )";
    text += base(port) + "/hook/";
    text += id;
    text += '/';
    text += event;
    // The subshell leaves the hook's streams, so the assistant never waits for curl.
    text += R"( >/dev/null 2>&1; rm -f "$f") </dev/null >/dev/null 2>&1 & exit 0)";
    return text;
}

std::string HookTexts::hookSettings(std::string_view id, uint16_t port) {
    if (!isValidTileId(id)) return "{}";
    nlohmann::json hooks = nlohmann::json::object();
    for (auto event : plainEvents) {
        hooks[std::string(event)] = nlohmann::json::array({{{"hooks", commandHooks(event, id, port)}}});
    }
    for (auto event : matchedEvents) {
        hooks[std::string(event)] =
            nlohmann::json::array({{{"matcher", "*"}, {"hooks", commandHooks(event, id, port)}}});
    }
    const nlohmann::json settings = {{"hooks", std::move(hooks)}};
    return settings.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string HookTexts::tilePrompt(std::string_view id, uint16_t port) {
    if (!isValidTileId(id)) return {};
    const std::string idText(id);
    std::string prompt(renamePiece);
    prompt += R"(--data '{"title":"<new name>"}' )" + base(port) + "/rename/" + idText + "\n";
    prompt += numbersPiece;
    prompt += std::string(postPiece) + base(port) + "/metrics/" + idText + " ";
    prompt += numbersRulesPiece;
    prompt += headlinesPiece;
    prompt += std::string(postPiece) + base(port) + "/feed/" + idText + " ";
    prompt += feedExamplePiece;
    prompt += feedRulesPiece;
    return prompt;
}

std::string HookTexts::browserBinding(std::string_view deviceId, std::string_view label) {
    std::string text = "BROWSER BINDING. This session is bound to exactly one Chrome browser: deviceId ";
    text += deviceId;
    text += " (";
    text += label;
    text += "). ";
    text +=
        "Before your first browser action, call mcp__claude-in-chrome__select_browser with that exact deviceId. "
        "Never call list_connected_browsers or switch_browser, and never ask the user which browser to use: the "
        "choice is already made and asking again wastes their time. If select_browser fails because that browser is "
        "no longer connected, say so and stop rather than silently using a different browser.";
    return text;
}

}  // namespace quiltdeck
