#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "quiltdeck/sessions/HookSnapshot.h"

namespace quiltdeck {

// One complete request to the hook server, from its head and body to the
// bytes of the answer and the route it takes. Pure: no sockets, no threads.
class HookRequest {
public:
    HookRequest() = delete;

    static constexpr size_t headLimit = 65536;
    // A body other than a hook event's, read whole.
    static constexpr size_t bodyLimit = 1'000'000;
    // What a hook event may send: it is kept small as it comes (HookBody), so this bounds the time
    // a request reads, not memory. Far past any prompt a terminal takes.
    static constexpr uint64_t hookBodyLimit = uint64_t{256} << 20;

    enum class Kind { hook, rename, metrics, feed };
    // What runs on the main loop for a request. The body is parsed there, not
    // on the server's thread: a large one would hold up every answer behind it.
    struct Route {
        Kind kind = Kind::hook;
        std::string tileId;
        std::string detail;  // the event of a hook
        std::string body;    // as sent
    };
    struct Answer {
        std::string response;
        std::optional<Route> route;
        std::string log;         // a line for the log, when not empty
        bool fromWebPage = false;  // refused for its Origin or Host
        bool numberOutOfRange = false;  // refused: its body holds a number no double holds
    };

    // `head` is the text before CR LF CR LF, empty when it is not UTF-8.
    // `snapshot` is null until the owner has published one; the tile check
    // is skipped until then.
    static Answer answer(std::string_view head, std::string_view body, uint16_t port, const HookSnapshot* snapshot);

    // The body as a JSON object; an empty one when it is not an object or is
    // nested deeper than any hook event.
    static nlohmann::json dictionary(std::string_view body);
    // The title a rename's body asks for; nothing when it has no string "title".
    static std::optional<std::string> renameTitle(std::string_view body);

    // The first Content-Length line's value: 0 when missing, not a number or
    // negative; UINT64_MAX (above every limit) when too large for 64 bits.
    static uint64_t contentLength(std::string_view head);
    // A hook event (/hook/<tile>/<event>): its body is read through a HookBody, up to
    // `hookBodyLimit`; any other request's whole, up to `bodyLimit`.
    static bool isHookEvent(std::string_view head);
    // The client waits for a "100 Continue" before it sends the body (curl does past 1 MiB, and
    // would otherwise wait a second).
    static bool expectsContinue(std::string_view head);
    static constexpr std::string_view continueReply = "HTTP/1.1 100 Continue\r\n\r\n";

    // A bodiless answer: "HTTP/1.1 " + status and the closing headers.
    static std::string statusReply(std::string_view status);
    // The name card; both texts are HTML-escaped here.
    static std::string identifyPage(std::string_view label, std::string_view deviceId);
    // An id fit for a log line: control characters dropped.
    static std::string printable(std::string_view id);
};

}  // namespace quiltdeck
