#include "platform/ui/gtk/CompoundText.h"

#include <glib.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/runtime/SystemLog.h"

namespace platform::ui::gtk {

namespace {

constexpr uint8_t esc = 0x1B;
constexpr uint8_t csi = 0x9B;
constexpr std::string_view replacement = "\xEF\xBF\xBD";

void appendCode(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
        return;
    }
    char bytes[6];
    size_t length = 0;
    if (code < 0x800) {
        bytes[length++] = static_cast<char>(0xC0 | code >> 6);
    } else if (code < 0x10000) {
        bytes[length++] = static_cast<char>(0xE0 | code >> 12);
        bytes[length++] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
    } else {
        length = static_cast<size_t>(g_unichar_to_utf8(code, bytes)) - 1;
    }
    if (code < 0x10000) bytes[length] = static_cast<char>(0x80 | (code & 0x3F));
    out.append(bytes, length + 1);
}

void appendReplacements(std::string& out, size_t count) {
    for (size_t i = 0; i < count; ++i) out += replacement;
}

// Names from another program, shown only as printable ASCII and only so long.
std::string printable(std::string_view name) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string shown;
    for (const char c : name.substr(0, 32)) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte > 0x20 && byte < 0x7F) {
            shown += c;
        } else {
            shown += "\\x";
            shown += digits[byte >> 4];
            shown += digits[byte & 0xF];
        }
    }
    return shown;
}

// Each set whose text cannot be decoded is said once in the process; a text of endless made-up
// names is said in a bounded number of lines and kept in bounded memory.
constexpr size_t undecodableSetsSaid = 16;

void sayOnce(const std::string& what, const std::string& line) {
    static std::mutex mutex;
    static auto* said = new std::vector<std::string>;  // never destroyed: a paste may end as the process does
    static bool full = false;
    std::string written = line;
    {
        std::lock_guard lock(mutex);
        if (std::find(said->begin(), said->end(), what) != said->end()) return;
        if (said->size() == undecodableSetsSaid) {
            if (std::exchange(full, true)) return;
            written = "COMPOUND_TEXT: more sets that cannot be decoded; they are not named";
        } else {
            said->push_back(what);
        }
    }
    runtime::SystemLog::write(runtime::LogLevel::error, "clipboard", written);
}

void undecodable(const std::string& set) {
    sayOnce(set, "COMPOUND_TEXT: the characters of " + set + " cannot be decoded; they are pasted as U+FFFD");
}

// The sets, by how their characters are read. The first two are where every text starts.
enum Set : uint8_t {
    ascii,
    latin1,
    jisRoman,
    // ISO 8859 and TIS-620 in the right half.
    latin2, latin3, latin4, cyrillic, arabic, greek, hebrew, latin5, latin6, thai, latin7, latin8, latin9, latin10,
    katakana,
    // The 94x94 sets, in either half.
    gb2312, jisx0208, ksc5601, jisx0212, big5Low, big5High, cns1, cns2, cns3, cns4, cns5, cns6, cns7,
    // Sets of extended segments.
    big5, gbk, hkscs,
    unknown94, unknown96, unknown94x94,
    setCount
};

enum class Kind : uint8_t { ascii, jisRoman, latin1, table96, katakana, table94x94, pairs, unknown };

struct SetInfo {
    Kind kind;
    const char* name;       // for the log
    const char* converter;  // iconv's name of the encoding its table is read from
};

