// COMPOUND_TEXT made UTF-8 as an owner's parts arrive: every row gives the same text whole and cut
// into parts of one, two and three bytes, so a part may end anywhere. Xlib's own conversion, in a
// UTF-8 locale on the test's display, is the oracle: texts it makes, every character of every set
// it reads, and bytes no encoder made decode as it decodes them, but where it drops what it cannot
// read without a sign.
#include <glib.h>
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "platform/runtime/SystemLog.h"
#include "platform/ui/gtk/CompoundText.h"

// Last: Xlib's macros name common words.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using platform::ui::gtk::CompoundText;

namespace {

std::string decodedInParts(const std::string& bytes, size_t part) {
    CompoundText text;
    std::string out;
    for (size_t at = 0; at < bytes.size(); at += part) out += text.add(std::string_view(bytes).substr(at, part));
    return out + text.finish();
}

}  // namespace

TEST(CompoundText, DecodesTheSameWhereverThePartsEnd) {
    struct Row {
        const char* name;
        std::string bytes;
        std::string utf8;
    };
    const Row rows[] = {
        {"ASCII, tab and line feed", "plain\ttext\n", "plain\ttext\n"},
        {"the right half is Latin-1 from the start", "caf\xe9", "caf\xc3\xa9"},
        {"an ISO 8859 set and back", "\x1b-L\xbf\xe0\x1b-Ad\xe9", "\xd0\x9f\xd1\x80" "d\xc3\xa9"},
        {"a two-byte set on the left", "\x1b$(B\x30\x21\x30\x22\x1b(Bok", "\xe4\xba\x9c\xe5\x94\x96ok"},
        {"a two-byte set on the right", "ab\x1b$)A\xb0\xa1", "ab\xe5\x95\x8a"},
        {"a UTF-8 segment", "x\x1b%G\xe2\x82\xac\x1b%@\xe9", "x\xe2\x82\xac\xc3\xa9"},
        {"a set it does not know", "\x1b(Zab\x1b(Bc", "\xef\xbf\xbd\xef\xbf\xbd" "c"},
        {"controls kept, direction marks dropped", "a\x01\x7f\x85\x9b" "1]b\x9b]", "a\x01\x7f\xc2\x85" "b"},
        {"a segment without a name", "\x1b%/1\x80\x83" "abcX", "\xef\xbf\xbdX"},
        {"a character the text ends inside", "ok\x1b$(B\x30", "ok\xef\xbf\xbd"},
        {"a broken escape sequence is its bytes", "a\x1b\x01" "b", "a\x1b\x01" "b"},
    };
    for (const Row& row : rows) {
        for (const size_t part : {row.bytes.size(), size_t{1}, size_t{2}, size_t{3}}) {
            EXPECT_EQ(decodedInParts(row.bytes, part), row.utf8) << row.name << ", in parts of " << part;
        }
    }
}

namespace {

using namespace std::string_literals;

const std::string fffd = "\xef\xbf\xbd";

// Xlib's conversion between UTF-8 and COMPOUND_TEXT, in a UTF-8 locale for the test's life.
class Xlib {
public:
    Xlib() : locale_(std::setlocale(LC_ALL, nullptr)) {
        if (std::setlocale(LC_ALL, "C.UTF-8") && XSupportsLocale()) display_ = display();
        if (display_) compound_ = XInternAtom(display_, "COMPOUND_TEXT", False);
    }
    ~Xlib() { std::setlocale(LC_ALL, locale_.c_str()); }
    Xlib(const Xlib&) = delete;
    Xlib& operator=(const Xlib&) = delete;

    bool ready() const { return display_ != nullptr; }

    // The COMPOUND_TEXT Xlib makes of a text (it may leave out what it cannot encode).
    std::string encode(const std::string& utf8) const {
        char* list[] = {const_cast<char*>(utf8.c_str())};
        XTextProperty property{};
        if (Xutf8TextListToTextProperty(display_, list, 1, XCompoundTextStyle, &property) < 0) return {};
        std::string bytes(reinterpret_cast<const char*>(property.value), property.nitems);
        EXPECT_EQ(property.encoding, compound_) << utf8;
        XFree(property.value);
        return bytes;
    }

