#include "quiltdeck/shell/L10n.h"

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

}  // namespace
}  // namespace quiltdeck
