#include "quiltdeck/sessions/HookBody.h"

#include <cctype>
#include <charconv>

namespace quiltdeck {

namespace {

bool startsACharacter(char c) { return (static_cast<uint8_t>(c) & 0xC0) != 0x80; }

}  // namespace

void HookBody::append(std::string_view bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        switch (state_) {
            // Outside strings and in the part of one that goes, whole runs at a time.
            case State::between: {
                const size_t quote = bytes.find('"', at);
                const size_t end = quote == std::string_view::npos ? bytes.size() : quote + 1;
                kept_.append(bytes.substr(at, end - at));
                at = end;
                if (quote != std::string_view::npos) {
                    state_ = State::text;
                    textBytes_ = 0;
                    pairOpen_ = false;
                }
                break;
            }
            case State::skipping: {
                const size_t stop = bytes.find_first_of("\"\\", at);
                if (stop == std::string_view::npos) {
                    at = bytes.size();
                    break;
                }
                at = stop + 1;
                if (bytes[stop] == '\\') {
                    state_ = State::skippingEscape;
                } else {
                    kept_ += '"';
                    state_ = State::between;
                }
                break;
            }
            case State::skippingEscape:
                ++at;
                state_ = State::skipping;
                break;
            default: text(bytes[at++]);
        }
    }
}

// One byte inside a string, kept.
void HookBody::text(char c) {
    switch (state_) {
        case State::text:
            if (c == '"') {
                kept_ += c;
                state_ = State::between;
                return;
            }
            if (startsACharacter(c) && textBytes_ >= limit_ && !(pairOpen_ && c == '\\')) {
                ++cut_;
                state_ = c == '\\' ? State::skippingEscape : State::skipping;
                return;
            }
            escapeClosesPair_ = pairOpen_ && c == '\\';
            if (c != '\\') pairOpen_ = false;
            if (c == '\\') state_ = State::escape;
            break;
        case State::escape:
            if (c == 'u') {
                state_ = State::unicode;
                hexDigits_ = 0;
            } else {
                state_ = State::text;
                pairOpen_ = false;
            }
            break;
        case State::unicode: {
            if (!std::isxdigit(static_cast<unsigned char>(c))) {
                state_ = State::text;
                pairOpen_ = false;
                break;
            }
            hex_[hexDigits_] = c;
            if (++hexDigits_ < 4) break;
            state_ = State::text;
            uint32_t unit = 0;
            std::from_chars(hex_, hex_ + 4, unit, 16);
            // One escape after a high surrogate may complete it; a second high one would open
            // nothing more.
            pairOpen_ = unit >= 0xD800 && unit <= 0xDBFF && !escapeClosesPair_;
            break;
        }
        default: return;
    }
    kept_ += c;
    ++textBytes_;
}

}  // namespace quiltdeck
