#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

typedef struct _GIConv* GIConv;

namespace platform::ui::gtk {

// Turns X11 COMPOUND_TEXT into UTF-8 as its parts arrive, whatever the locale: a part may end
// inside a character or an escape sequence, which the next part completes. Handles the ASCII and
// ISO 8859 sets, the Chinese, Japanese and Korean two-byte sets and UTF-8 segments; a character of
// a set it does not know becomes U+FFFD, controls other than tab and line feed are dropped.
class CompoundText {
public:
    CompoundText();
    ~CompoundText();
    CompoundText(const CompoundText&) = delete;
    CompoundText& operator=(const CompoundText&) = delete;

    // The UTF-8 of the characters this part completes.
    std::string add(std::string_view part);
    // What an unfinished character left at the end says (U+FFFD), once the text has ended.
    std::string finish();

private:
    // How the bytes of one half (GL: 0x21-0x7E, GR: 0xA0-0xFF) are read.
    struct Set {
        enum class Kind { ascii, latin1, single, doubleByte, unknown } kind = Kind::ascii;
        // The converter's name of the set (single and double-byte sets).
        const char* charset = nullptr;
    };
    // Consumes one escape sequence or character at `at`; false when the part ends inside it.
    bool step(std::string_view bytes, size_t& at, std::string& out);
    bool escape(std::string_view bytes, size_t& at);
    void character(const Set& set, std::string_view bytes, std::string& out);
    void flushRun(std::string& out);

    Set gl_;
    Set gr_{Set::Kind::latin1, nullptr};
    bool utf8_ = false;
    // Bytes of one set waiting to be converted together, and that set's converter name.
    std::string run_;
    const char* runCharset_ = nullptr;
    // The end of the previous part that did not make a whole character or sequence.
    std::string carried_;
    // The sets' converters, by name.
    std::vector<std::pair<const char*, GIConv>> converters_;
};

}  // namespace platform::ui::gtk
