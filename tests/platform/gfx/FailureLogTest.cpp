#include "platform/gfx/FailureLog.h"

#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include "platform/gfx/FontFace.h"
#include "platform/runtime/SystemLog.h"

using namespace platform::gfx;
using platform::runtime::ScopedLogCapture;

TEST(FailureLog, SaysEachKeyOnce) {
    ScopedLogCapture capture;
    logFailureOnce("fonts", "test key a", "first");
    logFailureOnce("fonts", "test key a", "again");
    logFailureOnce("fonts", "test key b", "other");
    EXPECT_EQ(capture.messages("fonts"), (std::vector<std::string>{"first", "other"}));
}

TEST(FailureLog, AFontFileThatDoesNotLoadGivesItsCause) {
    struct Case {
        const char* file;  // null: no file in the pattern
        const char* cause;
    } cases[] = {{"/nonexistent/quiltdeck-test.ttf", "/nonexistent/quiltdeck-test.ttf does not load in FreeType"},
                 {nullptr, "names no file"}};
    for (const Case& c : cases) {
        FcPattern* pattern = FcPatternCreate();
        if (c.file) FcPatternAddString(pattern, FC_FILE, reinterpret_cast<const FcChar8*>(c.file));
        std::string error;
        EXPECT_EQ(FontFace::open(pattern, nullptr, 13, {}, &error), nullptr);
        EXPECT_NE(error.find(c.cause), std::string::npos) << error;
        FcPatternDestroy(pattern);
    }
    std::string error;
    EXPECT_EQ(FontFace::open(nullptr, nullptr, 13, {}, &error), nullptr);
    EXPECT_EQ(error, "fontconfig matched no font");
}
