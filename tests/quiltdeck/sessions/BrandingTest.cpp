#include "quiltdeck/sessions/Branding.h"

#include <gtest/gtest.h>

#include "quiltdeck/AppTestSupport.h"

namespace quiltdeck {
namespace {

using testing::makeFile;
using testing::TempFolder;

TEST(BrandingScore, FileNamesScoreByKindNameAndProjectWords) {
    const std::vector<std::string> words = {"acme-site"};
    const struct {
        const char* name;
        std::optional<int> score;
    } cases[] = {
        {"brand-mark.svg", 3},       {"logo.svg", 6},      {"favicon.ico", 5},   {"og-image.png", -3},
        {"vercel.svg", std::nullopt}, {"Vercel.SVG", std::nullopt}, {"acme-site-wordmark.png", 8},
        {"LOGO.PNG", 6},             {"app-icon.jpeg", 5}, {"icon-logo.webp", 8}, {"hero-logo.png", 0},
        {"email-banner.png", -3},    {"readme.md", std::nullopt}, {".png", std::nullopt}, {"logo", std::nullopt},
    };
    for (const auto& test : cases) EXPECT_EQ(Branding::score(test.name, words), test.score) << test.name;
}

TEST(BrandingScore, ProjectWordsComeFromTheFoldersBelowHome) {
    const struct {
        const char* cwd;
        const char* home;
        std::vector<std::string> words;
    } cases[] = {
        {"/home/al/Projects/my-shop", "/home/al", {"projects", "my-shop"}},
        {"/home/al/apps/web/src/Shop", "/home/al", {"shop"}},
        {"/home/alice/site", "/home/al", {"home", "alice", "site"}},
        {"/srv//packages/acme-site/", "/home/al", {"acme-site"}},
    };
    for (const auto& test : cases) EXPECT_EQ(Branding::projectWords(test.cwd, test.home), test.words) << test.cwd;
}

class BrandingScan : public ::testing::Test {
protected:
    std::string put(const std::string& relative) const {
        makeFile(project_ + "/" + relative);
        return project_ + "/" + relative;
    }
    TempFolder home_;
    const std::string project_ = home_.path().string() + "/acme-site";
};

TEST_F(BrandingScan, CandidatesRankByScoreAndKeepDiscoveryOrder) {
    const std::string mark = put("assets/brand-mark.svg");
    EXPECT_EQ(Branding::scan(project_, home_.path().string()), mark);
    EXPECT_TRUE(Branding::candidates(project_, home_.path().string()).empty());

    const std::string logo = put("static/logo.svg");
    const std::string wordmark = put("public/acme-site-wordmark.png");
    const std::string tie = put("public/brand/logo.png");
    const std::string local = put("logo.png");
    put("public/og-image.png");
    put("public/vercel.svg");
    EXPECT_EQ(local, project_ + "/logo.png");
    EXPECT_EQ(Branding::scored(project_, home_.path().string()),
              (std::vector<Branding::Candidate>{{8, wordmark}, {3, mark}, {6, logo}, {6, tie}, {6, project_ + "/./logo.png"}}));
    EXPECT_EQ(Branding::scan(project_, home_.path().string()), wordmark);
    EXPECT_EQ(Branding::candidates(project_, home_.path().string()),
              (std::vector<std::string>{wordmark, logo, tie, project_ + "/./logo.png"}));
    EXPECT_TRUE(Branding::scored(project_ + "/missing", home_.path().string()).empty());
}

}  // namespace
}  // namespace quiltdeck
