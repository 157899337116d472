#include "quiltdeck/shell/L10nTable.h"

#include <gtest/gtest.h>

#include "support/ForeignPlatformWords.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quiltdeck {
namespace {

enum Column { en = 0, et, de, fr, zh = 10 };

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
    ASSERT_EQ(entries.size(), 230u);
    std::set<std::string_view> keys;
    for (const auto& entry : entries) EXPECT_TRUE(keys.insert(entry.key).second) << entry.key;
    EXPECT_STREQ(entries.front().key, "new_session");
    EXPECT_STREQ(entries.back().key, "name_it");
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
    };
    for (const auto& row : rows) {
        const L10nEntry* entry = find(row.key);
        ASSERT_NE(entry, nullptr) << row.key;
        EXPECT_STREQ(entry->texts[row.column], row.text) << row.key;
    }
}

}  // namespace
}  // namespace quiltdeck
