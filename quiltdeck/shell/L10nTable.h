#pragma once

#include <span>

namespace quiltdeck {

// Columns in the order of Lang: en, et, de, fr, es, it, pt, nl, pl, ru, zh.
inline constexpr int kL10nLanguageCount = 11;

struct L10nEntry {
    const char* key;
    const char* texts[kL10nLanguageCount];
};

// A key's text for the counts of one plural category ("one", "few", "many"), per language;
// nullptr where the language has no such form and the key's own text serves.
struct L10nPluralEntry {
    const char* key;
    const char* category;
    const char* texts[kL10nLanguageCount];
};

// Every interface text by key, in all eleven languages; static, never changes.
std::span<const L10nEntry> l10nEntries();
// The forms that replace a key's text for some counts; static, never changes.
std::span<const L10nPluralEntry> l10nPluralEntries();

}  // namespace quiltdeck
