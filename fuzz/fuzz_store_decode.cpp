// Feeds arbitrary bytes to the state document's decoder: it never fails hard, every object a strict
// parser takes within the nesting limit is read, and what it keeps is written back and read again as
// the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>

#include "quiltdeck/sessions/JsonNesting.h"
#include "quiltdeck/sessions/Store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using quiltdeck::Store;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // As a load reads it: the open tiles to restore and the history behind them.
    const auto state = Store::decode(bytes, nullptr, Store::openTilesLimit + Store::closedLimit);
    if (!state) {
        // That parser ends its text at a NUL byte, which no JSON holds.
        if (bytes.find('\0') == std::string_view::npos && quiltdeck::jsonNestedWithin(bytes, Store::nestingLimit) &&
            nlohmann::json::parse(bytes, nullptr, false).is_object())
            std::abort();
        return 0;
    }
    const auto again = Store::decode(Store::encode(*state));
    if (!again || !(*again == *state)) std::abort();
    return 0;
}
