// Colour OSC commands: palette, default colours, cursor colour.
#include <charconv>

#include "vantel/core/Terminal.h"
#include "vantel/core/TextUtil.h"

namespace vantel {

namespace {

std::string_view asText(std::span<const uint8_t> data) {
    return std::string_view(reinterpret_cast<const char*>(data.data()), data.size());
}

// Decimal digits only; nothing for any other text or a value that does not fit.
std::optional<int> parseDecimal(std::string_view text) {
    if (text.empty()) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        if (value > 100000) return std::nullopt;  // already far past any palette index
        value = value * 10 + (c - '0');
    }
    return value;
}


}  // namespace

void Terminal::oscChangeOrQueryColorIndex(std::span<const uint8_t> data) {
    std::string_view text = asText(data);
    size_t p = 0;
    while (p < text.size()) {
        const size_t semicolon = text.find(';', p);
        if (semicolon == std::string_view::npos) return;
        auto index = parseDecimal(text.substr(p, semicolon - p));
        if (!index || *index > 255) return;
        const size_t colorStart = semicolon + 1;
        if (colorStart < text.size() && text[colorStart] == '?') {
            sendResponseParts(osc(), "4;", std::to_string(*index), ";", ansiColors[*index].formatAsXcolor(), st());
            p = colorStart + 1;
            if (p < text.size() && text[p] == ';') ++p;
            continue;
        }
        size_t colorEnd = text.find(';', colorStart);
        if (colorEnd == std::string_view::npos) colorEnd = text.size();
        if (auto color = Color::parseColor(text.substr(colorStart, colorEnd - colorStart))) {
            ansiColors[*index] = *color;
            if (tdel_) tdel_->colorChanged(*this, *index);
        }
        p = colorEnd + 1;
    }
}

void Terminal::oscSetColors(std::span<const uint8_t> data, int startAt) {
    std::string_view text = asText(data);
    std::vector<std::string_view> fields;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(';', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (fields.empty()) return;
    // Queries answer with what the host actually shows.
    const auto [shownForeground, shownBackground] =
        tdel_ ? tdel_->getColors(*this) : std::pair<Color, Color>{foregroundColor_, backgroundColor_};
    for (size_t i = 0; i < fields.size(); ++i) {
        const size_t target = static_cast<size_t>(startAt) + i;
        if (target > 2) break;
        const std::string_view field = fields[i];
        if (field[0] == '?') {
            const Color shown = target == 0   ? shownForeground
                                : target == 1 ? shownBackground
                                              : cursorColor_.value_or(shownForeground);
            sendResponseParts(osc(), std::to_string(10 + target), ";", shown.formatAsXcolor(), st());
            continue;
        }
        auto color = Color::parseColor(field);
        if (!color) continue;
        switch (target) {
        case 0:
            setForegroundColor(*color);
            if (tdel_) tdel_->setForegroundColor(*this, *color);
            break;
        case 1:
            setBackgroundColor(*color);
            if (tdel_) tdel_->setBackgroundColor(*this, *color);
            break;
        default:
            setCursorColor(*color);
            if (tdel_) tdel_->setCursorColor(*this, *color);
            break;
        }
    }
}

void Terminal::resetAllColors() {
    ansiColors = defaultAnsiColors;
    if (tdel_) tdel_->colorChanged(*this, std::nullopt);
}

void Terminal::oscResetColor(std::span<const uint8_t> data) {
    if (data.empty()) {
        resetAllColors();
        return;
    }
    std::string_view text = asText(data);
    for (char c : text) {
        if (static_cast<uint8_t>(c) > 0x7F) return;
    }
    auto resetEntry = [this](int index) {
        ansiColors[index] = defaultAnsiColors[index];
        if (tdel_) tdel_->colorChanged(*this, index);
    };
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(';', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) {
            auto n = text::parseInteger(text.substr(start, end - start));
            if (!n) resetEntry(0);
            else if (*n >= 0 && *n <= 255) resetEntry(static_cast<int>(*n));
        }
        start = end + 1;
    }
}

}  // namespace vantel