    struct Decoded {
        std::string text;  // its list joined by the NULs that parted it
        int lost = -1;     // the characters it says it could not convert; negative: no text
    };
    Decoded decode(const std::string& bytes) const {
        XTextProperty property{reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())), compound_, 8,
                               bytes.size()};
        char** list = nullptr;
        int count = 0;
        Decoded decoded;
        decoded.lost = Xutf8TextPropertyToTextList(display_, &property, &list, &count);
        for (int i = 0; i < count; ++i) {
            if (i) decoded.text += '\0';
            decoded.text += list[i];
        }
        if (list) XFreeStringList(list);
        return decoded;
    }

private:
    // One connection for every test: on a loaded machine a connection opened just after another
    // closed was seen refused.
    static Display* display() {
        static Display* const shared = XOpenDisplay(nullptr);
        return shared;
    }

    std::string locale_;
    Display* display_ = nullptr;
    Atom compound_ = 0;
};

bool validUtf8(const std::string& text) {
    for (size_t at = 0; at <= text.size();) {
        const size_t end = std::min(text.find('\0', at), text.size());
        if (!g_utf8_validate(text.data() + at, static_cast<gssize>(end - at), nullptr)) return false;
        at = end + 1;
    }
    return true;
}

std::string withoutReplacements(std::string text) {
    for (size_t at; (at = text.find(fffd)) != std::string::npos;) text.erase(at, fffd.size());
    return text;
}

// The decoder's text whole, in two parts at every byte, and a byte at a time; `where` names a
// cut that gives another text.
std::string decodedEveryWay(const std::string& bytes, std::string& where) {
    const std::string whole = decodedInParts(bytes, std::max<size_t>(bytes.size(), 1));
    for (size_t cut = 1; cut < bytes.size() && where.empty(); ++cut) {
        CompoundText text;
        std::string out = text.add(std::string_view(bytes).substr(0, cut));
        out += text.add(std::string_view(bytes).substr(cut));
        if (out + text.finish() != whole) where = "cut at byte " + std::to_string(cut);
    }
    if (where.empty() && decodedInParts(bytes, 1) != whole) where = "a byte at a time";
    return whole;
}

}  // namespace

TEST(CompoundText, TextsXlibMakesDecodeAsXlibReadsThem) {
    Xlib xlib;
    ASSERT_TRUE(xlib.ready()) << "no UTF-8 locale Xlib supports, or no display";
    std::vector<std::string> texts = {
        "",
        "plain ASCII, a tab\tand a line feed\n",
        "Latin-1: café, naïve, Ångström, ÿ ¡¿ «»",
        "Latin-2: Zażółć gęślą jaźń. Příliš žluťoučký kůň úpěl ďábelské ódy",
        "Cyrillic: Съешь же ещё этих мягких французских булок, да выпей чаю. Ґ є і ї",
        "Greek: Ξεσκεπάζω την ψυχοφθόρα βδελυγμία",
        "Hebrew: שלום עולם",
        "Arabic: مرحبا بالعالم ١٢٣",
        "Thai: สวัสดีชาวโลก",
        "Turkish: Pijamalı hasta yağız şoföre çabucak güvendi",
        "Baltic: Lietuvių ąčęėįšųūž, Latviešu āēīū",
        "Welsh: Ŵŷ ḃ ẁ ẃ, and € œ Ÿ Š",
        "Romanian: Șșțț Ăâî",
        "Vietnamese: Tiếng Việt có dấu",
        "Armenian, Georgian, Devanagari: Բարեւ ქართული नमस्ते",
        "Chinese: 我能吞下玻璃而不伤身体。我能吞下玻璃而不傷身體。",
        "Korean: 나는 유리를 먹을 수 있어요. 그래도 아프지 않아요",
        "Japanese: 私はガラスを食べられます。それは私を傷つけません。ｶﾀｶﾅ ﾊﾝｶｸ ｰ｡｢｣",
        "Japanese on two lines: 日本\n語\tｶ\nｶ",
        "fullwidth and CJK punctuation: ＡＢＣ１２３！「」『』【】〜・ー",
        "JIS Roman: ¥‾",
        "emoji: 😀👍🏽 🇯🇵 a\u200db ❤️",
        "beyond the first plane: 𠀋𡈽𪚲 𝔘𝔫𝔦",
        "symbols: ∀x∈ℝ: x²≥0 — “quotes” ‘single’ … • ½ ™ ©",
        "private and noncharacters: \uE000\uFFFD\uFFFF",
        "controls: a\x01" "b\x7f" " c\r\n d\x1b" "e \u0085 \u009b" "1]x \u009b" "3]y",
        "mixed: Ab Ωμέγα Жж 日本語 ｶﾅ 한글 中文 ä € 😀 עברית ก",
    };
    std::string all;
    for (const std::string& text : texts) all += text + "\n";
    std::string long_;
    while (long_.size() < 3000) long_ += all;
    texts.push_back(all);
    texts.push_back(long_);
    for (const std::string& text : texts) {
        const std::string bytes = xlib.encode(text);
        const Xlib::Decoded expected = xlib.decode(bytes);
        ASSERT_GE(expected.lost, 0) << text;
        std::string where;
        EXPECT_EQ(decodedEveryWay(bytes, where), expected.text) << text;
        EXPECT_EQ(where, "") << text;
    }
}

