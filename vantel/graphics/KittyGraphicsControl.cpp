#include "vantel/graphics/KittyGraphicsControl.h"

#include <algorithm>
#include <limits>

namespace vantel {

namespace {

using Bytes = std::span<const uint8_t>;

bool isAscii(Bytes text) {
    return std::all_of(text.begin(), text.end(), [](uint8_t c) { return c < 0x80; });
}

std::optional<uint64_t> parseDigits(Bytes text, uint64_t maximum) {
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (uint8_t c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const uint64_t digit = c - '0';
        if (value > (maximum - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// A signed decimal within the 64-bit range, or the default.
int64_t parseInt(Bytes value, int64_t fallback) {
    bool negative = false;
    if (!value.empty() && (value[0] == '+' || value[0] == '-')) {
        negative = value[0] == '-';
        value = value.subspan(1);
    }
    const uint64_t limit = negative ? uint64_t{1} << 63 : uint64_t(std::numeric_limits<int64_t>::max());
    const auto magnitude = parseDigits(value, limit);
    if (!magnitude) return fallback;
    if (!negative) return static_cast<int64_t>(*magnitude);
    return *magnitude == (uint64_t{1} << 63) ? std::numeric_limits<int64_t>::min()
                                             : -static_cast<int64_t>(*magnitude);
}

std::optional<uint32_t> parseUInt32(Bytes value) {
    if (!value.empty() && value[0] == '+') value = value.subspan(1);
    const auto parsed = parseDigits(value, std::numeric_limits<uint32_t>::max());
    if (!parsed) return std::nullopt;
    return static_cast<uint32_t>(*parsed);
}

std::optional<char> parseCharacter(Bytes value) {
    if (value.empty()) return std::nullopt;
    return static_cast<char>(value[0]);
}

void apply(KittyGraphicsControl& c, uint8_t key, Bytes value) {
    switch (key) {
        case 'a': c.action = parseCharacter(value).value_or('t'); break;
        case 'q': c.suppressResponses = parseInt(value, 0); break;
        case 'f': c.format = parseInt(value, 32); break;
        case 't': c.transmission = parseCharacter(value).value_or('d'); break;
        case 's': c.width = parseInt(value, 0); break;
        case 'v': c.height = parseInt(value, 0); break;
        case 'x': c.cropX = parseInt(value, 0); break;
        case 'y': c.cropY = parseInt(value, 0); break;
        case 'w': c.cropWidth = parseInt(value, 0); break;
        case 'h': c.cropHeight = parseInt(value, 0); break;
        case 'S': c.dataSize = parseInt(value, 0); break;
        case 'O': c.dataOffset = parseInt(value, 0); break;
        case 'i': c.imageId = parseUInt32(value); break;
        case 'I': c.imageNumber = parseUInt32(value); break;
        case 'p': c.placementId = parseUInt32(value); break;
        case 'P': c.parentImageId = parseUInt32(value); break;
        case 'Q': c.parentPlacementId = parseUInt32(value); break;
        case 'H': c.offsetH = parseInt(value, 0); break;
        case 'V': c.offsetV = parseInt(value, 0); break;
        case 'X': c.pixelOffsetX = parseInt(value, 0); break;
        case 'Y': c.pixelOffsetY = parseInt(value, 0); break;
        case 'U': c.unicodePlaceholder = parseInt(value, 0); break;
        case 'z': c.zIndex = parseInt(value, 0); break;
        case 'm': c.more = parseInt(value, 0); break;
        case 'o': c.compression = parseCharacter(value); break;
        case 'c': c.columns = parseInt(value, 0); break;
        case 'r': c.rows = parseInt(value, 0); break;
        case 'C': c.cursorPolicy = parseInt(value, 0); break;
        case 'd': c.deleteMode = parseCharacter(value); break;
        default: break;
    }
}

}  // namespace

KittyGraphicsCommand parseKittyGraphicsControl(std::span<const uint8_t> data) {
    KittyGraphicsCommand command;
    const auto semicolon = std::find(data.begin(), data.end(), uint8_t(';'));
    const Bytes controlPart(data.begin(), semicolon);
    if (semicolon != data.end()) command.payload = Bytes(semicolon + 1, data.end());

    // Pieces apply in order, so a repeated key keeps its last value.
    auto pieceStart = controlPart.begin();
    while (pieceStart <= controlPart.end()) {
        const auto pieceEnd = std::find(pieceStart, controlPart.end(), uint8_t(','));
        const Bytes piece(pieceStart, pieceEnd);
        const auto equals = std::find(piece.begin(), piece.end(), uint8_t('='));
        if (equals != piece.end()) {
            const Bytes key(piece.begin(), equals);
            const Bytes value(equals + 1, piece.end());
            if (key.size() == 1 && isAscii(key) && isAscii(value)) apply(command.control, key[0], value);
        }
        if (pieceEnd == controlPart.end()) break;
        pieceStart = pieceEnd + 1;
    }
    // Only in-band data arrives in chunks.
    if (command.control.transmission != 'd') command.control.more = 0;
    return command;
}

std::string kittyOkReplyText(std::optional<uint32_t> imageId, std::optional<uint32_t> imageNumber,
                             std::optional<uint32_t> placementId) {
    std::string text = "G";
    bool first = true;
    auto part = [&](const char* key, std::optional<uint32_t> value) {
        if (!value) return;
        if (!first) text += ',';
        first = false;
        text += key;
        text += std::to_string(*value);
    };
    part("i=", imageId);
    part("I=", imageNumber);
    part("p=", placementId);
    text += ";OK";
    return text;
}

std::string kittyErrorReplyText(const KittyGraphicsControl& control, std::string_view message) {
    std::string text = "G";
    if (control.imageId) text += "i=" + std::to_string(*control.imageId);
    else if (control.imageNumber) text += "I=" + std::to_string(*control.imageNumber);
    text += ';';
    text.append(message);
    return text;
}

}  // namespace vantel
