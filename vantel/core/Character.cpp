#include "vantel/core/Character.h"

#include <cstdint>

namespace vantel {

void appendUtf16(std::u16string& out, char32_t scalar) {
    if (scalar < 0x10000) {
        out.push_back(static_cast<char16_t>(scalar));
    } else {
        scalar -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (scalar >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (scalar & 0x3FF)));
    }
}

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

namespace {

// Decodes one sequence at bytes[i]; returns its length (at least 1) and the scalar,
// or U+FFFD with the length of the maximal invalid prefix.
size_t decodeOne(std::string_view bytes, size_t i, char32_t& out) {
    auto b = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
    uint8_t lead = b(i);
    if (lead < 0x80) {
        out = lead;
        return 1;
    }
    size_t need;
    uint32_t value;
    uint8_t lo = 0x80, hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1; value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2; value = lead & 0x0F;
        if (lead == 0xE0) lo = 0xA0;
        if (lead == 0xED) hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3; value = lead & 0x07;
        if (lead == 0xF0) lo = 0x90;
        if (lead == 0xF4) hi = 0x8F;
    } else {
        out = 0xFFFD;
        return 1;
    }
    size_t k = 1;
    for (; k <= need; ++k) {
        if (i + k >= bytes.size()) break;
        uint8_t c = b(i + k);
        if (c < lo || c > hi) break;
        lo = 0x80; hi = 0xBF;
        value = (value << 6) | (c & 0x3F);
    }
    if (k <= need) {
        out = 0xFFFD;
        return k;
    }
    out = value;
    return need + 1;
}

}  // namespace

std::u32string fromUtf8(std::string_view bytes) {
    std::u32string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        char32_t c;
        i += decodeOne(bytes, i, c);
        out.push_back(c);
    }
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        char32_t c;
        size_t n = decodeOne(bytes, i, c);
        if (c == 0xFFFD) {
            // A literal U+FFFD is valid; a replacement produced by an error is not.
            if (n != 3 || static_cast<uint8_t>(bytes[i]) != 0xEF) return false;
        }
        i += n;
    }
    return true;
}

}  // namespace vantel