TEST(CompoundText, EveryCharacterOfEverySetDecodesAsXlibReadsIt) {
    Xlib xlib;
    ASSERT_TRUE(xlib.ready()) << "no UTF-8 locale Xlib supports, or no display";
    struct Set {
        const char* name;
        std::string start;  // the designation, or the extended segment's name
        enum { single, pairs94, pairs } kind;
        int low, high;      // the bytes a character is made of
        int agreed;         // characters Xlib reads, each decoded the same
        // Characters the standard has where Xlib gives a private-use code point: the decoder's own.
        int standardForPrivate = 0;
    };
    const Set sets[] = {
        {"ISO 8859-1", "\x1b-A", Set::single, 0x80, 0xFF, 128},
        {"ISO 8859-2", "\x1b-B", Set::single, 0x80, 0xFF, 128},
        {"ISO 8859-3", "\x1b-C", Set::single, 0x80, 0xFF, 121},
        {"ISO 8859-4", "\x1b-D", Set::single, 0x80, 0xFF, 128},
        {"ISO 8859-5", "\x1b-L", Set::single, 0x80, 0xFF, 128},
        {"ISO 8859-6", "\x1b-G", Set::single, 0x80, 0xFF, 83},
        {"ISO 8859-7", "\x1b-F", Set::single, 0x80, 0xFF, 122},
        {"ISO 8859-8", "\x1b-H", Set::single, 0x80, 0xFF, 92},
        {"ISO 8859-9", "\x1b-M", Set::single, 0x80, 0xFF, 128},
        {"ISO 8859-10", "\x1b-V", Set::single, 0x80, 0xFF, 128},
        {"TIS-620", "\x1b-T", Set::single, 0xA0, 0xFF, 88},
        {"ISO 8859-13", "\x1b-Y", Set::single, 0x80, 0xFF, 128},
        {"ISO 8859-14", "\x1b-_", Set::single, 0x80, 0xFF, 128},
        {"ISO 8859-15", "\x1b-b", Set::single, 0x80, 0xFF, 128},
        {"ISO 8859-16", "\x1b-f", Set::single, 0x80, 0xFF, 128},
        {"JIS X 0201 Roman", "\x1b(J", Set::single, 0x20, 0x7F, 96},
        {"JIS X 0201 Katakana", "\x1b)I", Set::single, 0xA0, 0xFF, 63},
        {"GB 2312", "\x1b$(A", Set::pairs94, 0x21, 0x7E, 7445},
        {"GB 2312 on the right", "\x1b$)A", Set::pairs94, 0xA1, 0xFE, 7445},
        {"JIS X 0208", "\x1b$(B", Set::pairs94, 0x21, 0x7E, 6879},
        {"JIS X 0208 on the right", "\x1b$)B", Set::pairs94, 0xA1, 0xFE, 6879},
        {"KS C 5601", "\x1b$(C", Set::pairs94, 0x21, 0x7E, 8224},
        {"KS C 5601 on the right", "\x1b$)C", Set::pairs94, 0xA1, 0xFE, 8224},
        {"JIS X 0212", "\x1b$(D", Set::pairs94, 0x21, 0x7E, 6067},
        {"Big5, first half", "\x1b$(0", Set::pairs94, 0x21, 0x7E, 6051},
        {"Big5, second half", "\x1b$(1", Set::pairs94, 0x21, 0x7E, 7652},
        {"Big5 segment", "big5-0", Set::pairs, 0x40, 0xFE, 13703},
        {"GBK segment", "gbk-0", Set::pairs, 0x40, 0xFE, 21791},
        {"Big5-HKSCS segment", "big5hkscs-0", Set::pairs, 0x40, 0xFE, 17846, 1873},
        {"ISO 8859-14 segment", "iso8859-14", Set::single, 0x20, 0xFF, 224},
        {"ISO 8859-15 segment", "iso8859-15", Set::single, 0x20, 0xFF, 224},
    };
    const auto segment = [](const std::string& name, const std::string& characters) {
        const std::string body = name + '\x02' + characters;
        return "\x1b%/"s + (name.find("8859") == std::string::npos ? '2' : '1') + char(0x80 | body.size() / 128) +
               char(0x80 | body.size() % 128) + body;
    };
    for (const Set& set : sets) {
        const bool extended = set.start[0] != '\x1b';
        const auto text = [&](const std::string& characters) {
            return extended ? segment(set.start, characters) + "Z" : set.start + characters;
        };
        // Rows of characters: the first byte's, or all of a one-byte set.
        std::vector<std::vector<std::string>> rows;
        if (set.kind == Set::single) rows.emplace_back();
        const int firstLow = set.kind == Set::pairs ? 0x81 : set.low, firstHigh = set.kind == Set::pairs ? 0xFE : set.high;
        for (int first = firstLow; first <= firstHigh; ++first) {
            if (set.kind == Set::single) {
                rows.back().push_back(std::string(1, char(first)));
                continue;
            }
            rows.emplace_back();
            for (int second = set.low; second <= set.high; ++second) {
                if (set.kind == Set::pairs && second == 0x7F) continue;
                rows.back().push_back(std::string{char(first), char(second)});
            }
        }
        int agreed = 0, standardForPrivate = 0;
        const auto privateUse = [](const std::string& text) {
            gunichar* code = g_utf8_to_ucs4_fast(text.c_str(), -1, nullptr);
            const bool is = code[0] >= 0xE000 && code[0] <= 0xF8FF;
            g_free(code);
            return is;
        };
        for (const std::vector<std::string>& row : rows) {
            std::string characters;
            for (const std::string& character : row) characters += character;
            const Xlib::Decoded whole = xlib.decode(text(characters));
            if (set.kind != Set::single && whole.lost == 0 && whole.text == decodedInParts(text(characters), 1 << 20)) {
                agreed += static_cast<int>(row.size());
                continue;
            }
            // Xlib loses a whole run for one character it cannot read: one at a time.
            for (const std::string& character : row) {
                const Xlib::Decoded expected = xlib.decode(text(character));
                const std::string ours = decodedInParts(text(character), 1 << 20);
                EXPECT_TRUE(validUtf8(ours)) << set.name;
                if (expected.lost != 0 || expected.text == (extended ? "Z" : "")) continue;
                if (privateUse(expected.text) && ours != expected.text && !privateUse(ours) && ours != fffd + "Z") {
                    ++standardForPrivate;
                    continue;
                }
                ++agreed;
                EXPECT_EQ(ours, expected.text) << set.name << " " << testing::PrintToString(character);
            }
        }
        EXPECT_EQ(agreed, set.agreed) << set.name;
        EXPECT_EQ(standardForPrivate, set.standardForPrivate) << set.name;
    }
}

