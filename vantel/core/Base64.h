#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantel {

// Standard Base64 (RFC 4648 alphabet "A-Z a-z 0-9 + /").
// Decoding is strict by default: whole groups of four, "=" padding only at the
// end and nothing outside the alphabet, so a malformed payload is refused whole.
struct Base64 {
    enum class Error : uint8_t { none, invalidLength, invalidCharacter, misplacedPadding };

    struct Decoded {
        std::vector<uint8_t> bytes;
        Error error = Error::none;
        explicit operator bool() const { return error == Error::none; }
    };

    struct DecodeOptions {
        // Accept a last group of two or three characters without its "=".
        bool allowMissingPadding = false;
        // Skip bytes outside the alphabet (line breaks, stray characters) instead of refusing;
        // padding is then optional, but data after it or a lone last symbol is still refused.
        bool skipForeignCharacters = false;
    };

    static std::string encode(std::span<const uint8_t> bytes);
    static Decoded decode(std::string_view text, DecodeOptions options);
    static Decoded decode(std::string_view text) { return decode(text, DecodeOptions{}); }
    static Decoded decode(std::span<const uint8_t> text) {
        return decode(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), DecodeOptions{});
    }
};

}  // namespace vantel
