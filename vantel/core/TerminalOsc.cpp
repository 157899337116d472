// OSC commands: directory, document, hyperlinks, clipboard, notifications, progress, inline files.
#include <algorithm>
#include <charconv>
#include <map>

#include "vantel/core/Base64.h"
#include "vantel/core/Terminal.h"
#include "vantel/core/TextUtil.h"

namespace vantel {

namespace {

std::string_view asText(std::span<const uint8_t> data) {
    return std::string_view(reinterpret_cast<const char*>(data.data()), data.size());
}

bool isAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<uint8_t>(c) > 0x7F) return false;
    }
    return true;
}

// Splits at every separator, keeping empty fields.
std::vector<std::string_view> splitKeepingEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        fields.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) return fields;
        start = at + 1;
    }
}


using KeyValues = std::map<std::string, std::string, std::less<>>;

// key=value segments separated by ";"; reading stops at the first malformed segment.
KeyValues parseKeyValues(std::string_view text) {
    KeyValues values;
    for (std::string_view segment : splitKeepingEmpty(text, ';')) {
        const size_t equals = segment.find('=');
        if (segment.empty() || equals == std::string_view::npos) break;
        std::string_view key = segment.substr(0, equals);
        std::string_view value = segment.substr(equals + 1);
        if (!isValidUtf8(key) || !isValidUtf8(value)) break;
        values.insert_or_assign(std::string(key), std::string(value));
    }
    return values;
}

// A number in 1...high gives its request; one past high (even past 64 bits) is too large, and anything
// else (not a number, 0, negative) asks for the natural size.
ImageSizeRequest boundedDimension(std::string_view number, int64_t high, ImageSizeRequest (*make)(int)) {
    const std::optional<int64_t> n = text::parseInteger(number);
    if (n && *n >= 1 && *n <= high) return make(static_cast<int>(*n));
    if (n) return *n > high ? ImageSizeRequest::tooLarge() : ImageSizeRequest::automatic();
    std::string_view digits = number.starts_with('+') ? number.substr(1) : number;
    const bool overflowing =
        !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    return overflowing ? ImageSizeRequest::tooLarge() : ImageSizeRequest::automatic();
}

ImageSizeRequest parseDimension(const KeyValues& args, std::string_view key) {
    auto found = args.find(key);
    if (found == args.end() || found->second == "auto") return ImageSizeRequest::automatic();
    std::string_view value = found->second;
    if (value.ends_with('%')) return boundedDimension(value.substr(0, value.size() - 1), 100, ImageSizeRequest::percent);
    if (value.ends_with("px")) return boundedDimension(value.substr(0, value.size() - 2), 4095, ImageSizeRequest::pixels);
    return boundedDimension(value, 199, ImageSizeRequest::cells);
}

}  // namespace

void Terminal::oscSetCurrentDocument(std::span<const uint8_t> data) {
    if (!tdel_ || !tdel_->isProcessTrusted(*this)) return;
    // ASCII is a subset of UTF-8, so text that is not UTF-8 is not ASCII either.
    std::string_view text = asText(data);
    if (!isValidUtf8(text)) return;
    hostCurrentDocument = std::string(text);
    tdel_->hostCurrentDocumentUpdated(*this);
}

void Terminal::oscSetCurrentDirectory(std::span<const uint8_t> data) {
    if (!tdel_ || !tdel_->isProcessTrusted(*this)) return;
    std::string_view text = asText(data);
    if (!isValidUtf8(text)) return;
    hostCurrentDirectory = std::string(text);
    tdel_->hostCurrentDirectoryUpdated(*this);
}

void Terminal::oscHyperlink(std::span<const uint8_t> data) {
    std::string_view text = asText(data);
    if (text == ";") {
        activeHyperlink.reset();
        return;
    }
    ActiveHyperlink link;
    link.kind = ActiveHyperlink::Kind::pending;
    if (isAscii(text)) link.uri = std::string(text);
    activeHyperlink = std::move(link);
}

std::optional<std::string> Terminal::parseHyperlinkPayload(std::string_view payload) {
    const size_t semicolon = payload.find(';');
    if (semicolon == std::string_view::npos) return std::nullopt;
    return std::string(payload.substr(semicolon + 1));
}

