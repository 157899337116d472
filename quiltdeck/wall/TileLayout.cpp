#include "quiltdeck/wall/TileLayout.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <memory>
#include <tuple>
#include <utility>

#include "platform/ui/HiddenCharacters.h"
#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/sessions/TileName.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Shorten.h"

namespace quiltdeck {

namespace {

using Rgba = platform::gfx::Rgba;

Rgba rgb(uint8_t r, uint8_t g, uint8_t b) { return Rgba::fromBytes(r, g, b); }
Rgba pick(bool dark, Rgba d, Rgba l) { return dark ? d : l; }

}  // namespace

size_t TileLayout::shownFeedRows(bool hasFeed, size_t items, bool zoomed) {
    if (!hasFeed) return 0;
    return std::min(items, zoomed ? zoomedFeedRows : feedRows);
}

double TileLayout::feedHeight(bool hasFeed, size_t items, bool zoomed) {
    if (!hasFeed) return 0;
    const size_t rows = std::min(std::max<size_t>(items, 1), zoomed ? zoomedFeedRows : feedRows);
    return 20 + feedRowHeight * static_cast<double>(rows);
}

std::vector<TileLayout::Chip> TileLayout::chips(size_t count, double tileWidth) {
    std::vector<Chip> chips;
    if (count == 0) return chips;
    const double n = static_cast<double>(count);
    const double width = std::min(std::max((tileWidth - 40) / n, 72.0), 170.0);
    double x = std::max((tileWidth - n * width) / 2, 20.0);
    for (size_t i = 0; i < count; ++i, x += width) chips.push_back({Rect{x, 54, width, 19}, Rect{x, 72, width, 12}});
    return chips;
}

TileLayout::Rect TileLayout::feedSourceFrame(double top, double tileWidth) { return {20, top + 2, tileWidth - 40, 12}; }

TileLayout::Rect TileLayout::feedRowFrame(double top, size_t row, double tileWidth) {
    return {20, top + 14 + feedRowHeight * static_cast<double>(row), tileWidth - 40, feedRowHeight};
}

TileLayout::HeaderFrames TileLayout::header(const HeaderInput& in) {
    HeaderFrames f;
    const double w = in.tile.width, h = in.tile.height;
    f.dot = {20, 23, 6, 6};
    f.index = {36, 26 - in.index.height / 2, in.index.width, in.index.height};
    double x = 36 + in.index.width + 13;
    if (in.logoVisible) {
        f.logo = {x, 13, 26, 26};
        x += 37;
    }
    f.close = {w - 20 - 22, 15, 22, 22};
    f.move = {w - 48 - 22, 15, 22, 22};
    double r = w - 80;
    // No more than the card holds inside its padding.
    const double subNeeds = std::min(in.subNeeds, std::max(w - 40, 0.0));
    if (in.badge) {
        const double pill = in.badge->width + 18;
        // Only where it leaves the title its least width and the sub line what it needs.
        f.badgeShown = r - pill - 12 - x >= std::max(subNeeds, minimumTitleWidth);
        if (f.badgeShown) {
            f.badgePill = {r - pill, 16, pill, 20};
            f.badge = {f.badgePill.x + 9, 26 - in.badge->height / 2, in.badge->width, in.badge->height};
            r -= pill + 12;
        }
    }
    const double available = r - x;
    f.title = {x, 12, std::max(available, minimumTitleWidth), 18};
    double subX = x, subRight = x + std::max(available, minimumTitleWidth);
    if (subRight - subX < subNeeds) {
        // Past the buttons (whose marks sit above the line) to the card's padding, and from
        // under the number when even that is short.
        subRight = std::max(subRight, w - 20);
        subX = std::clamp(subRight - subNeeds, std::min(20.0, x), x);
    }
    f.sub = {subX, 31, subRight - subX, 14};
    if (in.editing) {
        const double buttons = in.save.width + in.cancel.width + in.suggest.width + 16;
        Size save = in.save, cancel = in.cancel, suggest = in.suggest;
        double right = r, buttonsY = 15;
        if (available - buttons - 12 >= minimumEditorWidth) {
            const double editor = available - buttons - 12;
            f.editorBack = {x - 8, 11, editor + 8, 30};
            f.editor = {x, 16, editor - 10, 20};
        } else {
            f.editStacked = true;
            f.badgeShown = false;
            right = w - 20;
            // From under the number only when the line is short even of the editor's least.
            const double left = std::clamp(right - minimumEditorWidth, std::min(20.0, x), x);
            f.editorBack = {left - 8, 11, right - left + 8, 30};
            f.editor = {left, 16, right - left - 10, 20};
            buttonsY = 45;
            if (buttons > right - 20) {
                f.editSymbols = true;
                save = cancel = suggest = in.symbolButton;
            }
        }
        f.cancel = {right - cancel.width, buttonsY, cancel.width, 22};
        f.save = {f.cancel.x - 8 - save.width, buttonsY, save.width, 22};
        f.suggest = {f.save.x - 8 - suggest.width, buttonsY, suggest.width, 22};
        const double noteTop = (f.editStacked ? buttonsY + 22 : f.editorBack.y + f.editorBack.height) + 4;
        const double noteLeft = std::min(f.editorBack.x, w - 20 - minimumEditorWidth);
        f.note = {noteLeft, noteTop, w - 20 - noteLeft, 0};
    }
    const double inset = terminalInset(in.dark);
    f.scaler = {inset, in.bodyTop, std::max(0.0, w - 2 * inset), std::max(0.0, h - in.bodyTop - inset)};
    f.scalerCornerRadius = inset;
    f.grip = {w - 26, h - 26, 22, 22};
    return f;
}

TileLayout::DeadVeilFrames TileLayout::deadVeil(Size veil, std::optional<double> resumeFittedWidth, double restartFittedWidth) {
    DeadVeilFrames f;
    const double vw = veil.width, vh = veil.height;
    const double gap = resumeFittedWidth ? 10 : 0;
    // Each button's width: its title and the padding around it.
    auto widths = [&](double padding) {
        return std::pair{resumeFittedWidth ? *resumeFittedWidth + padding : 0, restartFittedWidth + padding};
    };
    auto [resume, restart] = widths(24);
    double room = std::max(vw - 32, 40.0);
    // Too low to stand one above the other (a small screen's full wall): side by side after all,
    // nearer the veil's edges and their words, each cut to its share of the room where even that
    // is short, rather than up over the header.
    const bool squeezed = resumeFittedWidth && resume + gap + restart > room && vh < 64;
    if (squeezed) {
        std::tie(resume, restart) = widths(14);
        room = std::max(vw - 12, 40.0);
    }
    const bool sideBySide = resume + gap + restart <= room || squeezed;
    const double buttons = sideBySide || !resumeFittedWidth ? 28 : 64;
    // Title 20 and detail 34 above the buttons (24 and 42 apart), from the middle less 48.
    double m = vh / 2;
    if (m - 48 < 0 || m + 18 + buttons > vh) {
        f.showsDetail = false;
        f.showsLabel = 28 + buttons <= vh;
        // What is left, centred: the title 28 above the buttons, or the buttons alone.
        const double block = (f.showsLabel ? 28 : 0) + buttons;
        m = (vh - block) / 2 + block - buttons - 18;
    }
    f.label = {24, f.showsDetail ? m - 48 : m - 10, std::max(vw - 48, 40.0), 20};
    f.detail = {40, m - 24, std::max(vw - 80, 40.0), 34};
    if (sideBySide) {
        double resumeWidth = resume, restartWidth = restart;
        if (squeezed && resume + gap + restart > room) {
            // Halves; one that needs less gives the rest to the other.
            const double half = (room - gap) / 2;
            restartWidth = restart <= half ? restart : resume <= half ? room - gap - resume : half;
            resumeWidth = std::min(resume, room - gap - restartWidth);
            f.cut = true;
        }
        // Never above the veil: one lower than a button holds it from its top.
        const double height = std::min(28.0, vh), y = std::max(0.0, m + 18);
        const double x0 = (vw - resumeWidth - gap - restartWidth) / 2;
        if (resumeFittedWidth) f.resume = Rect{x0, y, resumeWidth, height};
        f.restart = {x0 + resumeWidth + gap, y, restartWidth, height};
        return f;
    }
    // One above the other, each as wide as its title where the veil holds it.
    double y = m + 18;
    if (resumeFittedWidth) {
        const double width = std::min(resume, room);
        f.resume = Rect{(vw - width) / 2, y, width, 28};
        f.cut = resume > room;
        y += 36;
    }
    const double width = std::min(restart, room);
    f.restart = {(vw - width) / 2, y, width, 28};
    f.cut = f.cut || restart > room;
    return f;
}

std::string TileLayout::statusWord(SessionStatus status, bool finished) {
    switch (status) {
    case SessionStatus::idle: return t(finished ? "st_done" : "st_idle");
    case SessionStatus::busy: return t("st_busy");
    case SessionStatus::waiting: return t("st_waiting");
    case SessionStatus::exited: return t("st_exited");
    }
    return t("st_idle");
}

std::string TileLayout::subLine(std::string_view name, std::string_view word, std::string_view tool,
                                std::string_view shortFolder) {
    std::string line(name);
    line.append("   ").append(word);
    if (!tool.empty()) line.append("   ").append(tool);
    line.append("   ").append(shortFolder);
    return line;
}

std::string TileLayout::toolName(std::string_view tool) {
    std::string_view name = tool.substr(0, tool.find(':'));
    // A server's tool ("mcp__server__navigate") goes by its own name.
    if (name.starts_with("mcp__")) {
        if (const size_t last = name.rfind("__"); last > 3 && last + 2 < name.size()) name.remove_prefix(last + 2);
    }
    return shorten(name, static_cast<int>(toolNameLimit));
}

namespace {

// A text's cuts, longest first, down to (not including) `down` characters: at its end ("mak…")
// or at its start ("…/web"). Each is narrower than the one before (one character fewer, the same
// ellipsis), though the first may be wider than the text itself.
std::vector<std::string> cutsOf(std::string_view text, bool atStart, size_t down = 0) {
    std::vector<std::string> forms;
    for (size_t kept = characterCount(text); kept-- > std::max<size_t>(down + 1, 1);) {
        if (atStart) {
            forms.push_back("\u2026" + lastCharacters(text, kept));
            continue;
        }
        std::string head = firstCharacters(text, kept);
        while (!head.empty() && (head.back() == ' ' || head.back() == ':')) head.pop_back();
        if (characterCount(head) <= down) break;
        forms.push_back(std::move(head) + "\u2026");
    }
    return forms;
}

// Groups of forms in the order they are preferred, each group narrowing along itself.
using Forms = std::vector<std::vector<std::string>>;

// The text, its cuts, and nothing.
Forms cuts(std::string_view text, bool atStart) {
    return {{std::string(text)}, cutsOf(text, atStart), {std::string()}};
}

// A tool's label cut down to its name ("Bash: m…", "Bash"), then the name cut, then nothing.
Forms toolCuts(std::string_view label, std::string_view name) {
    if (name == label) return cuts(label, false);
    Forms forms{{std::string(label)}};
    if (label.starts_with(name)) forms.push_back(cutsOf(label, false, characterCount(name)));
    forms.insert(forms.end(), {{std::string(name)}, cutsOf(name, false), {std::string()}});
    return forms;
}

// The first form whose line fits: by halving within a group.
std::optional<std::string> longestFitting(const Forms& groups, const std::function<std::string(const std::string&)>& line,
                                          const std::function<bool(const std::string&)>& fits) {
    for (const auto& forms : groups) {
        size_t low = 0, high = forms.size();
        while (low < high) {
            const size_t middle = (low + high) / 2;
            if (fits(line(forms[middle]))) high = middle;
            else low = middle + 1;
        }
        if (low < forms.size()) return line(forms[low]);
    }
    return std::nullopt;
}

// The parts that are not empty, three spaces apart.
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string line;
    for (std::string_view part : parts) {
        if (part.empty()) continue;
        if (!line.empty()) line += "   ";
        line += part;
    }
    return line;
}

}  // namespace