constexpr std::array<SetInfo, setCount> sets = {{
    {Kind::ascii, "ASCII", nullptr},
    {Kind::latin1, "ISO 8859-1", nullptr},
    {Kind::jisRoman, "JIS X 0201 Roman", nullptr},
    {Kind::table96, "ISO 8859-2", "ISO-8859-2"},
    {Kind::table96, "ISO 8859-3", "ISO-8859-3"},
    {Kind::table96, "ISO 8859-4", "ISO-8859-4"},
    {Kind::table96, "ISO 8859-5", "ISO-8859-5"},
    {Kind::table96, "ISO 8859-6", "ISO-8859-6"},
    {Kind::table96, "ISO 8859-7", "ISO-8859-7"},
    {Kind::table96, "ISO 8859-8", "ISO-8859-8"},
    {Kind::table96, "ISO 8859-9", "ISO-8859-9"},
    {Kind::table96, "ISO 8859-10", "ISO-8859-10"},
    {Kind::table96, "TIS-620", "TIS-620"},
    {Kind::table96, "ISO 8859-13", "ISO-8859-13"},
    {Kind::table96, "ISO 8859-14", "ISO-8859-14"},
    {Kind::table96, "ISO 8859-15", "ISO-8859-15"},
    {Kind::table96, "ISO 8859-16", "ISO-8859-16"},
    {Kind::katakana, "JIS X 0201 Katakana", nullptr},
    {Kind::table94x94, "GB 2312", "EUC-CN"},
    {Kind::table94x94, "JIS X 0208", "EUC-JP"},
    {Kind::table94x94, "KS C 5601", "EUC-KR"},
    {Kind::table94x94, "JIS X 0212", "EUC-JP"},
    {Kind::table94x94, "Big5 (first half)", "BIG5"},
    {Kind::table94x94, "Big5 (second half)", "BIG5"},
    {Kind::table94x94, "CNS 11643 plane 1", "EUC-TW"},
    {Kind::table94x94, "CNS 11643 plane 2", "EUC-TW"},
    {Kind::table94x94, "CNS 11643 plane 3", "EUC-TW"},
    {Kind::table94x94, "CNS 11643 plane 4", "EUC-TW"},
    {Kind::table94x94, "CNS 11643 plane 5", "EUC-TW"},
    {Kind::table94x94, "CNS 11643 plane 6", "EUC-TW"},
    {Kind::table94x94, "CNS 11643 plane 7", "EUC-TW"},
    {Kind::pairs, "Big5", "BIG5"},
    {Kind::pairs, "GBK", "GBK"},
    {Kind::pairs, "Big5-HKSCS", "BIG5-HKSCS"},
    {Kind::unknown, nullptr, nullptr},
    {Kind::unknown, nullptr, nullptr},
    {Kind::unknown, nullptr, nullptr},
}};

// The two-byte encodings of extended segments: a first byte 0x81-0xFE, a second 0x40-0xFF.
constexpr size_t pairRow = 192;
constexpr size_t pairCount = 126 * pairRow;

// Where Xlib's Big5 differs from the converter's: runs of codes and the characters they start at.
struct Run {
    uint16_t code;
    char32_t first;
    uint8_t count;
};
constexpr Run big5Runs[] = {
    {0xA145, 0x2022, 1},  {0xA14E, 0xFF64, 1}, {0xA1C2, 0x203E, 1}, {0xA1E3, 0x223C, 1}, {0xA1F2, 0x2641, 1},
    {0xA1F3, 0x2609, 1},  {0xA241, 0xFF0F, 1}, {0xA242, 0xFF3C, 1}, {0xA244, 0x00A5, 1}, {0xA246, 0x00A2, 2},
    {0xC6A1, 0x30FE, 1},  {0xC6A2, 0x309D, 2}, {0xC6A4, 0x3005, 1}, {0xC6A5, 0x3041, 83}, {0xC6F8, 0x30A1, 7},
    {0xC740, 0x30A8, 63}, {0xC7A1, 0x30E7, 16}, {0xC7B1, 0x0414, 2}, {0xC7B3, 0x0401, 1}, {0xC7B4, 0x0416, 7},
    {0xC7BB, 0x0423, 19}, {0xC7CE, 0x0451, 1}, {0xC7CF, 0x0436, 26}, {0xC7E9, 0x2460, 10}, {0xC7F3, 0x2474, 10},
};

