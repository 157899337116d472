#include "platform/gfx/ApplicationFonts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace platform::gfx {
namespace {

// Answers are kept until the set of fonts changes: a face added later is found, though the same
// question had no answer before.
TEST(ApplicationFonts, AFaceAddedLaterIsFoundThoughTheFamilyWasMissing) {
    const std::filesystem::path folder = "/usr/share/fonts/opentype/inter";
    struct Step {
        const char* add;
        FontWeight weight;
        std::optional<std::string> face;
    };
    const Step steps[] = {
        {nullptr, FontWeight::bold, std::nullopt},
        {nullptr, FontWeight::bold, std::nullopt},
        {"Inter-Bold.otf", FontWeight::bold, "Inter-Bold"},
        {nullptr, FontWeight::bold, "Inter-Bold"},
        {"Inter-Light.otf", FontWeight::light, "Inter-Light"},
        {nullptr, FontWeight::bold, "Inter-Bold"},
    };
    for (const Step& step : steps) {
        if (step.add) {
            ASSERT_TRUE(ApplicationFonts::add(folder / step.add));
            ApplicationFonts::changed();
        }
        EXPECT_EQ(ApplicationFonts::faceName("Inter", step.weight), step.face) << (step.add ? step.add : "-");
    }
}

}  // namespace
}  // namespace platform::gfx
