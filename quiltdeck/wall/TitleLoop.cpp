#include "quiltdeck/wall/TitleLoop.h"

#include <charconv>
#include <cstdint>

#include "platform/ui/HiddenCharacters.h"
#include "quiltdeck/sessions/TileName.h"
#include "quiltdeck/shell/Shorten.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

constexpr std::string_view rulesText =
    ": 2 to 4 words, like a label on a folder, naming the product or company and the topic, for example "
    "\"Shop E-mails\", \"Northwind Rent\", \"Studio CV\", \"Quiltdeck App\". Keep proper names as they are. "
    "Title Case. Answer ONLY with lines of the form \"<number>: <name>\", one per line, same order. No quotes, "
    "no period, no explanations, no emoji, no em dashes or en dashes.\n";

std::string promptHead(size_t count, std::string_view language) {
    std::string prompt = "Below ";
    prompt += count == 1 ? "is one Claude Code terminal session"
                         : "are several Claude Code terminal sessions, each marked with a line ### <number>";
    prompt += ". For each one write a SHORT NAME in ";
    prompt += language;
    prompt += rulesText;
    return prompt;
}

// The non-empty lines between line feeds.
std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> result;
    while (!text.empty()) {
        const size_t feed = text.find('\n');
        const std::string_view line = text.substr(0, feed);
        if (!line.empty()) result.push_back(line);
        if (feed == std::string_view::npos) break;
        text.remove_prefix(feed + 1);
    }
    return result;
}

// Split at the first colon that ends a non-empty piece: colons that would
// leave an empty piece are passed over, and an empty rest is dropped.
std::vector<std::string_view> splitAtColon(std::string_view line) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != ':') continue;
        if (i == start) {
            start = i + 1;
            continue;
        }
        pieces.push_back(line.substr(start, i - start));
        start = i + 1;
        break;
    }
    if (start < line.size()) pieces.push_back(line.substr(start));
    return pieces;
}

bool isNameEdge(char32_t c) { return c == U' ' || c == U'"' || c == U'\'' || c == U'`' || c == U'.'; }

std::u32string trimNameEdges(std::string_view text) {
    const std::u32string scalars = vantel::fromUtf8(text);
    size_t begin = 0, end = scalars.size();
    while (begin < end && isNameEdge(scalars[begin])) ++begin;
    while (end > begin && isNameEdge(scalars[end - 1])) --end;
    return scalars.substr(begin, end - begin);
}

// A decimal number: an optional sign, then ASCII digits only; none when it
// does not fit.
std::optional<int64_t> decimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size() || magnitude > INT64_MAX) return std::nullopt;
    return negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
}

bool isBlank(std::string_view line) {
    for (char32_t c : vantel::fromUtf8(line)) {
        if (!isWhiteSpace(c)) return false;
    }
    return true;
}

}  // namespace

bool TitleLoop::isCandidate(const Tile& tile, platform::runtime::TimePoint now) {
    if (tile.isShell || tile.status == SessionStatus::exited || !tile.titleDirty || tile.pinnedTitle) return false;
    if (tile.lastPrompt.empty() && !tile.hasResumeId) return false;
    // The distant past is the reset a first prompt or an unpinned title makes.
    const bool reset = tile.lastTitleAt == platform::runtime::TimePoint::min();
    if (tile.failedPrompt && *tile.failedPrompt == tile.lastPrompt && !reset) return false;
    // Compared, not subtracted: the distant past is the clock's minimum.
    return tile.lastTitleAt < now - minimumGap;
}

std::string TitleLoop::candidateText(std::string_view lastPrompt, const std::function<std::string()>& screenText) {
    // A paste is named by its text; one with none to take leaves the screen to tell.
    if (const auto words = TileName::promptWords(lastPrompt)) return shorten(*words, static_cast<int>(textLimit));
    const std::string screen = screenText ? screenText() : std::string();
    return shorten(lastCharacters(screen, textLimit), static_cast<int>(textLimit));
}

std::string TitleLoop::batchPrompt(const std::vector<std::string>& texts, std::string_view language) {
    std::string prompt = promptHead(texts.size(), language);
    for (size_t i = 0; i < texts.size(); ++i) {
        prompt += "### " + std::to_string(i + 1) + "\n";
        prompt += texts[i];
        prompt += "\n\n";
    }
    return prompt;
}

std::string TitleLoop::suggestionPrompt(std::string_view text, std::string_view language) {
    std::string prompt = promptHead(1, language);
    prompt += "### 1\n";
    prompt += text;
    prompt += "\n";
    return prompt;
}

std::vector<TitleLoop::Name> TitleLoop::parseBatchReply(std::string_view reply, size_t candidateCount) {
    std::vector<Name> names;
    for (std::string_view line : lines(reply)) {
        const std::vector<std::string_view> pieces = splitAtColon(line);
        if (pieces.size() != 2) continue;
        const std::optional<int64_t> number = decimal(trimWhiteSpace(pieces[0]));
        if (!number || *number < 1 || static_cast<uint64_t>(*number) > candidateCount) continue;
        std::u32string name = trimNameEdges(pieces[1]);
        for (char32_t& c : name) {
            if (c == U'\u2014' || c == U'\u2013') c = U'-';
        }
        std::string text = platform::ui::HiddenCharacters::dropped(vantel::toUtf8(name));
        if (text.empty() || characterCount(text) >= nameLimit) continue;
        names.push_back({static_cast<size_t>(*number - 1), std::move(text)});
    }
    return names;
}

std::optional<std::string> TitleLoop::parseSuggestion(std::string_view reply) {
    std::string_view chosen;
    for (std::string_view line : lines(reply)) {
        if (!isBlank(line)) chosen = line;
    }
    const std::vector<std::string_view> pieces = splitAtColon(chosen);
    const std::string name =
        platform::ui::HiddenCharacters::dropped(vantel::toUtf8(trimNameEdges(pieces.empty() ? chosen : pieces.back())));
    if (name.empty()) return std::nullopt;
    return name;
}

}  // namespace quiltdeck
