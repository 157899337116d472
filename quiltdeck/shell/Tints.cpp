#include "quiltdeck/shell/Tints.h"

#include <cstdio>

#include "quiltdeck/shell/StoredSettings.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {

const std::array<uint32_t, 8>& Tints::current() { return Theme::isDark() ? dark : light; }

platform::gfx::Rgba Tints::tint(const std::string& folder) { return tint(folder, StoredSettings::shared()); }

platform::gfx::Rgba Tints::tint(const std::string& folder, const StoredSettings& settings) {
    const auto& colors = settings.tileColors();
    if (const auto found = colors.find(folder); found != colors.end()) {
        if (const auto stored = parse(found->second)) return colour(*stored);
    }
    const auto& table = current();
    return colour(table[hash(folder) % table.size()]);
}

uint64_t Tints::hash(std::string_view key) {
    uint64_t h = 5381;
    for (const char c : key) h = h * 33 + static_cast<unsigned char>(c);
    return h;
}

std::optional<uint32_t> Tints::parse(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > UINT32_MAX) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::string Tints::hex(uint32_t rgb) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", rgb & 0xFFFFFFu);
    return text;
}

platform::gfx::Rgba Tints::colour(uint32_t rgb) {
    return platform::gfx::Rgba::fromBytes(static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                                          static_cast<uint8_t>(rgb));
}

}  // namespace quiltdeck
