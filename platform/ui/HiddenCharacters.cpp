#include "platform/ui/HiddenCharacters.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdio>

namespace platform::ui {

namespace {

constexpr char32_t zeroWidthJoiner = 0x200D;

bool printableAscii(std::string_view text) {
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

bool pictograph(UChar32 c) { return c >= 0 && u_hasBinaryProperty(c, UCHAR_EXTENDED_PICTOGRAPHIC); }

// An emoji's own parts after its pictograph: skin tones and the emoji presentation selector.
bool pictographTail(UChar32 c) { return c == 0xFE0F || (c >= 0 && u_hasBinaryProperty(c, UCHAR_EMOJI_MODIFIER)); }

void appendCodePoint(std::string& out, UChar32 c) {
    char bytes[U8_MAX_LENGTH];
    int32_t length = 0;
    U8_APPEND_UNSAFE(bytes, length, c);
    out.append(bytes, static_cast<size_t>(length));
}

// Walks the text a character at a time: `each` gets the character (negative for a byte that is
// not UTF-8), its bytes, and whether it is a hidden character that has to stay hidden (a joiner
// inside an emoji sequence does not).
template <class Each>
void walk(std::string_view text, Each&& each) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    // The last character and whether it ended a pictograph (with its tail).
    bool afterPictograph = false;
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        bool hidden = c >= 0 && HiddenCharacters::isHidden(static_cast<char32_t>(c));
        if (c == static_cast<UChar32>(zeroWidthJoiner) && afterPictograph && i < length) {
            int32_t j = i;
            UChar32 next;
            U8_NEXT(bytes, j, length, next);
            hidden = !pictograph(next);
        }
        afterPictograph = pictograph(c) || (afterPictograph && pictographTail(c));
        each(c, text.substr(static_cast<size_t>(start), static_cast<size_t>(i - start)), hidden);
    }
}

}  // namespace

bool HiddenCharacters::isHidden(char32_t c) {
    const int8_t type = u_charType(static_cast<UChar32>(c));
    return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

void HiddenCharacters::forEachShown(std::string_view text, const std::function<void(std::string_view piece)>& piece) {
    walk(text, [&](UChar32 c, std::string_view bytes, bool hidden) {
        char spelt[16];
        if (c < 0) {
            std::string shown;
            for (const char b : bytes) {
                std::snprintf(spelt, sizeof spelt, "\\x%02X", static_cast<unsigned>(static_cast<uint8_t>(b)));
                shown += spelt;
            }
            piece(shown);
        } else if (c < 0x20 || c == 0x7F) {
            std::string picture;
            appendCodePoint(picture, c == 0x7F ? 0x2421 : 0x2400 + c);
            piece(picture);
        } else if (hidden) {
            std::snprintf(spelt, sizeof spelt, "<U+%04X>", static_cast<unsigned>(c));
            piece(spelt);
        } else {
            piece(bytes);
        }
    });
}

std::string HiddenCharacters::spelledOut(std::string_view text) {
    if (printableAscii(text)) return std::string(text);
    std::string shown;
    forEachShown(text, [&shown](std::string_view piece) { shown += piece; });
    return shown;
}

std::string HiddenCharacters::dropped(std::string_view text) {
    if (printableAscii(text)) return std::string(text);
    std::string kept;
    walk(text, [&kept](UChar32 c, std::string_view bytes, bool hidden) {
        if (c < 0) return;
        if (!hidden) kept += bytes;
        else if (u_isUWhiteSpace(c)) kept += ' ';
    });
    return kept;
}

}  // namespace platform::ui
