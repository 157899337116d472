#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantel::text {

// A bracketed, comma-and-space separated decimal list: [1, 2].
inline std::string decimalList(std::span<const int> values) {
    std::string out = "[";
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(values[i]);
    }
    return out + "]";
}

// Intermediate and prefix bytes as a decimal list: "?" reads [63].
inline std::string byteList(std::string_view bytes) {
    std::string out = "[";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(static_cast<unsigned char>(bytes[i]));
    }
    return out + "]";
}

// A whole decimal integer with an optional sign; nothing on any other text or on overflow.
inline std::optional<int64_t> parseInteger(std::string_view text) {
    const bool plus = text.starts_with('+');
    if (plus) text.remove_prefix(1);
    if (text.empty() || (plus && text[0] == '-')) return std::nullopt;
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace vantel::text
