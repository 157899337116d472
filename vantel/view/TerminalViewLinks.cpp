#include <algorithm>
#include <any>
#include <cctype>

#include "platform/runtime/LocalPaths.h"
#include "platform/runtime/SystemLog.h"
#include "platform/ui/LinkPolicy.h"
#include "platform/ui/Workspace.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

namespace {

// Pieces of the text between separators, empty ones dropped.
std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

// A URL with a scheme: letters, digits, "+", "-" and "." after a first letter, then ":", and no
// character that a URL cannot hold.
bool hasScheme(std::string_view text) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    for (size_t i = 1; i < colon; ++i) {
        char c = text[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
    }
    for (unsigned char c : text) {
        if (c <= 0x20 || c == 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' ||
            c == '{' || c == '|' || c == '}') {
            return false;
        }
    }
    return true;
}

// A file URL: the path percent-encoded where a URL path cannot hold it as it stands.
std::string fileURL(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::string_view("/-._~!$&'()*+,;=:@").find(static_cast<char>(c)) != std::string_view::npos) {
            url.push_back(static_cast<char>(c));
        } else {
            url.push_back('%');
            url.push_back(hex[c >> 4]);
            url.push_back(hex[c & 15]);
        }
    }
    return url;
}

// Where a ":line" or ":line:column" suffix starts, if the text ends in one.
std::optional<size_t> lineSuffixStart(const std::string& text) {
    auto digitsBefore = [&](size_t end) {
        while (end > 0 && std::isdigit(static_cast<unsigned char>(text[end - 1]))) --end;
        return end;
    };
    size_t digits = digitsBefore(text.size());
    if (digits == text.size() || digits == 0 || text[digits - 1] != ':') return std::nullopt;
    size_t colon = digits - 1;
    size_t lineDigits = digitsBefore(colon);
    if (lineDigits < colon && lineDigits > 0 && text[lineDigits - 1] == ':') return lineDigits - 1;
    return colon;
}

}  // namespace

void TerminalView::payloadCodesUsedUp(Terminal& source) {
    platform::runtime::SystemLog::writeRefusal(
        platform::runtime::LogLevel::error, "links", "link codes used up",
        "the " + std::to_string(source.options().maximumPayloadCodes) +
            " link codes a terminal may hold are all on its lines: new links print as plain text until some leave");
}

std::optional<TerminalView::LinkPayload> TerminalView::urlAndParamsFrom(std::string_view payload) {
    size_t semicolon = payload.find(';');
    if (semicolon == std::string_view::npos) return std::nullopt;
    LinkPayload result;
    // The URL is everything after the first ";": a URL may hold semicolons of its own.
    result.url = std::string(payload.substr(semicolon + 1));
    for (std::string_view pair : splitDroppingEmpty(payload.substr(0, semicolon), ':')) {
        std::vector<std::string_view> keyValue = splitDroppingEmpty(pair, '=');
        if (keyValue.size() == 2) result.params[std::string(keyValue[0])] = std::string(keyValue[1]);
    }
    return result;
}

std::optional<std::string> TerminalView::payloadString(Position at) {
    Buffer& buffer = terminal_->buffer();
    if (at.row < 0 || at.row >= buffer.lines().count()) return std::nullopt;
    BufferLine& line = buffer.lines()[at.row];
    const int last = std::min(terminal_->cols() - 1, line.count() - 1);
    if (last < 0) return std::nullopt;
    auto stringAt = [&](int col) -> std::optional<std::string> {
        const CharData& cell = line[col];
        if (cell.payload.code == 0) return std::nullopt;
        std::any value = cell.payload.target();
        if (const auto* text = std::any_cast<std::string>(&value)) return *text;
        return std::nullopt;
    };
    const int col = std::clamp(at.col, 0, last);
    if (line[col].payload.code != 0) return stringAt(col);
    // The right half of a wide character: its left half carries the payload.
    if (line[col].code == 0 && col > 0) return stringAt(col - 1);
    return std::nullopt;
}

std::optional<TerminalView::LinkPayload> TerminalView::linkForClick(Position at, bool hasCommandModifier) {
    const bool implicitAllowed = (settings_.linkHighlightMode == LinkHighlightMode::hover ||
                                  (settings_.linkHighlightMode == LinkHighlightMode::hoverWithModifier && hasCommandModifier)) &&
                                 linkHighlightRange_.has_value();
    Buffer& buffer = terminal_->buffer();
    if (at.row < 0 || at.row >= buffer.lines().count()) return std::nullopt;
    const auto match = terminal_->linkMatch(Terminal::LinkLookupLocation::buffer(at),
                                            implicitAllowed ? Terminal::LinkLookupMode::explicitAndImplicit
                                                            : Terminal::LinkLookupMode::explicitOnly);
    if (!match) return std::nullopt;
    bool passes = false;
    switch (settings_.linkHighlightMode) {
    case LinkHighlightMode::hover: passes = linkHighlightRange_ && match->rowRanges == *linkHighlightRange_; break;
    case LinkHighlightMode::hoverWithModifier:
        passes = hasCommandModifier && linkHighlightRange_ && match->rowRanges == *linkHighlightRange_;
        break;
    case LinkHighlightMode::always: passes = match->isExplicit; break;
    case LinkHighlightMode::alwaysWithModifier: passes = match->isExplicit && hasCommandModifier; break;
    }
    if (!passes) return std::nullopt;
    if (match->isExplicit) {
        if (auto payload = payloadString(at)) {
            if (auto split = urlAndParamsFrom(*payload)) return split;
        }
    }
    return LinkPayload{match->text, {}};
}

std::optional<std::string> TerminalView::getSelection() {
    if (!selection_->active()) return std::nullopt;
    return selection_->getSelectedText();
}

void TerminalView::selectNone() {
    if (selection_->active()) selection_->reset();
}

void TerminalView::synchronizedOutputChanged(Terminal&, bool active) {
    if (active) return;
    updateScroller();
    queuePendingDisplay();
    if (terminalDelegate_) terminalDelegate_->scrolled(*this, scrollPosition());
}

void TerminalView::hostCurrentDirectoryUpdated(Terminal& source) {
    if (terminalDelegate_) terminalDelegate_->hostCurrentDirectoryUpdate(*this, source.hostCurrentDirectory);
}

std::optional<std::string> TerminalView::defaultLinkURL(const std::string& link,
                                                        const std::function<bool(const std::string&)>& fileExists) {
    if (hasScheme(link)) return link;
    using platform::runtime::LocalPaths;
    auto exists = [&](const std::string& path) { return fileExists ? fileExists(path) : LocalPaths::exists(path); };
    const std::string path = LocalPaths::expandingTilde(link);
    if (!path.empty() && exists(path)) return fileURL(path);
    if (auto suffix = lineSuffixStart(path)) {
        std::string shortened = path.substr(0, *suffix);
        if (!shortened.empty() && exists(shortened)) return fileURL(shortened);
    }
    return std::nullopt;
}

void TerminalView::openDefaultLink(const std::string& link) {
    const auto url = defaultLinkURL(link);
    if (!url) return;
    using platform::ui::LinkDecision;
    const LinkDecision decision = platform::ui::LinkPolicy::decide(*url, platform::ui::LinkOrigin::terminal);
    // Without a dialog to ask with, a link that would have to ask opens nothing.
    switch (decision.action) {
        case LinkDecision::Action::open: platform::ui::Workspace::open(decision.target); break;
        case LinkDecision::Action::reveal: platform::ui::Workspace::reveal(decision.target); break;
        case LinkDecision::Action::ask:
        case LinkDecision::Action::refuse: break;
    }
}

}  // namespace vantel
