#include "quiltdeck/sessions/Branding.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/gfx/ImageDecoder.h"
#include "quiltdeck/AppTestSupport.h"
#include "support/PngOfSize.h"

namespace quiltdeck {
namespace {

using testing::makeFile;
using testing::TempFolder;

// PNG bytes as the text that makeFile writes.
std::string png(int width, int height) {
    const std::vector<uint8_t> bytes = testing::pngOfSize(width, height);
    return std::string(bytes.begin(), bytes.end());
}

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
    std::string put(const std::string& relative, const std::string& content = "") const {
        makeFile(project_ + "/" + relative, content);
        return project_ + "/" + relative;
    }
    std::optional<std::string> logoPath(const Store::StringMap& choices = {}) const {
        auto found = Branding::logo(project_, choices, home_.path().string());
        if (found) {
            EXPECT_FALSE(found->image.isEmpty());
        }
        return found ? std::optional(found->path) : std::nullopt;
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

TEST_F(BrandingScan, LogoIsTheStoredChoiceElseAFixedPathElseTheScan) {
    EXPECT_EQ(logoPath(), std::nullopt);
    const std::string scanned = put("static/acme-site-mark.png", png(2, 2));
    EXPECT_EQ(logoPath(), scanned);
    const std::string icon = put("icon.png", png(2, 2));
    EXPECT_EQ(logoPath(), icon);
    const std::string logo = put("public/logo.png", png(3, 3));
    put("app/icon.png", "not an image");
    ASSERT_EQ(::mkfifo((project_ + "/app/icon.svg").c_str(), 0600), 0);
    EXPECT_EQ(logoPath(), logo);

    const std::string gone = put("chosen.png", png(2, 2));
    EXPECT_EQ(logoPath({{project_, gone}}), gone);
    std::filesystem::remove(gone);
    EXPECT_EQ(logoPath({{project_, gone}}), std::nullopt);
    EXPECT_EQ(logoPath({{project_, ""}}), std::nullopt);
    EXPECT_EQ(logoPath({{project_ + "/", ""}}), logo);  // the key is the folder exactly as given
}

TEST_F(BrandingScan, OversizeImagesAreRefusedBeforeDecoding) {
    const struct {
        int width, height;
        bool shown;
    } cases[] = {{4096, 2, true}, {4097, 1, false}, {1, 4097, false}};
    for (const auto& test : cases) {
        put("logo.png", png(test.width, test.height));
        EXPECT_EQ(logoPath().has_value(), test.shown) << test.width << "x" << test.height;
    }
    // The logo's limit, not the decoder's own.
    EXPECT_EQ(platform::gfx::ImageDecoder::decode(testing::pngOfSize(4097, 1)).status,
              platform::gfx::ImageDecoder::Status::decoded);
}

}  // namespace
}  // namespace quiltdeck
