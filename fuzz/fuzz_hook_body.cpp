// Feeds arbitrary bytes, in pieces, to what keeps a hook event's body small, with a short limit so
// that strings are cut: it never fails hard, where the pieces end changes nothing, and what it
// keeps of a JSON text is JSON of the same kind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>

#include "quiltdeck/sessions/HookBody.h"
#include "quiltdeck/sessions/JsonNesting.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first byte chooses the limit, the second the pieces' length.
    const size_t limit = data[0] % 64;
    const size_t piece = 1 + data[1] % 16;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    quiltdeck::HookBody whole(limit), pieces(limit);
    whole.append(bytes);
    for (size_t at = 0; at < bytes.size(); at += piece) pieces.append(bytes.substr(at, piece));
    if (whole.kept() != pieces.kept() || whole.kept().size() > bytes.size()) std::abort();
    // That parser ends its text at a NUL byte, which no JSON holds.
    if (bytes.find('\0') != std::string_view::npos || !quiltdeck::jsonNestedWithin(bytes, 512)) return 0;
    const auto body = nlohmann::json::parse(bytes, nullptr, false);
    if (body.is_discarded()) return 0;
    const auto kept = nlohmann::json::parse(whole.kept(), nullptr, false);
    // An object's keys cut alike become one.
    if (kept.is_discarded() || kept.type() != body.type() || (body.is_array() && kept.size() != body.size()))
        std::abort();
    return 0;
}