std::string TileLayout::fittedSubLine(std::string_view name, std::string_view word, std::string_view tool,
                                      std::string_view shortFolder, double width, const Measure& measure) {
    auto fits = [&](const std::string& line) { return measure(line) <= width; };
    std::string whole = subLine(name, word, tool, shortFolder);
    if (fits(whole)) return whole;
    if (auto line = longestFitting(
            cuts(shortFolder, true), [&](const std::string& folder) { return joined({name, word, tool, folder}); }, fits))
        return *line;
    if (auto line = longestFitting(
            cuts(name, false), [&](const std::string& shown) { return joined({shown, word, tool}); }, fits))
        return *line;
    if (auto line = longestFitting(
            toolCuts(tool, toolName(tool)), [&](const std::string& shown) { return joined({word, shown}); }, fits))
        return *line;
    return std::string(word);
}

std::string TileLayout::shortFolder(std::string_view cwd, std::string_view home) {
    // Only a leading home folder: "/home/alice" is not inside "/home/al".
    const std::string path = abbreviatingHome(cwd, home);
    if (characterCount(path) <= folderLimit) return path;
    std::vector<std::string_view> pieces;
    std::string_view rest = path;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view piece = rest.substr(0, slash);
        if (!piece.empty()) pieces.push_back(piece);
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    std::string shortened = "\u2026/";
    for (size_t i = pieces.size() > 2 ? pieces.size() - 2 : 0; i < pieces.size(); ++i) {
        if (shortened.size() > 4) shortened += '/';
        shortened += pieces[i];
    }
    return shortened;
}