// Where Xlib's Big5-HKSCS differs from the converter's, but for the private-use code points Xlib
// gives where the converter has the standard's characters (those are kept).
constexpr Run hkscsRuns[] = {
    {0x8E69, 0x7BB8, 1}, {0x8E6F, 0x7C06, 1}, {0x8E7E, 0x7CCE, 1}, {0x8EAB, 0x7DD2, 1}, {0x8EB4, 0x7E1D, 1},
    {0x8ECD, 0x8005, 1}, {0x8ED0, 0x8028, 1}, {0x8F57, 0x83C1, 1}, {0x8F69, 0x84A8, 1}, {0x8F6E, 0x840F, 1},
    {0x8FCB, 0x89A6, 1}, {0x8FCC, 0x89A9, 1}, {0x8FFE, 0x8D77, 1}, {0x906D, 0x90FD, 1}, {0x907A, 0x92B9, 1},
    {0x90DC, 0x975C, 1}, {0x90F1, 0x97FF, 1}, {0x91BF, 0x9F16, 1}, {0x9244, 0x8503, 1}, {0x92AF, 0x5159, 1},
    {0x92B0, 0x515B, 1}, {0x92B1, 0x515D, 2}, {0x92C8, 0x936E, 1}, {0x92D1, 0x7479, 1}, {0x9447, 0x6D67, 1},
    {0x94CA, 0x799B, 1}, {0x95D9, 0x9097, 1}, {0x9644, 0x975D, 1}, {0x96ED, 0x701E, 1}, {0x96FC, 0x5B28, 1},
    {0x9B76, 0x7201, 1}, {0x9B78, 0x77D7, 1}, {0x9B7B, 0x7E87, 1}, {0x9BC6, 0x99D6, 1}, {0x9BDE, 0x91D4, 1},
    {0x9BEC, 0x60DE, 1}, {0x9BF6, 0x6FB6, 1}, {0x9C42, 0x8F36, 1}, {0x9C53, 0x4FBB, 1}, {0x9C62, 0x71DF, 1},
    {0x9C68, 0x9104, 1}, {0x9C6B, 0x9DF0, 1}, {0x9C77, 0x83CF, 1}, {0x9CBC, 0x5C10, 1}, {0x9CBD, 0x79E3, 1},
    {0x9CD0, 0x5A67, 1}, {0x9D57, 0x8F0B, 1}, {0x9D5A, 0x7B51, 1}, {0x9DC4, 0x62D0, 1}, {0x9EA9, 0x6062, 1},
    {0x9EE5, 0x47B6, 1}, {0x9EEF, 0x75F9, 1}, {0x9EFD, 0x6C4A, 1}, {0x9F60, 0x9B2E, 1}, {0x9F66, 0x9F17, 1},
    {0x9FCB, 0x50ED, 1}, {0x9FD8, 0x5F0C, 1}, {0xA063, 0x880F, 1}, {0xA077, 0x62CE, 1}, {0xA0D5, 0x7468, 1},
    {0xA0DF, 0x7162, 1}, {0xA0E4, 0x7250, 1}, {0xA145, 0x2027, 1}, {0xA14E, 0xFE51, 1}, {0xA15A, 0x2574, 1},
    {0xA1C2, 0x00AF, 1}, {0xA1C3, 0xFFE3, 1}, {0xA1C5, 0x02CD, 1}, {0xA1E3, 0xFF5E, 1}, {0xA1F2, 0x2295, 1},
    {0xA1F3, 0x2299, 1}, {0xA1FE, 0xFF0F, 1}, {0xA240, 0xFF3C, 1}, {0xA241, 0x2215, 1}, {0xA242, 0xFE68, 1},
    {0xA244, 0xFFE5, 1}, {0xA246, 0xFFE0, 2}, {0xA2CC, 0x5341, 1}, {0xA2CE, 0x5345, 1}, {0xFA5F, 0x5029, 1},
    {0xFA66, 0x507D, 1}, {0xFABD, 0x5305, 1}, {0xFAC5, 0x5344, 1}, {0xFAD5, 0x537F, 1}, {0xFB48, 0x5605, 1},
    {0xFBB8, 0x5A77, 1}, {0xFBF3, 0x5E75, 1}, {0xFBF9, 0x5ED0, 1}, {0xFC4F, 0x5F58, 1}, {0xFC6C, 0x60A4, 1},
    {0xFCB9, 0x6490, 1}, {0xFCE2, 0x6674, 1}, {0xFCF1, 0x675E, 1}, {0xFDB7, 0x6C9C, 1}, {0xFDB8, 0x6E1D, 1},
    {0xFDBB, 0x6E2F, 1}, {0xFDF1, 0x716E, 1}, {0xFE52, 0x732A, 1}, {0xFE6F, 0x745C, 1}, {0xFEAA, 0x74E9, 1},
    {0xFEDD, 0x7809, 1},
};

