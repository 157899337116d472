#include "quiltdeck/sessions/Branding.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/gfx/ImageDecoder.h"
#include "quiltdeck/AppTestSupport.h"

namespace quiltdeck {
namespace {

using testing::makeFile;
using testing::TempFolder;

std::string bigEndian(uint32_t value) {
    return {char(value >> 24), char(value >> 16 & 0xFF), char(value >> 8 & 0xFF), char(value & 0xFF)};
}

std::string pngChunk(const std::string& type, const std::string& data) {
    uint32_t crc = 0xFFFFFFFF;
    for (unsigned char byte : type + data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return bigEndian(static_cast<uint32_t>(data.size())) + type + data + bigEndian(~crc);
}

// A grey PNG of the size. Its pixels are stored uncompressed, so only small
// images are whole; larger ones end after the header.
std::string png(uint32_t width, uint32_t height) {
    std::string raw;
    for (uint32_t row = 0; row < height && raw.size() < 60000; ++row) raw += '\0' + std::string(width, '\x80');
    uint32_t a = 1, b = 0;
    for (unsigned char byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    const auto size = static_cast<uint16_t>(raw.size());
    std::string deflated = std::string("\x78\x01\x01", 3) + char(size & 0xFF) + char(size >> 8) +
                           char(~size & 0xFF) + char((~size >> 8) & 0xFF) + raw + bigEndian(b << 16 | a);
    return "\x89PNG\r\n\x1A\n" + pngChunk("IHDR", bigEndian(width) + bigEndian(height) + std::string("\x08\0\0\0\0", 5)) +
           pngChunk("IDAT", deflated) + pngChunk("IEND", "");
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
        uint32_t width, height;
        bool shown;
    } cases[] = {{4096, 2, true}, {4097, 1, false}, {1, 4097, false}, {30000, 30000, false}};
    for (const auto& test : cases) {
        const std::string path = put("logo.png", png(test.width, test.height));
        EXPECT_EQ(logoPath().has_value(), test.shown) << test.width << "x" << test.height;
    }
    const std::string wide = png(4097, 1);
    EXPECT_EQ(platform::gfx::ImageDecoder::decode(std::span(reinterpret_cast<const uint8_t*>(wide.data()), wide.size()))
                  .status,
              platform::gfx::ImageDecoder::Status::decoded);
}

}  // namespace
}  // namespace quiltdeck
