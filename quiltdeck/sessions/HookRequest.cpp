#include "quiltdeck/sessions/HookRequest.h"

#include <vector>

#include "platform/ui/HiddenCharacters.h"
#include "quiltdeck/sessions/JsonNesting.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Shorten.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

using nlohmann::json;

constexpr std::string_view okResponse =
    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";

// Copying, comparing and printing a JSON value recurse once per level, so
// bodies nested deeper than any hook event count as not JSON.
constexpr int nestingLimit = 512;

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    while (!text.empty()) {
        const size_t end = std::min(text.find(separator), text.size());
        if (end > 0) pieces.push_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return pieces;
}

// Header lines end at CR LF only; empty lines are dropped.
std::vector<std::string_view> headLines(std::string_view head) {
    std::vector<std::string_view> lines;
    while (!head.empty()) {
        const size_t end = std::min(head.find("\r\n"), head.size());
        if (end > 0) lines.push_back(head.substr(0, end));
        head.remove_prefix(std::min(end + 2, head.size()));
    }
    return lines;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) != prefix[i]) return false;
    }
    return true;
}

std::string_view trimSpacesAndTabs(std::string_view text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// The value of a header line named `name` (lower case, with its colon).
std::optional<std::string_view> headerValue(std::string_view line, std::string_view name) {
    if (!startsWithIgnoringCase(line, name)) return std::nullopt;
    return trimSpacesAndTabs(line.substr(name.size()));
}

// The second piece of the head split at spaces, "/" without one.
std::string_view requestPath(std::string_view head) {
    const std::vector<std::string_view> pieces = split(head, ' ');
    return pieces.size() < 2 ? std::string_view("/") : pieces[1];
}

bool equalIgnoringCase(std::string_view text, std::string_view lowered) {
    return text.size() == lowered.size() && startsWithIgnoringCase(text, lowered);
}

// A web page cannot hide its Origin, nor choose a Host of ours through DNS.
// curl sends no Origin, and 127.0.0.1:port as its Host. A page that learnt a
// tile id could still have its browser fetch a route without an Origin (an
// image): browsers mark such requests as coming from another site, curl sends
// no such mark.
bool fromWebPage(std::string_view head, uint16_t port) {
    const std::vector<std::string_view> lines = headLines(head);
    std::string ours(1, ':');
    ours += std::to_string(port);
    for (size_t i = 1; i < lines.size(); ++i) {
        if (headerValue(lines[i], "origin:")) return true;
        auto site = headerValue(lines[i], "sec-fetch-site:");
        if (site && !equalIgnoringCase(*site, "none") && !equalIgnoringCase(*site, "same-origin")) return true;
        auto host = headerValue(lines[i], "host:");
        if (host && !(host->ends_with(ours) && host->size() == 9 + ours.size() &&
                      (startsWithIgnoringCase(*host, "127.0.0.1") || startsWithIgnoringCase(*host, "localhost"))))
            return true;
    }
    return false;
}

std::string jsonEscaped(std::string_view text) {
    const std::string quoted = json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::replace);
    return quoted.substr(1, quoted.size() - 2);
}

std::string htmlEscaped(std::string_view text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\'': escaped += "&#39;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

std::string withLength(std::string_view headers, std::string_view body) {
    std::string response(headers);
    response += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    response += body;
    return response;
}

std::string identifyResponse(std::string_view path, const HookSnapshot* snapshot) {
    const size_t at = path.rfind("id=");
    const std::string_view deviceId = at == std::string_view::npos ? path : path.substr(at + 3);
    std::string label = t("no_browser");
    if (snapshot) {
        if (auto found = snapshot->browserLabels.find(deviceId); found != snapshot->browserLabels.end())
            label = found->second;
    }
    return withLength("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n",
                      HookRequest::identifyPage(label, firstCharacters(deviceId, 8)));
}

std::string notFound(std::string_view tileId) {
    const std::string body = "{\"error\":\"no tile " + jsonEscaped(tileId) +
                             ". Use the tile id from your system prompt; an id from earlier in the conversation may be "
                             "stale.\"}";
    return withLength("HTTP/1.1 404 Not Found\r\nContent-Type: application/json\r\n", body);
}

std::string outOfRange() {
    return withLength("HTTP/1.1 400 Bad Request\r\nContent-Type: application/json\r\n",
                      "{\"error\":\"a number in the body is out of range\"}");
}

std::optional<HookRequest::Route> route(const std::vector<std::string_view>& pieces, std::string_view body) {
    using Kind = HookRequest::Kind;
    std::optional<Kind> kind;
    if (pieces.size() == 2 && pieces[0] == "rename") kind = Kind::rename;
    if (pieces.size() == 2 && pieces[0] == "metrics") kind = Kind::metrics;
    if (pieces.size() == 2 && pieces[0] == "feed") kind = Kind::feed;
    if (pieces.size() == 3 && pieces[0] == "hook") kind = Kind::hook;
    if (!kind) return std::nullopt;
    HookRequest::Route route{*kind, std::string(pieces[1]), {}, std::string(body)};
    if (*kind == Kind::hook) route.detail = pieces[2];
    return route;
}

}  // namespace

