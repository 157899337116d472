#include "quiltdeck/sessions/JsonReader.h"

#include <locale.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The four hex digits at `at`, or -1.
int32_t fourHexDigits(std::string_view text, size_t at) {
    if (text.size() - at < 4) return -1;
    int32_t value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0) return -1;
        value = value << 4 | digit;
    }
    return value;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Numbers are read with a point whatever the interface language's locale says.
locale_t cLocale() {
    static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

}  // namespace

JsonReader::JsonReader(std::string_view text, int nestingLimit) : text_(text), nestingLimit_(nestingLimit) {
    // A byte-order mark before the value is no part of it.
    if (text_.starts_with("\xEF\xBB\xBF")) at_ = 3;
}

void JsonReader::skipWhiteSpace() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t')) ++at_;
}

void JsonReader::fail(const std::string& what) {
    if (error_.empty()) error_ = what;
}

void JsonReader::unexpected() {
    if (at_ >= text_.size()) return fail("the text ends too soon, at byte " + std::to_string(text_.size()));
    const auto c = static_cast<unsigned char>(text_[at_]);
    static constexpr char hex[] = "0123456789ABCDEF";
    const std::string shown = c > 0x20 && c < 0x7F ? std::string("'") + static_cast<char>(c) + "'"
                                                   : std::string("byte 0x") + hex[c >> 4] + hex[c & 0xF];
    fail("unexpected " + shown + " at byte " + std::to_string(at_));
}

JsonReader::Kind JsonReader::peek() {
    if (failed()) return Kind::none;
    skipWhiteSpace();
    if (at_ < text_.size()) {
        switch (text_[at_]) {
        case '{': return Kind::object;
        case '[': return Kind::array;
        case '"': return Kind::string;
        case 't':
        case 'f': return Kind::boolean;
        case 'n': return Kind::null;
        default:
            if (text_[at_] == '-' || isDigit(text_[at_])) return Kind::number;
        }
    }
    unexpected();
    return Kind::none;
}

bool JsonReader::literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) {
        unexpected();
        return false;
    }
    at_ += word.size();
    return true;
}

bool JsonReader::boolean() {
    if (at_ < text_.size() && text_[at_] == 't') return literal("true");
    literal("false");
    return false;
}

size_t JsonReader::numberEnd() {
    const auto digit = [&](size_t i) { return i < text_.size() && isDigit(text_[i]); };
    const auto faultAt = [&](size_t i) {
        at_ = i;
        unexpected();
        return text_.size();
    };
    size_t i = at_;
    if (text_[i] == '-') ++i;
    if (!digit(i)) return faultAt(i);
    if (text_[i] == '0') ++i;
    else while (digit(i)) ++i;
    if (i < text_.size() && text_[i] == '.') {
        if (!digit(++i)) return faultAt(i);
        while (digit(i)) ++i;
    }
    if (i < text_.size() && (text_[i] == 'e' || text_[i] == 'E')) {
        ++i;
        if (i < text_.size() && (text_[i] == '+' || text_[i] == '-')) ++i;
        if (!digit(i)) return faultAt(i);
        while (digit(i)) ++i;
    }
    return i;
}

std::optional<double> JsonReader::number() {
    const size_t start = at_;
    const size_t end = numberEnd();
    if (failed()) return std::nullopt;
    at_ = end;
    const std::string digits(text_.substr(start, end - start));
    const double value = ::strtod_l(digits.c_str(), nullptr, cLocale());
    // Too small a number is read as zero, as it would be written; too large a one is lost.
    if (std::isinf(value)) return std::nullopt;
    return value;
}

bool JsonReader::string(std::string& out) { return quoted(&out); }

// Without `out` the string is only passed: its content does not matter, only where it ends.
bool JsonReader::quoted(std::string* out) {
    ++at_;
    if (out) out->clear();
    bool whole = true;
    size_t run = at_;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text_.data());
    while (at_ < text_.size()) {
        const uint8_t c = bytes[at_];
        if (c != '"' && c != '\\' && (!out || (c >= 0x20 && c < 0x80))) {
            ++at_;
            continue;
        }
        if (out) out->append(text_.substr(run, at_ - run));
        if (c == '"') {
            ++at_;
            return whole;
        }
        if (c == '\\') {
            whole = escape(out) && whole;
        } else if (c < 0x20) {
            whole = false;
            ++at_;
        } else {
            const vantel::utf8::Sequence sequence = vantel::utf8::decode(bytes + at_, text_.size() - at_);
            if (sequence.isScalar()) out->append(text_.substr(at_, sequence.length));
            else whole = false;
            at_ += std::max<size_t>(sequence.length, 1);
        }
        run = at_;
    }
    fail("the text ends inside a string, at byte " + std::to_string(text_.size()));
    return false;
}

