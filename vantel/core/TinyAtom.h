#pragma once

#include <any>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantel {

// A 16-bit handle into one process-wide, lock-guarded table of cell payloads
// (hyperlink targets and values a host attaches). Code 0 means no payload.
// Codes 1..65534 are handed out fresh first; after that, released codes are reused.
struct TinyAtom {
    uint16_t code = 0;

    constexpr TinyAtom() = default;
    constexpr explicit TinyAtom(uint16_t c) : code(c) {}

    // Stores a value and returns a handle, or nothing while every code is in use.
    static std::optional<TinyAtom> lookup(std::any value);

    // The value stored under this handle; empty when there is none.
    std::any target() const;

    void release() const { release(code); }
    static void release(uint16_t code);
    template <class Codes>
    static void release(const Codes& codes) {
        std::vector<uint16_t> list(codes.begin(), codes.end());
        releaseAll(list);
    }

    friend constexpr bool operator==(TinyAtom, TinyAtom) = default;

private:
    static void releaseAll(const std::vector<uint16_t>& codes);
};

}  // namespace vantel
