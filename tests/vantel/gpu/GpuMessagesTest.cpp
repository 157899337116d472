// What the GPU path says to people: its errors and its states name this platform's layers.
#include <gtest/gtest.h>

#include "support/ForeignPlatformWords.h"
#include "vantel/gpu/GpuError.h"
#include "vantel/gpu/GpuRendererStatus.h"

namespace vantel {
namespace {

using Kind = GpuError::Kind;
using State = GpuRendererStatus::State;

TEST(GpuMessages, ErrorsAndStatesSpeakOfOpenGLAndTheCpuRenderer) {
    const Kind kinds[] = {Kind::shaderLibraryLoadFailed, Kind::shaderFunctionMissing, Kind::shaderSourceMissing,
                          Kind::shaderCompilationFailed, Kind::pipelineCreationFailed,  Kind::gpuKitUnavailable,
                          Kind::deviceUnavailable,       Kind::commandQueueUnavailable, Kind::atlasUnavailable,
                          Kind::shaderLibraryMissing,    Kind::samplerUnavailable};
    for (Kind kind : kinds) {
        const std::string text = GpuError{kind, "x"}.description();
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(testing_support::foreignPlatformWord(text), std::nullopt) << text;
    }
    const GpuError noContext{Kind::deviceUnavailable, {}};
    EXPECT_EQ(noContext.description(), "No OpenGL 3.3 context is available.");
    const GpuError compile{Kind::shaderCompilationFailed, "f: 0:1 error"};
    EXPECT_EQ(compile.description(), "Failed to compile OpenGL shader source: f: 0:1 error");
    for (State state : {State::disabled, State::waitingForFirstFrame, State::healthy, State::recovering, State::fellBackToCpu})
        EXPECT_EQ(testing_support::foreignPlatformWord(describe(state)), std::nullopt) << describe(state);
    EXPECT_STREQ(describe(State::fellBackToCpu), "fell back to the CPU renderer");
}

TEST(GpuMessages, TheWordCheckFindsWhatItLooksFor) {
    const struct {
        const char* text;
        std::optional<std::string> found;
    } cases[] = {
        {"No Metal device is available.", "Metal"},
        {"falling back to CoreGraphics", "CoreGraphics"},
        {"The dock icon changes", "dock"},
        {"Ikona w Docku zmieni się", "Dock"},
        {"after running ./bundle.sh again", "bundle.sh"},
        {"Checking this Mac", "Mac"},
        {"the Macs here", "Mac"},
        {"Machine learning and macros", std::nullopt},
        {"a paddock", std::nullopt},
        {"程序坞图标", "程序坞"},
        {"OpenGL 3.3 and the CPU renderer", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(testing_support::foreignPlatformWord(c.text), c.found) << c.text;
}

}  // namespace
}  // namespace vantel