std::string TileLayout::feedSource(std::string_view label, std::optional<std::string> updatedAt, bool noItems) {
    std::string text = upperCased(label);
    if (updatedAt) text += "   " + *updatedAt;
    if (noItems) text += "   " + t("feed_loading");
    return text;
}

std::string TileLayout::shortTime(Date date, Lang lang, const std::optional<std::string>& zone) {
    const icu::Locale locale(std::string(lang.rawValue()).c_str());
    std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, locale));
    if (!format) return {};
    if (zone) format->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(*zone)));
    icu::UnicodeString shown;
    format->format(static_cast<UDate>(date.unixSeconds() * 1000.0), shown);
    std::string text;
    shown.toUTF8String(text);
    return text;
}

std::string TileLayout::metricValue(std::string_view value) { return value.empty() ? "\u2026" : std::string(value); }

std::string TileLayout::metricName(std::string_view label) { return upperCased(label); }

std::string TileLayout::deadDetail(std::string_view lastPrompt) {
    if (lastPrompt.empty()) return t("no_conversation");
    // A paste is told by its text, as the title is.
    const auto words = TileName::promptWords(lastPrompt);
    return t("last_prompt") + platform::ui::HiddenCharacters::spelledOut(shorten(words ? *words : t("pasted_text"), 120));
}

