#include "quiltdeck/shell/L10n.h"

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

std::string t(std::string_view key, std::initializer_list<L10nArg> args) {
    return L10n::format(t(key), std::span<const L10nArg>(args.begin(), args.size()));
}

}  // namespace quiltdeck
