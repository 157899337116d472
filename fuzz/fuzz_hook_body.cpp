// Feeds arbitrary bytes, in pieces, to what keeps a hook event's body small, with short limits so
// that strings are cut and items dropped: it never fails hard, where the pieces end changes
// nothing, and what it keeps of a JSON text is JSON of the same kind, nested no deeper than its limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>

#include "quiltdeck/sessions/HookBody.h"
#include "quiltdeck/sessions/JsonNesting.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    // The first bytes choose the limits, the fourth the pieces' length.
    const quiltdeck::HookBody::Limits limits{data[0] % 64u, data[1] * 4u, data[2] * 8u};
    const size_t piece = 1 + data[3] % 16;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 4, size - 4);
    quiltdeck::HookBody whole(limits), pieces(limits);
    whole.append(bytes);
    for (size_t at = 0; at < bytes.size(); at += piece) pieces.append(bytes.substr(at, piece));
    if (whole.kept() != pieces.kept() || whole.kept().size() > bytes.size()) std::abort();
    // That parser ends its text at a NUL byte, which no JSON holds.
    if (bytes.find('\0') != std::string_view::npos || !quiltdeck::jsonNestedWithin(bytes, 512)) return 0;
    const auto body = nlohmann::json::parse(bytes, nullptr, false);
    if (body.is_discarded()) return 0;
    const auto kept = nlohmann::json::parse(whole.kept(), nullptr, false);
    // An object's keys cut alike become one.
    // Nothing of what is kept lies deeper than the parse of an event reads.
    if (!quiltdeck::jsonNestedWithin(whole.kept(), static_cast<int>(quiltdeck::HookBody::depthLimit))) std::abort();
    if (kept.is_discarded() || kept.type() != body.type() ||
        (body.is_array() && whole.dropped() == 0 && kept.size() != body.size()))
        std::abort();
    return 0;
}
