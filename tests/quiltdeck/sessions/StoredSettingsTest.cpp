#include "quiltdeck/shell/StoredSettings.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Fonts.h"
#include "quiltdeck/shell/LoginItem.h"
#include "quiltdeck/shell/Tints.h"

namespace quiltdeck {
namespace {

const StoredSettings& processStore() { return Store::shared(); }

// The shell's readers see the process's store through StoredSettings alone.
TEST(StoredSettings, TheProcessStoreAnswers) {
    EXPECT_EQ(&StoredSettings::shared(), static_cast<const StoredSettings*>(&Store::shared()));
}

TEST(StoredSettings, ShellReadersFollowTheStore) {
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    Store& store = Store::shared();
    const Store::State before = store.state();
    const std::string folder = "/work/stored-settings";
    const platform::gfx::Rgba hashed = Tints::tint(folder);

    struct Case {
        const char* name;
        std::function<void()> change;
        std::function<bool()> seen;
    };
    const std::vector<Case> cases = {
        {"a folder's colour", [&] { store.setTileColor(folder, "12ab34"); },
         [&] { return Tints::tint(folder) == Tints::colour(0x12AB34); }},
        {"the folder's colour removed", [&] { store.setTileColor(folder, std::nullopt); },
         [&] { return Tints::tint(folder) == hashed; }},
        {"the terminal font", [&] { store.setFontName("JetBrains Mono"); },
         [&] {
             const auto font = Fonts::terminal(12);
             return font && font->family() == "JetBrains Mono";
         }},
        {"the system's font", [&] { store.setFontName("Monospace"); },
         [&] {
             const auto font = Fonts::terminal(12);
             const auto system = platform::gfx::Font::systemFont(12);
             return font && system && font->family() == system->family();
         }},
        {"not at login", [&] { store.setOpenAtLogin(false); },
         [&] {
             LoginItem::apply();
             return !LoginItem::enabled();
         }},
        {"at login", [&] { store.setOpenAtLogin(true); },
         [&] {
             LoginItem::apply();
             return LoginItem::enabled();
         }},
        {"the language", [&] { store.setLanguage("de"); },
         [&] { return StoredSettings::shared().language() == "de"; }},
    };
    for (const auto& test : cases) {
        test.change();
        EXPECT_TRUE(test.seen()) << test.name;
    }

    LoginItem::apply(false);
    store.setTileColor(folder, std::nullopt);
    store.setFontName(before.fontName);
    store.setOpenAtLogin(before.openAtLogin);
    store.setLanguage(before.language);
}

// A program that never links the store still gets what a fresh store would hold.
TEST(StoredSettings, WithoutASourceAFreshStoresValues) {
    StoredSettings::setSource(nullptr);
    const StoredSettings& unchosen = StoredSettings::shared();
    const Store::State fresh;
    EXPECT_EQ(unchosen.fontName(), fresh.fontName);
    EXPECT_EQ(unchosen.language(), fresh.language);
    EXPECT_EQ(unchosen.openAtLogin(), fresh.openAtLogin);
    EXPECT_EQ(unchosen.tileColors(), fresh.tileColors);
    EXPECT_NE(&unchosen, static_cast<const StoredSettings*>(&Store::shared()));
    StoredSettings::setSource(&processStore);
    EXPECT_EQ(&StoredSettings::shared(), static_cast<const StoredSettings*>(&Store::shared()));
}

}  // namespace
}  // namespace quiltdeck