TileLayout::Chrome TileLayout::chrome(const ChromeInput& in) {
    Chrome c;
    const bool dark = in.dark;
    if (in.dropHover) {
        c.borderWidth = 2;
        c.border = pick(dark, rgb(142, 155, 174), rgb(83, 96, 122));
    } else if (in.status == SessionStatus::waiting) {
        c.border = pick(dark, rgb(224, 162, 71), rgb(169, 112, 15));
        c.border.alpha = 0.8;
    } else {
        c.border = dark ? Rgba{1, 1, 1, in.zoomed ? 0.16 : 0.08} : Rgba{0, 0, 0, in.zoomed ? 0.18 : 0.10};
    }
    c.shadowOpacity = dark ? (in.zoomed ? 0.62 : 0.32) : (in.zoomed ? 0.22 : 0.10);
    c.shadowRadius = in.zoomed ? 56 : 14;
    c.shadowOffsetY = in.zoomed ? -18 : -4;
    switch (in.status) {
    case SessionStatus::busy: c.dot = pick(dark, rgb(106, 155, 234), rgb(59, 111, 212)); break;
    case SessionStatus::waiting: c.dot = pick(dark, rgb(224, 162, 71), rgb(169, 112, 15)); break;
    case SessionStatus::idle:
        c.dot = in.finished ? doneGreen(dark) : in.tint;
        c.dotRing = !in.finished;
        break;
    case SessionStatus::exited: c.dot = pick(dark, rgb(92, 92, 100), rgb(176, 176, 183)); break;
    }
    return c;
}

Rgba TileLayout::cardGround(bool dark) { return pick(dark, rgb(18, 19, 21), rgb(244, 243, 241)); }
Rgba TileLayout::terminalGround(bool dark) { return pick(dark, rgb(17, 17, 19), rgb(24, 24, 28)); }
Rgba TileLayout::terminalText() { return rgb(228, 228, 231); }
Rgba TileLayout::primaryText(bool dark) { return pick(dark, rgb(233, 235, 237), rgb(20, 22, 26)); }
// Light: (109, 114, 120) and the dot's green stayed under 4.5:1 on the header's wash.
Rgba TileLayout::secondaryText(bool dark) { return pick(dark, rgb(158, 163, 169), rgb(86, 91, 97)); }
Rgba TileLayout::faintText(bool dark) { return pick(dark, rgb(132, 137, 143), rgb(105, 110, 116)); }
Rgba TileLayout::doneGreen(bool dark) { return pick(dark, rgb(95, 176, 122), rgb(46, 125, 75)); }
Rgba TileLayout::doneText(bool dark) { return pick(dark, rgb(95, 176, 122), rgb(36, 110, 64)); }
Rgba TileLayout::waitingText(bool dark) { return pick(dark, rgb(224, 162, 71), rgb(140, 90, 10)); }

}  // namespace quiltdeck