TEST(CompoundText, BytesNoEncoderMadeDecodeAsXlibReadsThemButForWhatItHides) {
    Xlib xlib;
    ASSERT_TRUE(xlib.ready()) << "no UTF-8 locale Xlib supports, or no display";
    // What Xlib makes of the row: the same text; the same but for the U+FFFD that mark what it
    // drops unsaid; a loss it counts (its text may be anything); UTF-8 it passes on broken.
    enum class Xlib_ { same, hidesLoss, countsLoss, passesBrokenUtf8 };
    struct Row {
        const char* name;
        std::string bytes;
        std::string utf8;
        Xlib_ xlib;
    };
    const Row rows[] = {
        {"nothing", ""s, ""s, Xlib_::same},
        {"a designation alone", "\x1b(B"s, ""s, Xlib_::same},
        {"controls as they come", "a\x01" "b\rc\x7f" "d\x85" "e"s, "a\x01" "b\rc\x7f" "d\xc2\x85" "e"s, Xlib_::same},
        {"NUL between texts", "a\0b\0\0c"s, "a\0b\0\0c"s, Xlib_::same},
        {"direction marks dropped", "a\x9b" "1]b\x9b" "2]c\x9b]d"s, "abcd"s, Xlib_::countsLoss},
        {"a CSI that is no direction mark", "a\x9b" "3]b"s, "a\xc2\x9b" "3]b"s, Xlib_::same},
        {"a CSI the text ends inside", "a\x9b" "1"s, "a\xc2\x9b" "1"s, Xlib_::same},
        {"an escape of no known form is its bytes", "a\x1b" "Ab\x1b\x01" "c"s, "a\x1b" "Ab\x1b\x01" "c"s, Xlib_::same},
        {"ESC $ A is no designation", "\x1b$A0!"s, "\x1b$A0!"s, Xlib_::same},
        {"an escape the text ends inside", "a\x1b$("s, "a\x1b$("s, Xlib_::same},
        {"a right-half escape the text ends inside", "a\x1b-"s, "a\x1b-"s, Xlib_::same},
        {"an unknown 94-set", "\x1b(Zab\x1b(Bc"s, fffd + fffd + "c", Xlib_::countsLoss},
        {"an unknown 96-set", "\x1b-Z\xa1\xa2\x1b-A\xe9"s, fffd + fffd + "\xc3\xa9", Xlib_::countsLoss},
        {"an unknown 94x94 set", "\x1b$(Z\x30\x21\x30\x22\x1b(Bok"s, fffd + fffd + "ok", Xlib_::countsLoss},
        {"an unknown 94-set on the right", "\x1b)Z\xa1"s, fffd, Xlib_::countsLoss},
        {"a designation whose final is a control", "\x1b(\nAB"s, fffd + fffd, Xlib_::countsLoss},
        {"bytes the katakana lack", "\x1b)I\xa0\xb6\xdf\xe0\xff"s, fffd + "\xef\xbd\xb6\xef\xbe\x9f" + fffd + fffd,
         Xlib_::countsLoss},
        {"katakana about a line feed", "\x1b)I\xb6\n\xb6"s, "\xef\xbd\xb6\n\xef\xbd\xb6"s, Xlib_::same},
        {"JIS X 0201 Roman", "\x1b(J\\~A"s, "\xc2\xa5\xe2\x80\xbe" "A"s, Xlib_::same},
        {"JIS X 0212's tilde", "\x1b$(D\x22\x37"s, "~"s, Xlib_::same},
        {"TIS-620's no-break space", "\x1b-T\xa0\xa1"s, "\xc2\xa0\xe0\xb8\x81"s, Xlib_::same},
        {"ISO 8859-7's euro, which Xlib lacks", "\x1b-F\xa4"s, "\xe2\x82\xac"s, Xlib_::countsLoss},
        {"Big5 in two halves", "\x1b$(0\x30\x21\x1b$(1\x30\x21"s, "\xe6\x98\x8f\xe6\xae\x88"s, Xlib_::same},
        {"Big5 where Xlib has kana", "\x1b%/2\x80\x89" "big5-0\x02\xc6\xa5"s, "\xe3\x81\x81"s, Xlib_::same},
        {"a GBK segment", "\x1b%/2\x80\x88gbk-0\x02\x81\x40Z"s, "\xe4\xb8\x82Z"s, Xlib_::same},
        {"a Big5-HKSCS segment", "\x1b%/2\x80\x8e" "big5hkscs-0\x02\x8e\x69"s, "\xe7\xae\xb8"s, Xlib_::same},
        {"two segments back to back", "\x1b%/2\x80\x88gbk-0\x02\x81\x40\x1b%/2\x80\x88gbk-0\x02\x81\x41"s,
         "\xe4\xb8\x82\xe4\xb8\x84"s, Xlib_::same},
        {"an ISO 8859-15 segment with controls", "\x1b%/1\x80\x8fiso8859-15\x02" "A\xa4\n\x1bZ"s,
         "A\xe2\x82\xac\n\x1bZ"s, Xlib_::same},
        {"a segment of an encoding Xlib does not name", "\x1b%/1\x80\x89koi8-r\x02\xc1\xc2Z"s, fffd + fffd + "Z",
         Xlib_::countsLoss},
        {"a segment of characters of any size", "\x1b%/0\x80\x89koi8-r\x02\xc1\xc2Z"s, fffd + "Z", Xlib_::countsLoss},
        {"a segment of an unknown form", "\x1b%/5\x80\x88gbk-0\x02\x81\x40Z"s, fffd + "Z", Xlib_::countsLoss},
        {"a segment whose length lacks the high bit", "\x1b%/2\x00\x08gbk-0\x02\x81\x40Z"s,
         "\x1b%/2\0\x08gbk-0\x02\xc2\x81@Z"s, Xlib_::same},
        {"a segment the text ends inside", "\x1b%/2\x80\x8agbk-0\x02\x81\x40Z"s,
         "\x1b%/2\xc2\x80\xc2\x8agbk-0\x02\xc2\x81@Z"s, Xlib_::same},
        {"a segment cut inside a character", "\x1b%/2\x80\x87gbk-0\x02\x81Z"s, fffd + "Z", Xlib_::hidesLoss},
        {"a character cut by a designation", "\x1b$(B\x30\x1b(BA"s, fffd + "A", Xlib_::hidesLoss},
        {"a character cut by the other half", "\x1b$(B\x30\xc1\x21"s, fffd + "\xc3\x81" + fffd, Xlib_::hidesLoss},
        {"space in a 94x94 set", "\x1b$(B\x30\x21 \x30\x22"s, "\xe4\xba\x9c \xe5\x94\x96"s, Xlib_::countsLoss},
        {"a C1 control after GB 2312 on the right", "\x1b$)A\xb0\xa1\x85"s, "\xe5\x95\x8a\xc2\x85"s, Xlib_::countsLoss},
        {"designations inside a UTF-8 segment", "\x1b%GA\x1b(J\\\x1b%@\\"s, "A\\\xc2\xa5"s, Xlib_::same},
        {"a UTF-8 segment never closed", "\x1b%G\xe2\x82\xac\xe9"s, "\xe2\x82\xac" + fffd, Xlib_::hidesLoss},
        {"UTF-8 cut by an escape", "\x1b%G\xe2\x82\x1b%@A"s, fffd + "A", Xlib_::hidesLoss},
        {"broken UTF-8", "\x1b%G\xff" "A\x1b%@B"s, fffd + "AB", Xlib_::countsLoss},
        {"an over-long UTF-8 form", "\x1b%G\xc0\x80\x1b%@"s, fffd + fffd, Xlib_::countsLoss},
        {"a UTF-8 surrogate", "\x1b%G\xed\xa0\x80" "A\x1b%@"s, fffd + fffd + fffd + "A", Xlib_::passesBrokenUtf8},
        {"UTF-8 past U+10FFFF", "\x1b%G\xf4\x90\x80\x80\x1b%@"s, fffd + fffd + fffd + fffd, Xlib_::passesBrokenUtf8},
        {"CNS 11643, which Xlib names but cannot read", "\x1b$(G\x44\x21"s, "\xe4\xb8\x80"s, Xlib_::countsLoss},
        {"CNS 11643 plane 2", "\x1b$(H\x21\x21"s, "\xe4\xb9\x82"s, Xlib_::countsLoss},
        {"an unknown coding system", "\x1b%Ab"s, "b"s, Xlib_::countsLoss},
    };
    for (const Row& row : rows) {
        std::string where;
        EXPECT_EQ(decodedEveryWay(row.bytes, where), row.utf8) << row.name;
        EXPECT_EQ(where, "") << row.name;
        const Xlib::Decoded read = xlib.decode(row.bytes);
        switch (row.xlib) {
            case Xlib_::same:
                EXPECT_EQ(read.lost, 0) << row.name;
                EXPECT_EQ(read.text, row.utf8) << row.name;
                break;
            case Xlib_::hidesLoss:
                EXPECT_EQ(read.lost, 0) << row.name;
                EXPECT_NE(read.text, row.utf8) << row.name;
                EXPECT_EQ(read.text, withoutReplacements(row.utf8)) << row.name;
                break;
            case Xlib_::countsLoss: EXPECT_GT(read.lost, 0) << row.name; break;
            case Xlib_::passesBrokenUtf8:
                EXPECT_EQ(read.lost, 0) << row.name;
                EXPECT_FALSE(validUtf8(read.text)) << row.name;
                break;
        }
    }
}

