#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::ui::gtk {

// Turns X11 COMPOUND_TEXT into UTF-8 as its parts arrive, whatever the locale, reading it as
// Xlib's Xutf8TextPropertyToTextList does: a part may end inside a character, an escape sequence
// or an extended segment, which the next part completes. Controls pass as they come (a paste drops
// them later), an escape sequence that is not one passes as its bytes. A character of a set that
// cannot be decoded, and one that is broken or cut short, becomes U+FFFD; each set that cannot be
// decoded is logged once in the process.
class CompoundText {
public:
    // The UTF-8 of the characters this part completes.
    std::string add(std::string_view part);
    // What the end of the text leaves: an unfinished character (U+FFFD), or the bytes of an escape
    // sequence or extended segment that the text ended inside.
    std::string finish();

    // The most a text holds back between parts: an extended segment with its header, whose length
    // is read in two bytes, waits whole for its last byte (a segment the text ends inside is not one).
    static constexpr size_t heldLimit = 6 + 16383;

private:
    // Decodes the whole units of `bytes` into `out`, returning how many bytes they took; `ended`
    // when no byte follows, so that nothing is left unfinished.
    size_t decode(std::string_view bytes, bool ended, std::string& out);
    size_t escape(std::string_view bytes, size_t at, bool ended, std::string& out);
    size_t utf8(std::string_view bytes, size_t at, bool ended, std::string& out);
    // The characters of one half from `at` on, up to a byte that is not one of them.
    size_t characters(uint8_t set, std::string_view bytes, size_t at, bool ended, std::string& out);

    // The sets of the left half (GL: 0x21-0x7E) and the right half (GR: 0xA0-0xFF).
    uint8_t gl_ = 0;
    uint8_t gr_ = 1;
    bool utf8_ = false;
    // The end of the previous parts that did not make a whole unit.
    std::string carried_;
};

}  // namespace platform::ui::gtk