// False for an escape that stands for no character (an unknown letter, a \u without four digits).
bool JsonReader::escape(std::string* out) {
    if (at_ + 1 >= text_.size()) {
        at_ = text_.size();
        return false;  // the string's own end is missing: told by the caller
    }
    const char letter = text_[at_ + 1];
    at_ += 2;
    if (!out) return true;
    switch (letter) {
    case '"': *out += '"'; return true;
    case '\\': *out += '\\'; return true;
    case '/': *out += '/'; return true;
    case 'b': *out += '\b'; return true;
    case 'f': *out += '\f'; return true;
    case 'n': *out += '\n'; return true;
    case 'r': *out += '\r'; return true;
    case 't': *out += '\t'; return true;
    case 'u': break;
    default: return false;
    }
    const int32_t unit = fourHexDigits(text_, at_);
    if (unit < 0) return false;
    at_ += 4;
    if (unit < 0xD800 || unit > 0xDFFF) {
        appendUtf8(*out, static_cast<char32_t>(unit));
        return true;
    }
    // A high surrogate counts only with the low one right after it. Half a pair, as JSON.stringify
    // writes half an emoji, is a replacement character: the rest of the string stays.
    const int32_t low = unit <= 0xDBFF && text_.substr(at_, 2) == "\\u" ? fourHexDigits(text_, at_ + 2) : -1;
    if (low < 0xDC00 || low > 0xDFFF) {
        appendUtf8(*out, U'\uFFFD');
        return true;
    }
    at_ += 6;
    appendUtf8(*out, 0x10000 + (static_cast<char32_t>(unit - 0xD800) << 10) + static_cast<char32_t>(low - 0xDC00));
    return true;
}

void JsonReader::skip() {
    switch (peek()) {
    case Kind::null: literal("null"); return;
    case Kind::boolean: boolean(); return;
    case Kind::number: {
        const size_t end = numberEnd();
        if (!failed()) at_ = end;
        return;
    }
    case Kind::string: quoted(nullptr); return;
    case Kind::array:
        enterArray();
        while (nextElement()) skip();
        return;
    case Kind::object: {
        enterObject();
        std::string key;
        bool readable = true;
        while (nextMember(key, readable)) skip();
        return;
    }
    case Kind::none: return;
    }
}

void JsonReader::enter(char open) {
    if (failed()) return;
    skipWhiteSpace();
    if (at_ >= text_.size() || text_[at_] != open) return unexpected();
    // Past the limit copying, comparing or printing what was read would recurse too deep.
    if (++depth_ > nestingLimit_) return fail("nested deeper than " + std::to_string(nestingLimit_) + " levels");
    ++at_;
    first_ = true;
}

void JsonReader::enterArray() { enter('['); }
void JsonReader::enterObject() { enter('{'); }

bool JsonReader::next(char close) {
    if (failed()) return false;
    skipWhiteSpace();
    if (at_ < text_.size() && text_[at_] == close) {
        ++at_;
        --depth_;
        first_ = false;
        return false;
    }
    if (first_) {
        first_ = false;
        return true;
    }
    if (at_ < text_.size() && text_[at_] == ',') {
        ++at_;
        return true;
    }
    unexpected();
    return false;
}

bool JsonReader::nextElement() { return next(']'); }

bool JsonReader::nextMember(std::string& key, bool& keyReadable) {
    if (!next('}')) return false;
    skipWhiteSpace();
    if (at_ >= text_.size() || text_[at_] != '"') {
        unexpected();
        return false;
    }
    keyReadable = quoted(&key);
    skipWhiteSpace();
    if (failed() || at_ >= text_.size() || text_[at_] != ':') {
        unexpected();
        return false;
    }
    ++at_;
    return true;
}

bool JsonReader::finish() {
    if (failed()) return false;
    skipWhiteSpace();
    if (at_ == text_.size()) return true;
    unexpected();
    return false;
}

}  // namespace quiltdeck
