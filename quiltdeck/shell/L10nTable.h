#pragma once

#include <span>

namespace quiltdeck {

// Columns in the order of Lang: en, et, de, fr, es, it, pt, nl, pl, ru, zh.
inline constexpr int kL10nLanguageCount = 11;

struct L10nEntry {
    const char* key;
    const char* texts[kL10nLanguageCount];
};

// Every interface text by key, in all eleven languages; static, never changes.
std::span<const L10nEntry> l10nEntries();

}  // namespace quiltdeck
