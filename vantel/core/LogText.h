#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vantel::logtext {

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

}  // namespace vantel::logtext
