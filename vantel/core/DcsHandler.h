#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vantel {

// A consumer of a DCS string's payload: hook once at the final byte, put any
// number of payload slices, unhook when the string ends. A string that is
// cancelled or too long is dropped without unhook.
class DcsHandler {
public:
    virtual ~DcsHandler() = default;
    virtual void hook(std::string_view collect, std::span<const int> parameters, uint8_t flag) = 0;
    virtual void put(std::span<const uint8_t> data) = 0;
    virtual void unhook() = 0;
};

}  // namespace vantel