// Big5's user-defined codes as private-use code points, the way Xlib reads those the converter lacks:
// 157 codes to a row, in four ranges.
char32_t privateUse(size_t code) {
    const size_t first = code >> 8, second = code & 0xFF;
    const size_t column = second <= 0x7E ? second - 0x40 : second - 0x62;
    if (first >= 0xFA && first <= 0xFE) return char32_t(0xE000 + (first - 0xFA) * 157 + column);
    if (first >= 0x8E && first <= 0xA0) return char32_t(0xE311 + (first - 0x8E) * 157 + column);
    if (first >= 0x81 && first <= 0x8D) return char32_t(0xEEB8 + (first - 0x81) * 157 + column);
    if (first >= 0xC6 && first <= 0xC8 && (first > 0xC6 || column >= 63)) return char32_t(0xF6B1 + (first - 0xC6) * 157 + column - 63);
    return 0;
}

// The bytes the converter reads for entry `index` of a set's table; empty for none.
std::string encoded(Set set, size_t index) {
    std::string bytes;
    if (sets[set].kind == Kind::table96) {
        bytes += static_cast<char>(0xA0 + index);
        return bytes;
    }
    if (sets[set].kind == Kind::pairs) {
        bytes += static_cast<char>(0x81 + index / pairRow);
        bytes += static_cast<char>(0x40 + index % pairRow);
        return bytes;
    }
    if (set == jisx0212) bytes += '\x8F';
    if (set >= cns2 && set <= cns7) {
        bytes += '\x8E';
        bytes += static_cast<char>(0xA1 + (set - cns1));
    }
    bytes += static_cast<char>(0xA1 + index / 94);
    bytes += static_cast<char>(0xA1 + index % 94);
    return bytes;
}

// A set's characters as Xlib reads them (0: none), made at first use through the converter; an
// empty table when the converter cannot be had, which is said once.
std::vector<char32_t> makeTable(Set set) {
    const SetInfo& info = sets[set];
    const size_t count = info.kind == Kind::table96 ? 96 : info.kind == Kind::pairs ? pairCount : 94 * 94;
    const iconv_t converter = iconv_open("UTF-32LE", info.converter);
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        undecodable(std::string(info.name) + " (no converter from " + info.converter + ")");
        return {};
    }
    std::vector<char32_t> codes(count, 0);
    for (size_t index = 0; index < count; ++index) {
        std::string in = encoded(set, index);
        char* from = in.data();
        size_t fromLeft = in.size();
        unsigned char to[8];
        char* into = reinterpret_cast<char*>(to);
        size_t toLeft = sizeof to;
        const size_t done = iconv(converter, &from, &fromLeft, &into, &toLeft);
        if (done != static_cast<size_t>(-1) && fromLeft == 0 && toLeft == sizeof to - 4) {
            codes[index] = char32_t(to[0]) | char32_t(to[1]) << 8 | char32_t(to[2]) << 16 | char32_t(to[3]) << 24;
        }
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(converter);
    // Where Xlib's tables differ from the converter's: TIS-620 has a no-break space, JIS X 0212's
    // 0x2237 is the ASCII tilde, Big5 and Big5-HKSCS have the runs above.
    if (set == thai) codes[0] = 0xA0;
    if (set == jisx0212) codes[(0x22 - 0x21) * 94 + (0x37 - 0x21)] = '~';
    const auto patch = [&codes](const auto& runs) {
        for (const Run& run : runs) {
            for (size_t i = 0; i < run.count; ++i) {
                const size_t code = run.code + i;
                codes[((code >> 8) - 0x81) * pairRow + (code & 0xFF) - 0x40] = run.first + char32_t(i);
            }
        }
    };
    if (set == big5) patch(big5Runs);
    if (set == hkscs) {
        patch(hkscsRuns);
        for (size_t index = 0; index < count; ++index) {
            const size_t second = 0x40 + index % pairRow;
            if (!codes[index] && second <= 0xFE && (second <= 0x7E || second >= 0xA1)) {
                codes[index] = privateUse((0x81 + index / pairRow) << 8 | second);
            }
        }
    }
    return codes;
}

// The table a set's characters are looked up in (the two Big5 halves share Big5's); null when the
// set has none or it cannot be made.
const char32_t* tableOf(Set set) {
    if (set == big5Low || set == big5High) set = big5;
    const Kind kind = sets[set].kind;
    if (kind != Kind::table96 && kind != Kind::table94x94 && kind != Kind::pairs) return nullptr;
    static std::array<std::once_flag, setCount> made;
    static auto* tables = new std::array<std::vector<char32_t>, setCount>;  // never destroyed, as above
    std::call_once(made[set], [set] { (*tables)[set] = makeTable(set); });
    return (*tables)[set].empty() ? nullptr : (*tables)[set].data();
}

