#include "quiltdeck/shell/Tints.h"

#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/AnsiPalette.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {
namespace {

class TintsTest : public ::testing::Test {
protected:
    TintsTest() : scoped_(loop_), store_(folder_ / "state") {}
    ~TintsTest() override { setDark(true); }

    void setDark(bool dark) {
        Theme::setMode(dark ? ThemeMode::dark : ThemeMode::light);
        Theme::resolve();
        loop_.runPending();
    }
    platform::gfx::Rgba tint(const std::string& folder) { return Tints::tint(folder, store_); }

    platform::runtime::VirtualMainLoop loop_;
    platform::runtime::ScopedMainLoop scoped_;
    testing::TempFolder folder_;
    Store store_;
};

TEST_F(TintsTest, HashedFolderPicksTheThemesEntry) {
    struct Case {
        std::string key;
        uint64_t hash;
        uint32_t dark, light;
    };
    const std::vector<Case> cases = {
        {"abc", 193485963, 0xC58FA8, 0x94486B},
        {"", 5381, 0x74C0C7, 0x246E76},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Tints::hash(c.key), c.hash) << c.key;
        setDark(true);
        EXPECT_EQ(tint(c.key), Tints::colour(c.dark)) << c.key;
        setDark(false);
        EXPECT_EQ(tint(c.key), Tints::colour(c.light)) << c.key;
    }
}

TEST_F(TintsTest, StoredColourWinsInBothThemesOrFallsBackToTheHash) {
    const std::string folder = "/work/shop";
    const auto hashedDark = Tints::colour(Tints::dark[Tints::hash(folder) % 8]);
    struct Case {
        std::string stored;
        std::optional<uint32_t> shown;  // none: the hashed entry
    };
    const std::vector<Case> cases = {
        {"7AA2E0", 0x7AA2E0}, {"7aa2e0", 0x7AA2E0}, {"+7aa2e0", 0x7AA2E0}, {"1FF0000", 0xFF0000},
        {"FF", 0x0000FF},     {"#7AA2E0", {}},      {"0x7AA2E0", {}},     {"7AG2E0", {}},
        {"", {}},             {"1FFFFFFFF", {}},    {"-7AA2E0", {}},      {"7AA2E0 ", {}},
    };
    for (const Case& c : cases) {
        store_.setTileColor(folder, c.stored);
        for (const bool dark : {true, false}) {
            setDark(dark);
            const auto expected = c.shown ? Tints::colour(*c.shown)
                                          : Tints::colour((dark ? Tints::dark : Tints::light)[Tints::hash(folder) % 8]);
            EXPECT_EQ(tint(folder), expected) << "'" << c.stored << "' dark " << dark;
        }
    }
    setDark(true);
    store_.setTileColor(folder, std::nullopt);
    EXPECT_EQ(tint(folder), hashedDark);
    EXPECT_EQ(tint(folder).alpha, 1.0);
}

TEST_F(TintsTest, ChoicesAreStoredUpperCase) {
    for (size_t i = 0; i < Tints::dark.size(); ++i) {
        EXPECT_EQ(Tints::parse(Tints::hex(Tints::dark[i])), Tints::dark[i]);
        EXPECT_EQ(Tints::hex(Tints::light[i]).size(), 6u);
    }
    EXPECT_EQ(Tints::hex(0x7aa2e0), "7AA2E0");
    EXPECT_EQ(Tints::hex(0xFF), "FF");
    EXPECT_EQ(Tints::hex(0x1FF0000), "FF0000");
}

TEST(AnsiPaletteTest, ChannelsWidenToSixteenBits) {
    const auto colors = AnsiPalette::current();
    ASSERT_EQ(colors.size(), 16u);
    EXPECT_EQ(colors[1].red, 0xD0D0);
    EXPECT_EQ(colors[1].green, 0x7A7A);
    EXPECT_EQ(colors[1].blue, 0x7A7A);
    EXPECT_EQ(colors[15].blue, 0xF3F3);
}

}  // namespace
}  // namespace quiltdeck
