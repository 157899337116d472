#include "quiltdeck/panels/JobLines.h"

#include "quiltdeck/shell/Shorten.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

constexpr char32_t escape = 0x1B;

bool isStringIntroducer(char32_t c) { return c == ']' || c == 'P' || c == '_' || c == '^' || c == 'X'; }
bool isC1StringIntroducer(char32_t c) { return c == 0x9D || c == 0x90 || c == 0x9F || c == 0x9E || c == 0x98; }

// Past the parameters, intermediates and final byte of a control sequence; a
// character that cannot belong to it ends it there.
size_t skipControlSequence(std::u32string_view s, size_t i) {
    while (i < s.size() && s[i] >= 0x20 && s[i] <= 0x3F) ++i;
    if (i < s.size() && s[i] >= 0x40 && s[i] <= 0x7E) ++i;
    return i;
}

// Past a command string (OSC, DCS, APC, PM, SOS) and its terminator: BEL, ST
// or ESC "\"; unterminated, it runs to the end of the line.
size_t skipCommandString(std::u32string_view s, size_t i) {
    for (; i < s.size(); ++i) {
        if (s[i] == 0x07 || s[i] == 0x9C) return i + 1;
        if (s[i] == escape && i + 1 < s.size() && s[i + 1] == '\\') return i + 2;
    }
    return i;
}

bool isControl(char32_t c) { return (c < 0x20 && c != '\t') || (c >= 0x7F && c <= 0x9F); }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// How many bytes at the end of `bytes` start a UTF-8 sequence that the next
// read has yet to finish.
size_t cutSequenceLength(std::string_view bytes) {
    const size_t from = bytes.size() > 3 ? bytes.size() - 3 : 0;
    for (size_t start = from; start < bytes.size(); ++start) {
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data()) + start;
        if (vantel::utf8::isContinuationByte(*data)) continue;
        const auto sequence = vantel::utf8::decode(data, bytes.size() - start);
        if (sequence.isCut()) return bytes.size() - start;
    }
    return 0;
}

bool isHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

bool validAuthority(std::string_view authority) {
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (authority.starts_with('[')) {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos || close < 2) return false;
        authority.remove_prefix(close + 1);
        if (authority.empty()) return true;
        if (authority.front() != ':') return false;
        authority.remove_prefix(1);
        return authority.find_first_not_of("0123456789") == std::string_view::npos;
    }
    const size_t colon = authority.find(':');
    const std::string_view host = authority.substr(0, colon);
    if (host.empty() || host.front() == '.' || host.front() == '-') return false;
    for (const char c : host) {
        if (!isHostCharacter(c)) return false;
    }
    if (colon == std::string_view::npos) return true;
    return authority.substr(colon + 1).find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::string JobLines::clean(std::string_view bytes) {
    const std::u32string text = vantel::fromUtf8(bytes);
    const std::u32string_view s = text;
    std::u32string kept;
    kept.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const char32_t c = s[i];
        if (c == escape) {
            if (i + 1 >= s.size()) break;
            const char32_t next = s[i + 1];
            if (next == '[') {
                i = skipControlSequence(s, i + 2);
            } else if (isStringIntroducer(next)) {
                i = skipCommandString(s, i + 2);
            } else {
                size_t j = i + 1;
                while (j < s.size() && s[j] >= 0x20 && s[j] <= 0x2F) ++j;
                if (j < s.size() && s[j] >= 0x30 && s[j] <= 0x7E) ++j;
                i = j;
            }
            continue;
        }
        if (c == 0x9B) {
            i = skipControlSequence(s, i + 1);
            continue;
        }
        if (isC1StringIntroducer(c)) {
            i = skipCommandString(s, i + 1);
            continue;
        }
        if (!isControl(c)) kept += c;
        ++i;
    }
    return std::string(trimBlanks(vantel::toUtf8(kept)));
}

std::optional<std::string> JobLines::loginURL(std::string_view line) {
    const size_t start = line.find("https://");
    if (start == std::string_view::npos) return std::nullopt;
    std::string_view url = line.substr(start);
    size_t end = 0;
    while (end < url.size() && !isBlank(url[end]) && static_cast<unsigned char>(url[end]) >= 0x20 && url[end] != 0x7F)
        ++end;
    url = url.substr(0, end);
    if (url.size() > maxURL) return std::nullopt;
    const std::string_view rest = url.substr(8);
    if (!validAuthority(rest.substr(0, rest.find_first_of("/?#")))) return std::nullopt;
    return std::string(url);
}

void JobLines::emit(std::string_view bytes, std::vector<std::string>& into) {
    std::string line = clean(bytes);
    if (!line.empty()) into.push_back(std::move(line));
}

std::vector<std::string> JobLines::absorb(std::string_view bytes) {
    std::vector<std::string> lines;
    pending_.append(bytes);
    size_t start = 0;
    for (size_t separator; (separator = pending_.find_first_of("\r\n", start)) != std::string::npos;) {
        emit(std::string_view(pending_).substr(start, separator - start), lines);
        start = separator + 1;
    }
    pending_.erase(0, start);
    // A line with no end in sight is shown in pieces, each cut between characters.
    while (pending_.size() > maxLine) {
        const size_t cut = prefixWithin(pending_, maxLine).size();
        emit(std::string_view(pending_).substr(0, cut), lines);
        pending_.erase(0, cut);
    }
    if (pending_.find('>') != std::string::npos) {
        const size_t whole = pending_.size() - cutSequenceLength(pending_);
        std::string shown = clean(std::string_view(pending_).substr(0, whole));
        if (shown.find('>') != std::string::npos) {
            lines.push_back(std::move(shown));
            pending_.erase(0, whole);
        }
    }
    return lines;
}

std::vector<std::string> JobLines::finish() {
    std::vector<std::string> lines;
    emit(pending_, lines);
    pending_.clear();
    return lines;
}

}  // namespace quiltdeck
