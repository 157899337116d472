#include "quiltdeck/shell/L10n.h"

#include <unicode/locid.h>
#include <unicode/plurrule.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>
#include <memory>

namespace quiltdeck {

const L10n::Table& L10n::table() {
    static const Table built = [] {
        Table table;
        const auto entries = l10nEntries();
        table.reserve(entries.size());
        for (const L10nEntry& entry : entries) table.emplace(entry.key, &entry);
        return table;
    }();
    return built;
}

std::optional<std::string_view> L10n::text(std::string_view key, Lang lang) {
    auto found = table().find(key);
    if (found == table().end()) return std::nullopt;
    const L10nEntry& entry = *found->second;
    if (const char* text = entry.texts[lang.index()]) return text;
    if (const char* english = entry.texts[Lang(Lang::en).index()]) return english;
    return std::nullopt;
}

namespace {

// The rules of each language, made once. Portuguese counts as Portugal's, as its texts are written.
const icu::PluralRules* pluralRules(Lang lang) {
    static const auto rules = [] {
        std::array<std::unique_ptr<icu::PluralRules>, Lang::count> made;
        for (Lang each : Lang::allCases()) {
            const std::string name = each == Lang::pt ? std::string("pt_PT") : std::string(each.rawValue());
            UErrorCode status = U_ZERO_ERROR;
            std::unique_ptr<icu::PluralRules> one(icu::PluralRules::forLocale(icu::Locale(name.c_str()), status));
            if (U_SUCCESS(status)) made[static_cast<size_t>(each.index())] = std::move(one);
        }
        return made;
    }();
    return rules[static_cast<size_t>(lang.index())].get();
}

}  // namespace

std::string L10n::pluralCategory(Lang lang, long long count) {
    const icu::PluralRules* rules = pluralRules(lang);
    if (!rules) return "other";
    // Beyond what a double holds exactly the category no longer matters.
    std::string category;
    return rules->select(static_cast<double>(count)).toUTF8String(category);
}

std::optional<std::string_view> L10n::text(std::string_view key, Lang lang, long long count) {
    const std::string category = pluralCategory(lang, count);
    for (const L10nPluralEntry& entry : l10nPluralEntries()) {
        if (entry.key != key || entry.category != category) continue;
        if (const char* form = entry.texts[lang.index()]) return form;
        break;
    }
    return text(key, lang);
}

std::string L10n::format(std::string_view text, std::span<const L10nArg> args) {
    std::string out;
    out.reserve(text.size());
    size_t next = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '@' || text[i + 1] == 'd')) {
            if (next < args.size()) out += args[next].text();
            ++next;
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string t(std::string_view key) { return std::string(L10n::text(key, Lang::current()).value_or(key)); }

std::string tCount(std::string_view key, long long count) {
    const std::string text(L10n::text(key, Lang::current(), count).value_or(key));
    const L10nArg arg(count);
    return L10n::format(text, std::span<const L10nArg>(&arg, 1));
}

std::string t(std::string_view key, std::initializer_list<L10nArg> args) {
    return L10n::format(t(key), std::span<const L10nArg>(args.begin(), args.size()));
}

std::string tByteSize(unsigned long long bytes) {
    // Decimal units (1 kB = 1000 bytes).
    static constexpr std::string_view units[] = {"size_kb", "size_mb", "size_gb"};
    constexpr double step = 1000;
    if (bytes < step) return t("size_b", {std::to_string(bytes)});
    double value = static_cast<double>(bytes) / step;
    size_t unit = 0;
    while (value >= step && unit + 1 < std::size(units)) {
        value /= step;
        ++unit;
    }
    // One decimal, rounded as printf rounds (whatever the process's locale); none when it is 0. A
    // value that rounds up to 1000 is the next unit's 1.
    const auto oneDecimal = [](double number) {
        char digits[32];
        const auto written = std::to_chars(std::begin(digits), std::end(digits), number, std::chars_format::fixed, 1);
        return std::string(digits, written.ptr);
    };
    std::string text = oneDecimal(value);
    if (text == "1000.0" && unit + 1 < std::size(units)) text = oneDecimal(value / step), ++unit;
    if (text.ends_with(".0")) text.resize(text.size() - 2);
    // The decimal mark as the language writes it.
    const Lang lang = Lang::current();
    if (lang != Lang::en && lang != Lang::zh) std::replace(text.begin(), text.end(), '.', ',');
    return t(units[unit], {text});
}

}  // namespace quiltdeck
