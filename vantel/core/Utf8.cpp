#include "vantel/core/Utf8.h"

namespace vantel {

void appendUtf8(std::string& out, char32_t scalar) {
    uint32_t c = scalar;
    if (!isUnicodeScalar(c)) c = 0xFFFD;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string toUtf8(std::u32string_view scalars) {
    std::string out;
    out.reserve(scalars.size());
    for (char32_t c : scalars) appendUtf8(out, c);
    return out;
}

std::u32string fromUtf8(std::string_view bytes) {
    std::u32string out;
    out.reserve(bytes.size());
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t i = 0; i < bytes.size();) {
        const utf8::Sequence sequence = utf8::decode(data + i, bytes.size() - i);
        out.push_back(sequence.isScalar() ? sequence.scalar : U'\uFFFD');
        i += sequence.length;
    }
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t i = 0; i < bytes.size();) {
        const utf8::Sequence sequence = utf8::decode(data + i, bytes.size() - i);
        if (!sequence.isScalar()) return false;
        i += sequence.length;
    }
    return true;
}

}  // namespace vantel
