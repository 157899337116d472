#include "quiltdeck/shell/L10nTable.h"

#include <gtest/gtest.h>

#include "support/ForeignPlatformWords.h"

#include <cctype>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quiltdeck {
namespace {

enum Column { en = 0, et, de, fr, es, it, pt, nl, pl, ru, zh };

const L10nEntry* find(std::string_view key) {
    for (const auto& entry : l10nEntries())
        if (key == entry.key) return &entry;
    return nullptr;
}

// "%@" and "%d" in order; any other '%' sequence is kept as is so it shows up as a mismatch.
std::vector<std::string> placeholders(std::string_view text) {
    std::vector<std::string> found;
    for (size_t i = text.find('%'); i != std::string_view::npos; i = text.find('%', i + 1))
        found.emplace_back(text.substr(i, 2));
    return found;
}

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

TEST(L10nTable, HoldsEachKeyOnceInItsOrder) {
    auto entries = l10nEntries();
    ASSERT_EQ(entries.size(), 364u);
    std::set<std::string_view> keys;
    for (const auto& entry : entries) EXPECT_TRUE(keys.insert(entry.key).second) << entry.key;
    EXPECT_STREQ(entries.front().key, "new_session");
    EXPECT_STREQ(entries.back().key, "state_records_set_aside");
}

TEST(L10nTable, EveryTranslationKeepsTheEnglishShape) {
    for (const auto& entry : l10nEntries()) {
        std::string_view english = entry.texts[en];
        bool colonTail = endsWith(english, ": ");
        for (int column = 0; column < kL10nLanguageCount; ++column) {
            const char* raw = entry.texts[column];
            ASSERT_NE(raw, nullptr) << entry.key << " column " << column;
            std::string_view text = raw;
            SCOPED_TRACE(std::string(entry.key) + " column " + std::to_string(column));
            ASSERT_FALSE(text.empty());
            EXPECT_EQ(placeholders(text), placeholders(english));
            EXPECT_NE(text.front(), ' ');
            if (colonTail) EXPECT_TRUE(endsWith(text, ": ") || endsWith(text, "："));
            else EXPECT_NE(text.back(), ' ');
        }
    }
}

TEST(L10nTable, NoTextNamesTheMac) {
    for (const auto& entry : l10nEntries()) {
        for (const char* raw : entry.texts) {
            std::string_view text = raw;
            for (std::string_view word : {"⌘", "⇧", "Mac", "macOS", "Cmd"})
                EXPECT_EQ(text.find(word), std::string_view::npos) << entry.key << ": " << text;
        }
    }
}

// Nothing of another desktop in any language: its dock, file manager, drawing layers, fonts, name.
TEST(L10nTable, NoTextNamesAnotherDesktopsThings) {
    for (const auto& entry : l10nEntries()) {
        for (const char* raw : entry.texts)
            EXPECT_EQ(testing_support::foreignPlatformWord(raw), std::nullopt) << entry.key << ": " << raw;
    }
    for (const auto& entry : l10nPluralEntries()) {
        for (const char* raw : entry.texts) {
            if (!raw) continue;
            EXPECT_EQ(testing_support::foreignPlatformWord(raw), std::nullopt) << entry.key << ": " << raw;
        }
    }
}

// A text the same as the English one is a word the language shares ("OK", "Logo"); any other is
// an entry nobody translated.
TEST(L10nTable, EveryEntryIsTranslated) {
    const std::set<std::string_view> shared = {"ok", "shell", "shell_named", "kind_shell", "logo", "browsers", "menu_session", "menu_browsers",
                                               "menu_help", "guide", "guide_h_browsers", "guide_h_privacy",
                                               "guide_h_tabs", "later", "recent", "theme_system", "c_amber", "c_rose",
                                               "c_violet", "c_olive", "size_b", "size_kb", "size_mb", "size_gb"};
    for (const auto& entry : l10nEntries()) {
        if (shared.contains(entry.key)) continue;
        for (int column = 1; column < kL10nLanguageCount; ++column)
            EXPECT_STRNE(entry.texts[column], entry.texts[en]) << entry.key << " column " << column;
    }
}

// German speaks to the user as "du" throughout: no "Sie" or "Ihr" anywhere, not even one that means
// "it" or "its", which reads as the formal address.
TEST(L10nTable, GermanSaysDu) {
    auto formal = [](std::string_view text) {
        for (std::string_view word : {"Sie", "Ihnen", "Ihr", "Ihre", "Ihren", "Ihrem", "Ihrer", "Ihres"}) {
            for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
                const size_t end = at + word.size();
                const bool starts = at == 0 || !std::isalpha(static_cast<unsigned char>(text[at - 1]));
                const bool ends = end == text.size() || !std::isalpha(static_cast<unsigned char>(text[end]));
                if (starts && ends) return true;
            }
        }
        return false;
    };
    for (const auto& entry : l10nEntries()) EXPECT_FALSE(formal(entry.texts[de])) << entry.key << ": " << entry.texts[de];
    for (const auto& entry : l10nPluralEntries()) {
        if (entry.texts[de]) {
            EXPECT_FALSE(formal(entry.texts[de])) << entry.key << ": " << entry.texts[de];
        }
    }
}

TEST(L10nTable, PinnedTexts) {
    struct Row {
        const char* key;
        int column;
        const char* text;
    };
    const Row rows[] = {
        {"st_busy", en, "working"},
        {"st_busy", zh, "运行中"},
        {"session_ended_code", en, "session ended with error %d"},
        {"move_tile_q", de, "„%@“ in den Tab „%@“ verschieben?"},
        {"last_prompt", fr, "Dernière demande : "},
        {"last_prompt", zh, "上次请求："},
        {"auto_pick", en, "automatic pick: "},
        {"empty_hint1", en, "Ctrl+Shift+N opens a tile · click a tile to zoom"},
        {"guide_k_tabs", en, "new tab; Ctrl+Shift+Alt+] and Ctrl+Shift+Alt+[ switch tabs"},
        // An idle tile's word never says it waits: that is what the waiting word says.
        {"st_idle", et, "jõude"},
        {"st_idle", nl, "inactief"},
        {"st_idle", ru, "неактивен"},
        {"st_idle", es, "inactivo"},
        {"st_idle", it, "inattivo"},
        {"st_waiting", ru, "ЖДЁТ ВАС"},
        // A shell tile's words and an ended tile's short buttons.
        {"shell_named", ru, "%@ (оболочка)"},
        {"kind_shell", pl, "Powłoka"},
        {"resume_short", de, "Weiter"},
        {"restart_short", ru, "Заново"},
        {"menu_restart", en, "Start Fresh"},
    };
    for (const auto& row : rows) {
        const L10nEntry* entry = find(row.key);
        ASSERT_NE(entry, nullptr) << row.key;
        EXPECT_STREQ(entry->texts[row.column], row.text) << row.key;
    }
}

}  // namespace
}  // namespace quiltdeck