// Big5 as two 94x94 halves, the way Xlib reads the finals 0 and 1: its codes in order, 157 to a row.
char32_t big5Half(const char32_t* big5Codes, Set set, size_t index) {
    if (set == big5High) index += 6280;
    const size_t first = 0xA1 + index / 157;
    const size_t column = index % 157;
    const size_t second = column < 0x3F ? 0x40 + column : 0x62 + column;
    if (first > 0xFE) return 0;
    return big5Codes[(first - 0x81) * pairRow + second - 0x40];
}

std::string escapeName(std::string_view sequence) {
    std::string name = "ESC";
    for (const char c : sequence.substr(1)) {
        name += ' ';
        name += printable(std::string_view(&c, 1));
    }
    return name;
}

// The set a designation names, or the unknown set of its size (said once).
Set designated(std::string_view sequence) {
    const char form = sequence[1] == '$' ? sequence[2] : sequence[1];
    const char final = sequence.back();
    Set set = setCount;
    if (sequence[1] == '$') {
        static constexpr std::pair<char, Set> wide[] = {
            {'A', gb2312}, {'B', jisx0208}, {'C', ksc5601}, {'D', jisx0212}, {'0', big5Low}, {'1', big5High},
            {'G', cns1},   {'H', cns2},     {'I', cns3},    {'J', cns4},     {'K', cns5},   {'L', cns6},   {'M', cns7}};
        for (const auto& [f, named] : wide) {
            if (f == final) set = named;
        }
        if (set == setCount) set = unknown94x94;
    } else if (form == '(') {
        set = final == 'B' ? ascii : final == 'J' ? jisRoman : unknown94;
    } else if (form == ')') {
        set = final == 'I' ? katakana : unknown94;
    } else {
        static constexpr std::pair<char, Set> right[] = {
            {'A', latin1},  {'B', latin2}, {'C', latin3}, {'D', latin4}, {'L', cyrillic}, {'G', arabic},
            {'F', greek},   {'H', hebrew}, {'M', latin5}, {'V', latin6}, {'T', thai},      {'Y', latin7},
            {'_', latin8},  {'b', latin9}, {'f', latin10}};
        for (const auto& [f, named] : right) {
            if (f == final) set = named;
        }
        if (set == setCount) set = unknown96;
    }
    if (sets[set].kind == Kind::unknown) undecodable("the set " + escapeName(sequence));
    return set;
}

}  // namespace

std::string CompoundText::add(std::string_view part) {
    std::string out;
    out.reserve(part.size() + 16);
    if (!carried_.empty()) {
        // The held unit needs at most the longest unit's bytes of this part to end; a segment that
        // arrives a byte at a time is appended to, not copied anew.
        const size_t held = carried_.size();
        const size_t taken = std::min(part.size(), heldLimit);
        carried_.append(part.substr(0, taken));
        const size_t used = decode(carried_, false, out);
        if (used < held) {
            carried_.erase(0, used);
            carried_.append(part.substr(taken));  // empty: no unit is longer than what was taken
            return out;
        }
        part.remove_prefix(used - held);
        carried_.clear();
    }
    carried_.assign(part.substr(decode(part, false, out)));
    return out;
}

std::string CompoundText::finish() {
    std::string out;
    decode(std::exchange(carried_, std::string()), true, out);
    return out;
}

size_t CompoundText::decode(std::string_view bytes, bool ended, std::string& out) {
    size_t at = 0;
    while (at < bytes.size()) {
        const auto c = static_cast<uint8_t>(bytes[at]);
        size_t next = at + 1;
        if (c == esc) {
            next = escape(bytes, at, ended, out);
        } else if (utf8_) {
            next = utf8(bytes, at, ended, out);
        } else if (c < 0x80 && (gl_ == ascii || c <= 0x20 || c == 0x7F)) {
            // Controls and the space are themselves whatever the set; ASCII goes as it is.
            if (gl_ == ascii) {
                while (next < bytes.size() && static_cast<uint8_t>(bytes[next]) < 0x80 && bytes[next] != esc) ++next;
            } else {
                while (next < bytes.size() && bytes[next] != esc &&
                       (static_cast<uint8_t>(bytes[next]) <= 0x20 || bytes[next] == 0x7F)) {
                    ++next;
                }
            }
            out.append(bytes.substr(at, next - at));
        } else if (c >= 0x80 && c < 0xA0) {
            // Xlib drops the direction marks (CSI 1 ], CSI 2 ], CSI ]); other controls are themselves.
            if (c == csi) {
                size_t end = at + 1;
                if (end < bytes.size() && (bytes[end] == '1' || bytes[end] == '2')) ++end;
                if (end == bytes.size() && !ended) return at;
                if (end < bytes.size() && bytes[end] == ']') next = end + 1;
            }
            if (next == at + 1) appendCode(out, c);
        } else {
            next = characters(c < 0x80 ? gl_ : gr_, bytes, at, ended, out);
        }
        if (next == at) return at;
        at = next;
    }
    return at;
}

