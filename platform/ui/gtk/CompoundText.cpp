#include "platform/ui/gtk/CompoundText.h"

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace platform::ui::gtk {

namespace {

constexpr char esc = 0x1B;
constexpr unsigned char csi = 0x9B;
constexpr std::string_view replacement = "\xEF\xBF\xBD";
// An escape or control sequence longer than this is broken: its first byte is dropped.
constexpr size_t sequenceLimit = 8;

void appendCodePoint(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The converter name of an ISO 8859 set by its final byte in ESC - F.
const char* ninetySixSet(char final) {
    switch (final) {
        case 'B': return "ISO-8859-2";
        case 'C': return "ISO-8859-3";
        case 'D': return "ISO-8859-4";
        case 'L': return "ISO-8859-5";
        case 'G': return "ISO-8859-6";
        case 'F': return "ISO-8859-7";
        case 'H': return "ISO-8859-8";
        case 'M': return "ISO-8859-9";
        case 'V': return "ISO-8859-10";
        case 'T': return "TIS-620";
        case 'Y': return "ISO-8859-13";
        case '_': return "ISO-8859-14";
        case 'b': return "ISO-8859-15";
        case 'f': return "ISO-8859-16";
        default: return nullptr;
    }
}

// The two-byte sets, read as their EUC forms (both bytes with the high bit set).
const char* doubleByteSet(char final) {
    switch (final) {
        case 'A': return "EUC-CN";
        case 'B': return "EUC-JP";
        case 'C': return "EUC-KR";
        default: return nullptr;
    }
}

}  // namespace

CompoundText::CompoundText() = default;
CompoundText::~CompoundText() {
    for (const auto& [charset, converter] : converters_) g_iconv_close(converter);
}

std::string CompoundText::add(std::string_view part) {
    std::string out;
    std::string joined;
    std::string_view bytes = part;
    if (!carried_.empty()) {
        joined = std::exchange(carried_, std::string()) + std::string(part);
        bytes = joined;
    }
    size_t at = 0;
    while (at < bytes.size() && step(bytes, at, out)) {
    }
    carried_ = std::string(bytes.substr(at));
    flushRun(out);
    return out;
}

std::string CompoundText::finish() {
    if (carried_.empty()) return {};
    carried_.clear();
    return std::string(replacement);
}

bool CompoundText::step(std::string_view bytes, size_t& at, std::string& out) {
    const auto c = static_cast<unsigned char>(bytes[at]);
    if (c == esc) return escape(bytes, at);
    if (utf8_) {
        size_t end = bytes.find(esc, at);
        if (end == std::string_view::npos) end = bytes.size();
        out.append(bytes.substr(at, end - at));
        at = end;
        return true;
    }
    if (c == csi) {
        // Direction marks: dropped whole.
        size_t end = at + 1;
        while (end < bytes.size() && end - at < sequenceLimit && (bytes[end] < 0x40 || bytes[end] > 0x7E)) ++end;
        if (end == bytes.size() && end - at < sequenceLimit) return false;
        at = end - at < sequenceLimit ? end + 1 : at + 1;
        return true;
    }
    if (c == '\t' || c == '\n' || c == ' ' || (c > ' ' && c < 0x7F && gl_.kind == Set::Kind::ascii)) {
        flushRun(out);
        size_t end = at + 1;
        if (gl_.kind == Set::Kind::ascii) {
            while (end < bytes.size() && bytes[end] >= ' ' && bytes[end] < 0x7F) ++end;
        }
        out.append(bytes.substr(at, end - at));
        at = end;
        return true;
    }
    if (c < ' ' || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
        ++at;
        return true;
    }
    const Set& set = c < 0x80 ? gl_ : gr_;
    const size_t width = set.kind == Set::Kind::doubleByte ? 2 : 1;
    if (bytes.size() - at < width) return false;
    character(set, bytes.substr(at, width), out);
    at += width;
    return true;
}

bool CompoundText::escape(std::string_view bytes, size_t& at) {
    size_t end = at + 1;
    while (end < bytes.size() && end - at < sequenceLimit && bytes[end] >= 0x20 && bytes[end] <= 0x2F) ++end;
    if (end == bytes.size() && end - at < sequenceLimit) return false;
    if (end - at >= sequenceLimit || bytes[end] < 0x30 || bytes[end] > 0x7E) {
        ++at;
        return true;
    }
    const std::string_view middle = bytes.substr(at + 1, end - at - 1);
    const char final = bytes[end];
    size_t next = end + 1;
    if (middle == "(") {
        gl_ = final == 'B' || final == 'J' ? Set{} : final == 'I' ? Set{Set::Kind::single, "JIS_X0201"} : Set{Set::Kind::unknown};
    } else if (middle == ")") {
        gr_ = final == 'I' ? Set{Set::Kind::single, "JIS_X0201"} : Set{Set::Kind::unknown};
    } else if (middle == "-") {
        const char* charset = ninetySixSet(final);
        gr_ = final == 'A' ? Set{Set::Kind::latin1} : Set{charset ? Set::Kind::single : Set::Kind::unknown, charset};
    } else if (middle == "$(" || middle == "$)" || (middle == "$" && final >= '@' && final <= 'B')) {
        (middle == "$)" ? gr_ : gl_) = Set{Set::Kind::doubleByte, doubleByteSet(final)};
    } else if (middle == "%") {
        if (final == 'G') utf8_ = true;
        if (final == '@') utf8_ = false;
    } else if (middle == "%/") {
        // A segment of a named encoding with its length in two bytes: skipped whole.
        if (bytes.size() - next < 2) return false;
        const size_t length = size_t(static_cast<unsigned char>(bytes[next]) & 0x7F) * 128 +
                              (static_cast<unsigned char>(bytes[next + 1]) & 0x7F);
        if (bytes.size() - next - 2 < length) return false;
        next += 2 + length;
    }
    at = next;
    return true;
}

void CompoundText::character(const Set& set, std::string_view bytes, std::string& out) {
    switch (set.kind) {
        case Set::Kind::ascii:
            flushRun(out);
            out += static_cast<char>(bytes[0] & 0x7F);
            return;
        case Set::Kind::latin1:
            flushRun(out);
            appendCodePoint(out, static_cast<unsigned char>(bytes[0]) | 0x80);
            return;
        case Set::Kind::single:
        case Set::Kind::doubleByte:
            if (!set.charset) break;
            if (runCharset_ != set.charset) flushRun(out);
            runCharset_ = set.charset;
            for (const char byte : bytes) run_ += static_cast<char>(byte | 0x80);
            return;
        case Set::Kind::unknown: break;
    }
    flushRun(out);
    out += replacement;
}

void CompoundText::flushRun(std::string& out) {
    if (run_.empty()) return;
    // Opening a converter costs far more than a short run: each set's is opened once.
    auto found = std::find_if(converters_.begin(), converters_.end(), [&](const auto& entry) { return entry.first == runCharset_; });
    if (found == converters_.end()) {
        converters_.emplace_back(runCharset_, g_iconv_open("UTF-8", runCharset_));
        found = converters_.end() - 1;
    }
    const GIConv converter = found->second;
    const size_t width = std::string_view(runCharset_).substr(0, 4) == "EUC-" ? 2 : 1;
    if (converter == reinterpret_cast<GIConv>(-1)) {
        for (size_t at = 0; at < run_.size(); at += width) out += replacement;
        run_.clear();
        return;
    }
    gchar* in = run_.data();
    gsize inLeft = run_.size();
    std::string converted(run_.size() * 3 + 4, '\0');
    while (inLeft > 0) {
        gchar* to = converted.data();
        gsize toLeft = converted.size();
        const gsize done = g_iconv(converter, &in, &inLeft, &to, &toLeft);
        out.append(converted.data(), converted.size() - toLeft);
        if (done != static_cast<gsize>(-1)) break;
        // A character the set does not have: only it is lost.
        if (errno == EILSEQ || errno == EINVAL) {
            const gsize skip = std::min<gsize>(width, inLeft);
            in += skip;
            inLeft -= skip;
            out += replacement;
        } else if (errno != E2BIG) {
            break;
        }
    }
    g_iconv(converter, nullptr, nullptr, nullptr, nullptr);
    run_.clear();
}

}  // namespace platform::ui::gtk