json HookRequest::dictionary(std::string_view body) {
    json parsed = parseJsonText(body, nestingLimit);
    return parsed.is_object() ? std::move(parsed) : json::object();
}

std::optional<std::string> HookRequest::renameTitle(std::string_view body) {
    const json parsed = dictionary(body);
    auto title = parsed.find("title");
    if (title == parsed.end() || !title->is_string()) return std::nullopt;
    // A program's text: nothing in it may hide or reorder what the tile shows.
    return platform::ui::HiddenCharacters::dropped(title->get_ref<const std::string&>());
}

uint64_t HookRequest::contentLength(std::string_view head) {
    for (std::string_view line : headLines(head)) {
        auto value = headerValue(line, "content-length:");
        if (!value) continue;
        const bool negative = !value->empty() && value->front() == '-';
        if (!value->empty() && (value->front() == '+' || negative)) value->remove_prefix(1);
        if (value->empty()) return 0;
        uint64_t length = 0;
        for (char c : *value) {
            if (c < '0' || c > '9') return 0;
            const auto digit = static_cast<uint64_t>(c - '0');
            if (length > (UINT64_MAX - digit) / 10) return negative ? 0 : UINT64_MAX;
            length = length * 10 + digit;
        }
        return negative ? 0 : length;
    }
    return 0;
}

bool HookRequest::isHookEvent(std::string_view head) {
    const std::vector<std::string_view> pieces = split(requestPath(head), '/');
    return pieces.size() == 3 && pieces[0] == "hook";
}

bool HookRequest::expectsContinue(std::string_view head) {
    const std::vector<std::string_view> lines = headLines(head);
    for (size_t i = 1; i < lines.size(); ++i) {
        if (auto expect = headerValue(lines[i], "expect:")) return equalIgnoringCase(*expect, "100-continue");
    }
    return false;
}

HookRequest::Answer HookRequest::answer(std::string_view head, std::string_view body, uint16_t port,
                                        const HookSnapshot* snapshot) {
    const std::string_view path = requestPath(head);
    if (path.starts_with("/identify")) return {identifyResponse(path, snapshot), std::nullopt, {}, false};
    if (fromWebPage(head, port)) return {statusReply("403 Forbidden"), std::nullopt, {}, true};

    const std::vector<std::string_view> pieces = split(path, '/');
    const bool checked = pieces.size() >= 2 && (pieces[0] == "hook" || pieces[0] == "rename" ||
                                                 pieces[0] == "metrics" || pieces[0] == "feed");
    if (checked && snapshot && !snapshot->tileIds.contains(pieces[1])) {
        return {notFound(pieces[1]), std::nullopt, std::string(pieces[0]) + ": no tile " + printable(pieces[1]), false};
    }
    std::optional<Route> routed = route(pieces, body);
    // Parsed on the main loop, such a body would arrive as nothing at all: the sender learns now.
    if (routed && !jsonNumbersFinite(body)) return {outOfRange(), std::nullopt, {}, false, true};
    return {std::string(okResponse), std::move(routed), {}, false};
}

std::string HookRequest::statusReply(std::string_view status) {
    return "HTTP/1.1 " + std::string(status) + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

std::string HookRequest::identifyPage(std::string_view label, std::string_view deviceId) {
    const std::string shown = htmlEscaped(label);
    std::string page = "<!doctype html><meta charset=\"utf-8\"><title>" + shown +
                       "</title>\n<body style=\"margin:0;height:100vh;display:grid;place-content:center;"
                       "text-align:center;background:#298558;color:#fff;font:600 16px system-ui\">\n"
                       "<div style=\"font-size:12vw;line-height:1.1\">" +
                       shown + "</div>\n<div style=\"opacity:.7;margin-top:18px\">";
    page += t("this_browser") + " &middot; " + htmlEscaped(deviceId);
    page += "</div>\n<div style=\"opacity:.7;margin-top:6px\">" + t("name_it") + "</div>";
    return page;
}

std::string HookRequest::printable(std::string_view id) {
    std::u32string kept;
    for (char32_t c : vantel::fromUtf8(id)) {
        if (c >= 0x20 && (c < 0x7F || c > 0x9F)) kept += c;
    }
    return vantel::toUtf8(kept);
}

}  // namespace quiltdeck