TEST(CompoundText, SaysOnceOfEachSetItCannotDecode) {
    platform::runtime::ScopedLogCapture log;
    for (int text = 0; text < 3; ++text) {
        decodedInParts("\x1b(Wab\x1b%/1\x80\x89wide-x\x02\xc1\xc2" "c\x1b(Wd", 1);
    }
    const auto said = [&](const std::string& what) {
        int lines = 0;
        for (const std::string& line : log.messages("clipboard")) lines += line.find(what) != std::string::npos;
        return lines;
    };
    EXPECT_EQ(said("ESC ( W"), 1);
    EXPECT_EQ(said("\"wide-x\""), 1);
    // Endless made-up names take a few lines, not one each.
    for (int name = 0; name < 1000; ++name) {
        const std::string segment = "made-up-" + std::to_string(name) + "\x02";
        decodedInParts("\x1b%/1"s + char(0x80) + char(0x80 | segment.size()) + segment, 7);
    }
    EXPECT_LE(said("made-up-"), 16);
    EXPECT_LE(log.messages("clipboard").size(), 20u);
}

TEST(CompoundText, HoldsBackNoMoreThanOneSegment) {
    // The longest segment there is, then text: out when its last byte is in, not before.
    std::string bytes = "\x1b%/2\xff\xff" "gbk-0\x02"s;
    while (bytes.size() < CompoundText::heldLimit) bytes += "\x81\x40";
    bytes.resize(CompoundText::heldLimit);
    CompoundText text;
    std::string out;
    for (size_t at = 0; at + 1 < bytes.size(); ++at) out += text.add(bytes.substr(at, 1));
    EXPECT_EQ(out, "");
    out = text.add(bytes.substr(bytes.size() - 1));
    EXPECT_EQ(out.size(), (CompoundText::heldLimit - 12) / 2 * 3 + 3) << "the segment's characters and the last one cut";
    EXPECT_EQ(text.add("ok") + text.finish(), "ok");
}
