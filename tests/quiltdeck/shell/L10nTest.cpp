#include "quiltdeck/shell/L10n.h"

#include <glib.h>
#include <gtest/gtest.h>

namespace quiltdeck {
namespace {

class L10nTest : public ::testing::Test {
protected:
    ~L10nTest() override { Lang::setCurrent(Lang::en); }
};

TEST_F(L10nTest, OnlyTheElevenCodesAreLanguages) {
    const std::vector<std::pair<std::string, std::optional<Lang>>> cases = {
        {"en", Lang::en}, {"zh", Lang::zh}, {"et", Lang::et}, {"EN", std::nullopt}, {"xx", std::nullopt},
        {"", std::nullopt}, {"en ", std::nullopt}};
    for (const auto& [code, lang] : cases) EXPECT_EQ(Lang::fromRawValue(code), lang) << code;
    for (Lang lang : Lang::allCases()) EXPECT_EQ(Lang::fromRawValue(lang.rawValue()), lang);
    EXPECT_EQ(Lang(Lang::pt).promptLanguage(), "Portuguese");
    EXPECT_EQ(Lang(Lang::zh).promptLanguage(), "Chinese");
}

TEST_F(L10nTest, LookupFollowsTheCurrentLanguageAtOnce) {
    Lang::setCurrent(Lang::zh);
    EXPECT_EQ(t("st_busy"), "运行中");
    Lang::setCurrent(Lang::fromRawValue("xx").value_or(Lang::en));
    EXPECT_EQ(t("st_busy"), "working");
    EXPECT_EQ(t("no_such_key"), "no_such_key");
    EXPECT_EQ(t("no_such_key", {3}), "no_such_key");
}

TEST_F(L10nTest, OnlyAtAndDPlaceholdersAreFilledInOrder) {
    const std::vector<std::tuple<std::string, std::vector<L10nArg>, std::string>> cases = {
        {"session ended with error %d", {2}, "session ended with error 2"},
        {"Move “%@” to “%@”?", {"a", "b"}, "Move “a” to “b”?"},
        {"Move “%@” to “%@”?", {"a"}, "Move “a” to “”?"},
        {"%@|%d|%@", {}, "||"},
        {"%d", {-7, "extra"}, "-7"},
        {"%s %n %x %% %", {"x"}, "%s %n %x %% %"},
        {"%@", {"%d %@"}, "%d %@"},
        {"100%", {1}, "100%"},
    };
    for (const auto& [text, args, expected] : cases) EXPECT_EQ(L10n::format(text, args), expected) << text;
    Lang::setCurrent(Lang::de);
    EXPECT_EQ(t("session_ended_code", {2}), "Sitzung mit Fehler 2 beendet");
}

// The counts a user meets: one, a few, many, and 21, which Russian reads as one.
// A size: the decimal unit that fits (1 kB = 1000 bytes), one decimal unless it is 0,
// the decimal mark and unit as the language writes them.
TEST_F(L10nTest, SizesTakeTheLanguagesMarkAndUnits) {
    const struct {
        Lang lang;
        unsigned long long bytes;
        std::string shown;
    } cases[] = {
        {Lang::en, 0, "0 B"},          {Lang::en, 999, "999 B"},            {Lang::en, 1000, "1 kB"},
        {Lang::en, 1023, "1 kB"},      {Lang::en, 1024, "1 kB"},            {Lang::en, 4'325'376, "4.3 MB"},
        {Lang::en, 263'090'995, "263.1 MB"}, {Lang::de, 263'090'995, "263,1 MB"}, {Lang::fr, 263'090'995, "263,1 Mo"},
        {Lang::fr, 1500, "1,5 ko"},    {Lang::ru, 1500, "1,5 кБ"},
        {Lang::zh, 1ull << 30, "1.1 GB"}, {Lang::ru, 3ull << 29, "1,6 ГБ"}, {Lang::en, 5ull << 40, "5497.6 GB"},
        // What rounds up to 1000 of a unit is 1 of the next.
        {Lang::en, 999'949, "999.9 kB"}, {Lang::en, 999'999, "1 MB"},
    };
    for (const auto& c : cases) {
        Lang::setCurrent(c.lang);
        EXPECT_EQ(tByteSize(c.bytes), c.shown) << c.bytes;
    }
}

// The desktop's own size text is the oracle for the number and unit, at every rounding edge: ours
// are its own but for the ".0" it keeps and we leave out, and its "1000.0 kB", which we say as the
// next unit's 1 (its bytes say "bytes"; its space does not break).
TEST_F(L10nTest, SizesAreTheDesktopsNumbersWithoutItsDotZero) {
    std::vector<unsigned long long> sizes;
    for (unsigned long long scale = 1; scale <= 100'000'000'000ull; scale *= 10) {
        for (unsigned long long near : {scale - 1, scale, scale + 1, scale * 5 / 4, scale * 105 / 100, scale * 3 / 2}) {
            sizes.push_back(near);
            sizes.push_back(near * 1024 / 1000);
        }
    }
    for (unsigned long long shift = 0; shift < 40; ++shift) sizes.push_back(1ull << shift);
    for (unsigned long long x = 1; x < 400'000'000'000ull; x = x * 37 + 11) sizes.push_back(x);
    for (const unsigned long long bytes : sizes) {
        gchar* desktop = g_format_size(bytes);
        std::string expected = desktop;
        g_free(desktop);
        // It parts number and unit with a no-break space.
        const std::string_view space = expected.find("\u00a0") != std::string::npos ? "\u00a0" : " ";
        const size_t blank = expected.find(space);
        std::string number = expected.substr(0, blank), unit = expected.substr(blank + space.size());
        if (unit == "bytes" || unit == "byte") unit = "B";
        if (number == "1000.0") number = "1", unit = unit == "kB" ? "MB" : "GB";
        if (number.ends_with(".0")) number.resize(number.size() - 2);
        EXPECT_EQ(tByteSize(bytes), number + " " + unit) << bytes;
    }
}

TEST_F(L10nTest, CountsChooseTheLanguagesPluralForms) {
    const struct {
        Lang lang;
        long long count;
        const char* tiles;
        const char* quitStart;
    } cases[] = {
        {Lang::en, 1, "tile", "1 tile is running. Its conversation"},
        {Lang::en, 2, "tiles", "2 tiles are running. Their conversations"},
        {Lang::en, 5, "tiles", "5 tiles are running."},
        {Lang::en, 21, "tiles", "21 tiles are running."},
        {Lang::de, 1, "Kachel", "1 Kachel läuft. Das Gespräch"},
        {Lang::de, 2, "Kacheln", "2 Kacheln laufen. Die Gespräche"},
        {Lang::de, 5, "Kacheln", "5 Kacheln laufen."},
        {Lang::de, 21, "Kacheln", "21 Kacheln laufen."},
        {Lang::ru, 1, "плитка", "Запущена 1 плитка."},
        {Lang::ru, 2, "плитки", "Запущены 2 плитки."},
        {Lang::ru, 5, "плиток", "Запущено 5 плиток."},
        {Lang::ru, 21, "плитка", "Запущена 21 плитка."},
        {Lang::ru, 0, "плиток", "Запущено 0 плиток."},
        {Lang::pl, 22, "kafelki", "Działają 22 kafelki."},
        {Lang::pl, 25, "kafelków", "Działa 25 kafelków."},
        {Lang::fr, 0, "tuile", "0 tuile en cours."},
        {Lang::zh, 1, "磁贴", "有 1 个磁贴正在运行。"},
    };
    for (const auto& c : cases) {
        Lang::setCurrent(c.lang);
        SCOPED_TRACE(std::string(c.lang.rawValue()) + " " + std::to_string(c.count));
        EXPECT_EQ(tCount("tiles", c.count), c.tiles);
        EXPECT_EQ(tCount("quit_info", c.count).rfind(c.quitStart, 0), 0u) << tCount("quit_info", c.count);
    }
    Lang::setCurrent(Lang::en);
    EXPECT_EQ(tCount("no_such_key", 1), "no_such_key");
}

// A form is written only for a category the language has, and carries the key's placeholders.
TEST_F(L10nTest, PluralFormsBelongToTheirLanguagesCategories) {
    const long long samples[] = {0, 1, 2, 3, 4, 5, 11, 12, 21, 22, 25, 101, 1000000};
    for (const L10nPluralEntry& entry : l10nPluralEntries()) {
        ASSERT_TRUE(L10n::text(entry.key, Lang::en)) << entry.key;
        for (Lang lang : Lang::allCases()) {
            const char* form = entry.texts[lang.index()];
            if (!form) continue;
            SCOPED_TRACE(std::string(entry.key) + " " + entry.category + " " + std::string(lang.rawValue()));
            bool used = false;
            for (long long n : samples) used = used || L10n::pluralCategory(lang, n) == entry.category;
            EXPECT_TRUE(used);
            const std::string own(*L10n::text(entry.key, lang));
            EXPECT_EQ(std::string_view(form).find("%d") != std::string_view::npos, own.find("%d") != std::string::npos);
        }
    }
}

}  // namespace
}  // namespace quiltdeck