size_t CompoundText::escape(std::string_view bytes, size_t at, bool ended, std::string& out) {
    const auto have = [&](size_t count) { return bytes.size() - at >= count; };
    // What is not an escape sequence, or one the text ends inside, is its bytes, as Xlib has it.
    const auto asBytes = [&] {
        out += static_cast<char>(esc);
        return at + 1;
    };
    const auto unfinished = [&] { return ended ? asBytes() : at; };
    if (!have(2)) return unfinished();
    const char form = bytes[at + 1];
    if (form == '(' || form == ')' || form == '-') {
        if (!have(3)) return unfinished();
        const Set set = designated(bytes.substr(at, 3));
        (form == '(' ? gl_ : gr_) = set;
        return at + 3;
    }
    if (form == '$') {
        if (!have(3)) return unfinished();
        if (bytes[at + 2] != '(' && bytes[at + 2] != ')') return asBytes();
        if (!have(4)) return unfinished();
        const Set set = designated(bytes.substr(at, 4));
        (bytes[at + 2] == '(' ? gl_ : gr_) = set;
        return at + 4;
    }
    if (form != '%') return asBytes();
    if (!have(3)) return unfinished();
    const char kind = bytes[at + 2];
    if (kind == 'G' || kind == '@') {
        utf8_ = kind == 'G';
        return at + 3;
    }
    if (kind != '/') {
        const std::string name = escapeName(bytes.substr(at, 3));
        sayOnce(name, "COMPOUND_TEXT: the coding system " + name + " is not known; the text after it is read as before it");
        return at + 3;
    }
    // An extended segment: its length in two bytes with the high bit set, its encoding's name up to
    // STX, its characters. One the text ends inside is not one.
    if (!have(6)) return unfinished();
    const auto high = static_cast<uint8_t>(bytes[at + 4]);
    const auto low = static_cast<uint8_t>(bytes[at + 5]);
    if (high < 0x80 || low < 0x80) return asBytes();
    const size_t length = size_t(high & 0x7F) * 128 + (low & 0x7F);
    if (!have(6 + length)) return unfinished();
    const char octets = bytes[at + 3];
    std::string_view data = bytes.substr(at + 6, length);
    const size_t stx = data.find('\x02');
    const std::string_view name = stx == std::string_view::npos ? std::string_view() : data.substr(0, stx);
    data.remove_prefix(stx == std::string_view::npos ? data.size() : stx + 1);
    Set set = setCount;
    if (octets == '2' && name == "big5-0") set = big5;
    if (octets == '2' && name == "gbk-0") set = gbk;
    if (octets == '2' && name == "big5hkscs-0") set = hkscs;
    if (octets == '1' && name == "iso8859-14") set = latin8;
    if (octets == '1' && name == "iso8859-15") set = latin9;
    if (set == setCount) {
        undecodable(stx == std::string_view::npos ? std::string("an extended segment without a name")
                                                  : "the extended segment \"" + printable(name) + "\" of form " +
                                                        printable(std::string_view(&octets, 1)));
        // One U+FFFD a character where the segment gives their size, else one for the segment.
        const size_t width = octets >= '1' && octets <= '4' ? size_t(octets - '0') : 0;
        appendReplacements(out, stx == std::string_view::npos ? 1
                                : width                       ? (data.size() + width - 1) / width
                                                              : !data.empty());
        return at + 6 + length;
    }
    const char32_t* codes = tableOf(set);
    for (size_t i = 0; i < data.size();) {
        const auto first = static_cast<uint8_t>(data[i]);
        if (set == latin8 || set == latin9) {
            if (first < 0xA0) appendCode(out, first);
            else if (codes && codes[first - 0xA0]) appendCode(out, codes[first - 0xA0]);
            else out += replacement;
            ++i;
            continue;
        }
        char32_t code = 0;
        if (i + 1 < data.size() && codes && first >= 0x81 && first <= 0xFE && static_cast<uint8_t>(data[i + 1]) >= 0x40) {
            code = codes[(first - 0x81) * pairRow + static_cast<uint8_t>(data[i + 1]) - 0x40];
        }
        if (code) appendCode(out, code);
        else out += replacement;
        i += 2;
    }
    return at + 6 + length;
}

