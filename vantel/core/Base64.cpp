#include "vantel/core/Base64.h"

#include <array>

namespace vantel {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t invalid = 0xFF;

constexpr std::array<uint8_t, 256> makeDecodeTable() {
    std::array<uint8_t, 256> table{};
    for (auto& entry : table) entry = invalid;
    for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(alphabet[i])] = i;
    return table;
}

constexpr std::array<uint8_t, 256> decodeTable = makeDecodeTable();

Base64::Decoded failure(Base64::Error error) { return Base64::Decoded{{}, error}; }

}  // namespace

std::string Base64::encode(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = uint32_t(bytes[i]) << 16;
        if (rest == 2) v |= uint32_t(bytes[i + 1]) << 8;
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += rest == 2 ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

namespace {

Base64::Decoded decodeSkippingForeign(std::string_view text) {
    Base64::Decoded result;
    result.bytes.reserve(text.size() / 4 * 3 + 3);
    uint32_t accumulator = 0;
    int bits = 0;
    size_t symbols = 0;
    bool padded = false;
    for (char ch : text) {
        if (ch == '=') {
            padded = true;
            continue;
        }
        const uint8_t value = decodeTable[static_cast<uint8_t>(ch)];
        if (value == invalid) continue;
        // Data after padding would be a second, concatenated encoding.
        if (padded) return failure(Base64::Error::misplacedPadding);
        accumulator = (accumulator << 6) | value;
        bits += 6;
        ++symbols;
        if (bits >= 8) {
            bits -= 8;
            result.bytes.push_back(static_cast<uint8_t>(accumulator >> bits));
            accumulator &= (1u << bits) - 1;
        }
    }
    // A lone symbol in the last group carries no whole byte.
    if (symbols % 4 == 1) return failure(Base64::Error::invalidLength);
    return result;
}

}  // namespace

Base64::Decoded Base64::decode(std::string_view text, DecodeOptions options) {
    if (options.skipForeignCharacters) return decodeSkippingForeign(text);
    size_t length = text.size();
    size_t padding = 0;
    while (padding < 2 && length > 0 && text[length - 1] == '=') {
        --length;
        ++padding;
    }
    if (padding > 0 && text.size() % 4 != 0) return failure(Error::invalidLength);
    const size_t tail = length % 4;
    if (tail == 1) return failure(padding > 0 ? Error::misplacedPadding : Error::invalidLength);
    if (padding == 0 && tail != 0 && !options.allowMissingPadding) return failure(Error::invalidLength);
    if (padding > 0 && tail + padding != 4) return failure(Error::misplacedPadding);

    Decoded result;
    result.bytes.reserve(length / 4 * 3 + 2);
    uint32_t accumulator = 0;
    int pending = 0;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t value = decodeTable[static_cast<uint8_t>(text[i])];
        if (value == invalid) return failure(text[i] == '=' ? Error::misplacedPadding : Error::invalidCharacter);
        accumulator = accumulator << 6 | value;
        if (++pending == 4) {
            result.bytes.push_back(static_cast<uint8_t>(accumulator >> 16));
            result.bytes.push_back(static_cast<uint8_t>(accumulator >> 8));
            result.bytes.push_back(static_cast<uint8_t>(accumulator));
            accumulator = 0;
            pending = 0;
        }
    }
    // Bits below the last whole byte are ignored, as most decoders do.
    if (pending == 2) {
        result.bytes.push_back(static_cast<uint8_t>(accumulator >> 4));
    } else if (pending == 3) {
        result.bytes.push_back(static_cast<uint8_t>(accumulator >> 10));
        result.bytes.push_back(static_cast<uint8_t>(accumulator >> 2));
    }
    return result;
}

}  // namespace vantel