void Terminal::oscClipboard(std::span<const uint8_t> data) {
    std::string_view text = asText(data);
    const size_t semicolon = text.find(';');
    if (semicolon == std::string_view::npos) return;
    std::string_view selection = text.substr(0, semicolon);
    if (selection.empty() || !isAscii(selection)) selection = "c";
    std::string_view content = text.substr(semicolon + 1);
    if (content == "?") {
        if (!tdel_) return;
        auto clipboard = tdel_->clipboardRead(*this);
        if (!clipboard) return;
        sendResponseParts(osc(), "52;", selection, ";", Base64::encode(*clipboard), st());
        return;
    }
    auto decoded = Base64::decode(content);
    if (!decoded) return;
    if (tdel_) tdel_->clipboardCopy(*this, decoded.bytes);
}

void Terminal::oscNotification(std::span<const uint8_t> data) {
    std::string_view text = asText(data);
    if (!isValidUtf8(text)) return;
    auto parts = splitKeepingEmpty(text, ';');
    if (parts.size() < 3 || parts[0] != "notify") return;
    // The body may itself contain ";": everything after the title.
    const size_t bodyStart = parts[0].size() + parts[1].size() + 2;
    if (tdel_) tdel_->notify(*this, std::string(parts[1]), std::string(text.substr(bodyStart)));
}

std::optional<ProgressReport> Terminal::parseProgressReport(std::span<const uint8_t> data) {
    std::string_view text = asText(data);
    if (!isAscii(text)) return std::nullopt;
    auto fields = splitKeepingEmpty(text, ';');
    if (fields.size() < 2 || fields[0] != "4") return std::nullopt;
    if (fields[1].size() != 1 || fields[1][0] < '0' || fields[1][0] > '4') return std::nullopt;
    ProgressReport report;
    report.state = static_cast<ProgressReport::State>(fields[1][0] - '0');
    std::optional<int64_t> amount;
    if (fields.size() > 2 && !fields[2].empty()) {
        amount = text::parseInteger(fields[2]);
        if (!amount) return std::nullopt;
    }
    auto clamped = [](int64_t n) { return static_cast<uint8_t>(std::clamp<int64_t>(n, 0, 100)); };
    switch (report.state) {
    case ProgressReport::State::remove: break;
    case ProgressReport::State::set: report.progress = amount ? clamped(*amount) : 0; break;
    default:
        if (amount) report.progress = clamped(*amount);
        break;
    }
    return report;
}

void Terminal::osciTerm2(std::span<const uint8_t> data) {
    std::string_view text = asText(data);
    const size_t equals = text.find('=');
    if (text.empty() || equals == std::string_view::npos) return;
    std::string_view key = text.substr(0, equals);
    if (!isValidUtf8(key)) return;
    if (key != "File") {
        if (tdel_) tdel_->iTermContent(*this, data);
        return;
    }
    const size_t colon = text.find(':', equals + 1);
    if (colon == std::string_view::npos) return;
    const KeyValues args = parseKeyValues(text.substr(equals + 1, colon - equals - 1));
    auto inlineFlag = args.find("inline");
    if (args.empty() || inlineFlag == args.end() || inlineFlag->second != "1") {
        if (tdel_) tdel_->iTermContent(*this, data);
        return;
    }
    auto decoded = Base64::decode(text.substr(colon + 1));
    if (!decoded) return;
    auto preserve = args.find("preserveAspectRatio");
    const bool preserveAspectRatio = preserve == args.end() || preserve->second == "1";
    if (tdel_) {
        tdel_->createImage(*this, decoded.bytes, parseDimension(args, "width"), parseDimension(args, "height"),
                           preserveAspectRatio);
    }
}

void Terminal::oscSetTitle(int code, std::span<const uint8_t> data) {
    std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    std::string title = isValidUtf8(text) ? std::string(text) : std::string();
    if (code == 1) {
        iconTitle = title;
        if (tdel_) tdel_->setTerminalIconTitle(*this, iconTitle);
    } else {
        terminalTitle = title;
        if (tdel_) tdel_->setTerminalTitle(*this, terminalTitle);
    }
}

}  // namespace vantel