size_t CompoundText::utf8(std::string_view bytes, size_t at, bool ended, std::string& out) {
    size_t next = at;
    while (next < bytes.size()) {
        const auto lead = static_cast<uint8_t>(bytes[next]);
        if (lead == esc) break;
        if (lead < 0x80) {
            size_t end = next + 1;
            while (end < bytes.size() && static_cast<uint8_t>(bytes[end]) < 0x80 && bytes[end] != esc) ++end;
            out.append(bytes.substr(next, end - next));
            next = end;
            continue;
        }
        const size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        // A broken sequence loses its longest valid start, as UTF-8 decoders agree.
        size_t valid = 1;
        for (; valid < length; ++valid) {
            if (next + valid == bytes.size()) {
                if (!ended) return next;
                break;
            }
            const auto byte = static_cast<uint8_t>(bytes[next + valid]);
            uint8_t lowest = 0x80, highest = 0xBF;
            if (valid == 1) {
                if (lead == 0xE0) lowest = 0xA0;
                if (lead == 0xED) highest = 0x9F;
                if (lead == 0xF0) lowest = 0x90;
                if (lead == 0xF4) highest = 0x8F;
            }
            if (byte < lowest || byte > highest) break;
        }
        if (length && valid == length) out.append(bytes.substr(next, length));
        else out += replacement;
        next += valid;
    }
    return next;
}

size_t CompoundText::characters(uint8_t setIndex, std::string_view bytes, size_t at, bool ended, std::string& out) {
    const auto set = static_cast<Set>(setIndex);
    const Kind kind = sets[set].kind;
    const char32_t* codes = tableOf(set);
    const bool wide = kind == Kind::table94x94 || kind == Kind::pairs || set == unknown94x94;
    // This half's characters: 0x21-0x7E on the left, 0xA0-0xFF on the right; a two-byte one has
    // both bytes graphic (0xA0 and 0xFF are not) and of the same half, else its first is lost alone.
    const bool left = static_cast<uint8_t>(bytes[at]) < 0x80;
    const auto inHalf = [left](uint8_t byte) { return left ? byte >= 0x21 && byte <= 0x7E : byte >= 0xA0; };
    const auto graphic = [left](uint8_t byte) { return left ? byte >= 0x21 && byte <= 0x7E : byte >= 0xA1 && byte <= 0xFE; };
    size_t next = at;
    while (next < bytes.size() && inHalf(static_cast<uint8_t>(bytes[next]))) {
        const auto c = static_cast<uint8_t>(bytes[next]);
        char32_t code = 0;
        if (!wide) {
            switch (kind) {
                case Kind::ascii:
                case Kind::latin1: code = c; break;
                case Kind::jisRoman: code = c == 0x5C ? 0xA5 : c == 0x7E ? 0x203E : c; break;
                case Kind::katakana: code = c >= 0xA1 && c <= 0xDF ? 0xFF61 + (c - 0xA1) : 0; break;
                case Kind::table96: code = codes ? codes[c - 0xA0] : 0; break;
                case Kind::table94x94:
                case Kind::pairs:
                case Kind::unknown: break;
            }
            ++next;
        } else if (!graphic(c)) {
            ++next;
        } else if (next + 1 == bytes.size() && !ended) {
            return next;
        } else if (next + 1 == bytes.size() || !graphic(static_cast<uint8_t>(bytes[next + 1]))) {
            ++next;
        } else {
            const size_t index = size_t((c & 0x7F) - 0x21) * 94 + ((bytes[next + 1] & 0x7F) - 0x21);
            if (codes) code = set == big5Low || set == big5High ? big5Half(codes, set, index) : codes[index];
            next += 2;
        }
        if (code) appendCode(out, code);
        else out += replacement;
    }
    return next;
}

}  // namespace platform::ui::gtk
