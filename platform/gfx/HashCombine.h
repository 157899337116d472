#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::gfx {

// Folds one more value into a hash seed: a multiply by the golden ratio spreads every bit of the
// value upwards and the fold brings the high half back down, so keys made of small integers, font
// ids and lengths still spread over every bucket. One multiply: the caches hash on hot paths.
constexpr size_t hashCombine(size_t seed, uint64_t value) {
    const uint64_t h = (uint64_t{seed} ^ value) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(h ^ (h >> 32));
}

}  // namespace platform::gfx
