#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "quiltdeck/shell/L10nTable.h"

namespace quiltdeck {

// An interface language.
class Lang {
public:
    // In the order of the language picker and of the text table's columns.
    enum Code : uint8_t { en, et, de, fr, es, it, pt, nl, pl, ru, zh };
    static constexpr int count = 11;
    static_assert(count == kL10nLanguageCount);

    constexpr Lang(Code code = en) : code_(code) {}

    static constexpr std::array<Lang, count> allCases() { return {en, et, de, fr, es, it, pt, nl, pl, ru, zh}; }
    // Exactly the eleven codes ("en", "et", …), case-sensitive.
    static std::optional<Lang> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;
    // The language's English name, for prompts that ask the assistant to answer in it.
    std::string_view promptLanguage() const;
    // The language's name in itself ("Deutsch", "中文"), as the language picker shows it.
    std::string_view ownName() const;
    constexpr int index() const { return code_; }
    constexpr Code code() const { return code_; }
    friend constexpr bool operator==(Lang, Lang) = default;

    // The interface language. Its first value is the store's language code (English
    // for any other code), or the desktop's where the store could not be read; after that
    // only setCurrent changes it. Any thread.
    static Lang current();
    static void setCurrent(Lang lang);
    // The desktop's language, as its locale variables name it for messages (LC_ALL, then
    // LC_MESSAGES, then LANG: "de_DE.UTF-8" is German); English for one not among the eleven.
    static Lang desktop();

    // Posted after the language picker has set `current` and stored the code.
    static constexpr std::string_view didChange = "quiltdeck.lang";

private:
    Code code_;
};

}  // namespace quiltdeck
