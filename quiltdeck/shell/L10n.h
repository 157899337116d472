#pragma once

#include <concepts>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "quiltdeck/shell/L10nTable.h"
#include "quiltdeck/shell/Lang.h"

namespace quiltdeck {

// The value of one placeholder: a text, or an integer written in decimal.
class L10nArg {
public:
    L10nArg(std::string_view text) : text_(text) {}
    L10nArg(const char* text) : text_(text ? text : "") {}
    L10nArg(const std::string& text) : text_(text) {}
    template <std::integral I>
        requires(!std::same_as<I, bool> && !std::same_as<I, char>)
    L10nArg(I value) : text_(std::to_string(value)) {}
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// The interface texts: every key in eleven languages, built once on first use and
// never changed, so lookups are safe from any thread.
class L10n {
public:
    L10n() = delete;

    using Table = std::unordered_map<std::string_view, const L10nEntry*>;
    static const Table& table();

    // The key's text in `lang`, else in English; nothing for a key not in the table.
    static std::optional<std::string_view> text(std::string_view key, Lang lang);
    // The same for a count: the key's form for the count's plural category in `lang` when the
    // table has one, else the key's own text.
    static std::optional<std::string_view> text(std::string_view key, Lang lang, long long count);
    // The plural category of `count` in `lang` by CLDR's rules: "one", "few", "many", "other"…
    static std::string pluralCategory(Lang lang, long long count);

    // Fills "%@" and "%d" with the arguments in order; a placeholder without an
    // argument becomes empty. Nothing else in the text has a meaning, so a table
    // text is never a format string.
    static std::string format(std::string_view text, std::span<const L10nArg> args);
};

// The key's text in the current language; the key itself when the table lacks it.
std::string t(std::string_view key);
// The same with its placeholders filled.
std::string t(std::string_view key, std::initializer_list<L10nArg> args);
// The key's text for `count` in the current language (its plural form), with "%d" filled by it.
std::string tCount(std::string_view key, long long count);
// A size in bytes as the current language writes it, in decimal units with one decimal (left out
// when it is 0): "263.1 MB", "263,1 Mo", "1.1 GB" (1 GiB), "4 MB".
std::string tByteSize(unsigned long long bytes);

}  // namespace quiltdeck
