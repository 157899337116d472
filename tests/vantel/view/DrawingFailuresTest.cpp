// A picture or a text that cannot be drawn says why in the system log, once.
#include <gtest/gtest.h>

#include <functional>

#include "platform/gfx/Shaper.h"
#include "platform/runtime/SystemLog.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "support/PngOfSize.h"
#include "support/TerminalTestSupport.h"
#include "vantel/view/InlineImages.h"
#include "vantel/view/KittyPictureCache.h"

using namespace vantel;
using platform::runtime::ScopedLogCapture;

TEST(DrawingFailures, AreSaidOnceWithTheirCause) {
    struct Case {
        const char* name;
        const char* category;
        std::function<void()> fail;  // run twice
        const char* says;
    } cases[] = {
        {"a PNG that does not decode", "images",
         [] {
             static auto payload =
                 std::make_shared<const KittyGraphicsPayload>(KittyGraphicsPayload::png({0x89, 'P', 'N', 'G', 0}));
             static KittyPictureCache cache;
             cache.beginFrame();
             EXPECT_EQ(cache.picture(payload), nullptr);
         },
         "a Kitty picture did not decode: 5 bytes of PNG"},
        {"pixels that do not fill their size", "images",
         [] {
             static auto payload = std::make_shared<const KittyGraphicsPayload>(
                 KittyGraphicsPayload::rgba(std::vector<uint8_t>(12), 64, 64));
             static KittyPictureCache cache;
             EXPECT_EQ(cache.picture(payload), nullptr);
         },
         "12 bytes do not make 64x64 RGBA pixels"},
        {"shaping without a font", "fonts",
         [] { EXPECT_TRUE(platform::gfx::Shaper::shape(u"ab", nullptr).runs.empty()); },
         "shaping: no font"},
    };
    for (const Case& c : cases) {
        ScopedLogCapture capture;
        c.fail();
        c.fail();
        const std::vector<std::string> said = capture.messages(c.category);
        ASSERT_EQ(said.size(), 1u) << c.name;
        EXPECT_NE(said[0].find(c.says), std::string::npos) << c.name << ": " << said[0];
    }
}

// Each inline image is its own: every one that is not shown is said.
TEST(DrawingFailures, InlineImagesNotShownAreSaid) {
    vantel::testing::TestTerminal t(10, 5);
    const InlineImageView view{{80, 80}, {8, 16}, 1};
    ScopedLogCapture capture;
    InlineImages::createImage(*t, view, std::vector<uint8_t>{'n', 'o'}, ImageSizeRequest::automatic(),
                              ImageSizeRequest::automatic(), true);
    InlineImages::createImage(*t, view, std::vector<uint8_t>{'n', 'o', '!'}, ImageSizeRequest::automatic(),
                              ImageSizeRequest::automatic(), true);
    const std::vector<std::string> said = capture.messages("images");
    ASSERT_EQ(said.size(), 2u);
    EXPECT_NE(said[0].find("an inline image of 2 bytes is not shown"), std::string::npos) << said[0];
    EXPECT_NE(said[1].find("3 bytes"), std::string::npos) << said[1];
}

// However often a picture comes, not showing it is said once: a program that sends the same one
// ten thousand times is explained by a line, and each picture of a few is said once.
TEST(DrawingFailures, AnInlineImageNotShownIsSaidOnceHoweverOftenItComes) {
    vantel::testing::TestTerminal t(10, 5);
    const InlineImageView view{{80, 80}, {8, 16}, 1};
    const auto bytes = [](std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); };
    struct Case {
        const char* name;
        std::vector<std::vector<uint8_t>> pictures;  // sent in turn
        size_t said;
        const char* says;
        ImageSizeRequest width = ImageSizeRequest::automatic();
    } cases[] = {
        {"one picture that does not decode", {bytes("not a picture, sent again and again")}, 1, "it does not decode"},
        {"one picture wider than the view takes", {quiltdeck::testing::pngOfSize(1000, 10)}, 1, "refused"},
        {"three pictures in turn", {bytes("the first"), bytes("the second"), bytes("the third")}, 3, "not shown"},
        {"one picture asked at a size past the limits", {quiltdeck::testing::pngOfSize(6, 6)}, 1, "not shown",
         ImageSizeRequest::tooLarge()},
    };
    for (const Case& c : cases) {
        ScopedLogCapture capture;
        for (size_t i = 0; i < 10'000; ++i) {
            InlineImages::createImage(*t, view, c.pictures[i % c.pictures.size()], c.width,
                                      ImageSizeRequest::automatic(), true);
        }
        const std::vector<std::string> said = capture.messages("images");
        ASSERT_EQ(said.size(), c.said) << c.name;
        for (const std::string& line : said) EXPECT_NE(line.find(c.says), std::string::npos) << c.name << ": " << line;
    }
}

// Thousands of different pictures not shown are said a few lines a minute, not a line each.
TEST(DrawingFailures, ThousandsOfDifferentPicturesNotShownTakeAFewLines) {
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    vantel::testing::TestTerminal t(10, 5);
    const InlineImageView view{{80, 80}, {8, 16}, 1};
    ScopedLogCapture capture;
    for (int i = 0; i < 10'000; ++i) {
        const std::string text = "not a picture " + std::to_string(i);
        InlineImages::createImage(*t, view, std::vector<uint8_t>(text.begin(), text.end()),
                                  ImageSizeRequest::automatic(), ImageSizeRequest::automatic(), true);
    }
    for (int i = 0; i < 200; ++i) {
        InlineImages::createImage(*t, view, quiltdeck::testing::pngOfSize(1000 + i, 10), ImageSizeRequest::automatic(),
                                  ImageSizeRequest::automatic(), true);
    }
    loop.advance(std::chrono::minutes(1));
    const std::vector<std::string> said = capture.messages("images");
    EXPECT_LE(said.size(), 20u);
    EXPECT_EQ(said.back(), "and 195 more: inline images refused");
}
