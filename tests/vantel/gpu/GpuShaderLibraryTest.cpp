#include "vantel/gpu/GpuShaderLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/gpu/Buffer.h"
#include "platform/gpu/CommandQueue.h"
#include "platform/gpu/RenderEncoder.h"
#include "platform/gpu/Sampler.h"
#include "platform/gpu/Texture.h"
#include "platform/runtime/SystemLog.h"
#include "support/GpuTestSupport.h"
#include "vantel/gpu/ShaderInterface.h"

using namespace vantel;
using namespace platform::gpu;

namespace {

std::vector<ShaderSource> sourcesWith(const std::string& name, std::string text) {
    auto sources = GpuShaderLibrary::defaultSources();
    for (auto& source : sources)
        if (source.name == name) source.text = std::move(text);
    return sources;
}

std::array<uint8_t, 4> bgraAt(Texture& texture, int x, int y) {
    auto bytes = texture.readBytes(x, y, 1, 1);
    return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

}  // namespace

TEST(GpuShaderLibrary, BuildsSevenFunctionsAndSixPipelines) {
    GPU_TEST_DEVICE(device);
    auto library = GpuShaderLibrary::makeLibrary(*device, GpuShaderLibrary::defaultSources());
    ASSERT_TRUE(library) << library.error->description();
    EXPECT_EQ(library.value->functionNames().size(), 7u);
    auto pipelines = GpuShaderLibrary::makePipelines(*device, *library.value, PixelFormat::bgra8Unorm);
    ASSERT_TRUE(pipelines);
    EXPECT_EQ(pipelines.value->cellTextGray->label(), "terminal_cell_text_vertex+terminal_text_fragment_gray");
    EXPECT_TRUE(pipelines.value->cellTextGray->layout().perInstance);
    EXPECT_FALSE(pipelines.value->text->layout().perInstance);
    EXPECT_EQ(pipelines.value->color->blend().sourceRGB, BlendFactor::sourceAlpha);
    EXPECT_EQ(pipelines.value->text->blend().sourceRGB, BlendFactor::one);
}

// Broken sources give the three set-up errors with their texts.
TEST(GpuShaderLibrary, BrokenSourcesGiveTheirErrors) {
    GPU_TEST_DEVICE(device);
    platform::runtime::ScopedLogCapture log;
    auto compileError = GpuShaderLibrary::makeLibrary(
        *device, sourcesWith(shader::colorFragment, "#version 330 core\nvoid main() { nonsense(); }"));
    ASSERT_FALSE(compileError);
    EXPECT_EQ(compileError.error->kind, GpuError::Kind::shaderCompilationFailed);
    EXPECT_EQ(compileError.error->description().rfind(
                  "Failed to compile OpenGL shader source: terminal_color_fragment: ", 0),
              0u)
        << compileError.error->description();

    auto sources = GpuShaderLibrary::defaultSources();
    sources.erase(sources.begin() + 3);  // the grey text fragment
    auto missing = GpuShaderLibrary::makeLibrary(*device, sources);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error->description(),
              "OpenGL shader programs missing required function: terminal_text_vertex, terminal_cell_text_vertex, "
              "terminal_text_fragment, terminal_text_fragment_gray, terminal_color_vertex, "
              "terminal_cell_color_vertex, terminal_color_fragment");

    // Compiles, but reads a colour of another type than the vertex stages write.
    auto mismatched = GpuShaderLibrary::makeLibrary(
        *device, sourcesWith(shader::colorFragment,
                             "#version 330 core\nin vec3 vColor; out vec4 c; void main() { c = vec4(vColor, 1.0); }"));
    ASSERT_TRUE(mismatched);
    auto pipelines = GpuShaderLibrary::makePipelines(*device, *mismatched.value, PixelFormat::bgra8Unorm);
    ASSERT_FALSE(pipelines);
    EXPECT_EQ(pipelines.error->description(), "Failed to link OpenGL program: text/color/cell");
    ASSERT_EQ(log.messages("").size(), 1u);
    EXPECT_EQ(log.messages("")[0].rfind("GPU pipeline terminal_color_vertex+terminal_color_fragment failed: ", 0), 0u);
}

// A ColorCell and a TextCell (over a coverage texture) land on their pixels, y up.
TEST(GpuShaderLibrary, CellRecordsLandOnTheirPixels) {
    GPU_TEST_DEVICE(device);
    auto library = GpuShaderLibrary::makeLibrary(*device, GpuShaderLibrary::defaultSources());
    auto pipelines = GpuShaderLibrary::makePipelines(*device, *library.value, PixelFormat::bgra8Unorm).value;
    ASSERT_TRUE(pipelines);
    auto target = device->makeTexture(PixelFormat::bgra8Unorm, 32, 24);

    // Coverage: the left half of an 8 × 4 texture full, the right half empty.
    auto atlas = device->makeTexture(PixelFormat::r8Unorm, 8, 4);
    std::vector<uint8_t> coverage(32, 0);
    for (int row = 0; row < 4; ++row) std::fill_n(coverage.begin() + row * 8, 4, 255);
    atlas->replaceRegion(0, 0, 8, 4, coverage.data(), 8);
    auto sampler = device->makeSampler({SamplerFilter::nearest, SamplerFilter::nearest});

    const ColorCell box{{2, 3}, {10, 5}, {1, 0, 0, 1}};
    const TextCell glyph{{16, 10}, {16, 8}, {0, 0}, {1, 1}, {0, 0, 1, 1}};
    auto boxes = device->makeBuffer(&box, sizeof box);
    auto glyphs = device->makeBuffer(&glyph, sizeof glyph);

    auto commands = device->makeCommandQueue()->commandBuffer();
    auto encoder = commands->renderCommandEncoder({target, LoadAction::clear, {0, 0, 0, 1}});
    encoder->setRenderPipeline(pipelines->cellColor);
    encoder->setVertexViewport(32, 24);
    encoder->setVertexBuffer(boxes, 0, 0);
    encoder->drawTriangles(0, 6);
    encoder->setRenderPipeline(pipelines->cellTextGray);
    encoder->setVertexBuffer(glyphs, 0, 0);
    encoder->setFragmentTexture(atlas, 0);
    encoder->setFragmentSampler(sampler, 0);
    encoder->drawTriangles(0, 6);
    commands->commit();
    commands->waitUntilCompleted();

    const std::array<uint8_t, 4> black{0, 0, 0, 255}, red{0, 0, 255, 255}, blue{255, 0, 0, 255};
    struct Probe {
        int x, y;
        std::array<uint8_t, 4> bgra;
    } probes[] = {
        {2, 3, red},   {11, 7, red},   {12, 3, black}, {2, 8, black}, {1, 3, black},  // the box's edges
        {16, 10, blue}, {23, 17, blue}, {24, 10, black}, {31, 17, black},           // covered half, empty half
        {16, 18, black}, {15, 10, black},
    };
    for (const auto& probe : probes) EXPECT_EQ(bgraAt(*target, probe.x, probe.y), probe.bgra) << probe.x << "," << probe.y;
}
