#include "vantel/gpu/GpuShaderLibrary.h"

#include "platform/gpu/Device.h"
#include "platform/runtime/SystemLog.h"
#include "vantel/gpu/ShaderInterface.h"

namespace vantel {

using platform::gpu::BlendFactor;
using platform::gpu::BlendState;
using platform::gpu::ShaderSource;
using platform::gpu::ShaderStage;
using platform::gpu::VertexLayout;

namespace {

// Pixels to clip space: (0, 0) is the lower-left corner, the viewport size the upper right.
constexpr const char* clipSpace = R"(
uniform vec2 viewport;
vec4 clipPosition(vec2 pixels) { return vec4(pixels / viewport * 2.0 - 1.0, 0.0, 1.0); }
)";

// The corners of a cell's two triangles: (min, min), (max, min), (min, max), (max, min),
// (max, max), (min, max).
constexpr const char* cellCorners = R"(
const vec2 corners[6] = vec2[6](vec2(0.0, 0.0), vec2(1.0, 0.0), vec2(0.0, 1.0),
                                vec2(1.0, 0.0), vec2(1.0, 1.0), vec2(0.0, 1.0));
)";

std::string vertexSource(const char* body, bool cells) {
    return std::string("#version 330 core\n") + clipSpace + (cells ? cellCorners : "") + body;
}

std::vector<ShaderSource> makeSources() {
    return {
        {shader::textVertex, ShaderStage::vertex, vertexSource(R"(
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 texCoord;
layout(location = 2) in vec4 color;
out vec2 vTexCoord;
out vec4 vColor;
void main() {
    gl_Position = clipPosition(position);
    vTexCoord = texCoord;
    vColor = color;
}
)", false)},
        {shader::cellTextVertex, ShaderStage::vertex, vertexSource(R"(
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 size;
layout(location = 2) in vec2 texOrigin;
layout(location = 3) in vec2 texSize;
layout(location = 4) in vec4 color;
out vec2 vTexCoord;
out vec4 vColor;
void main() {
    vec2 corner = corners[gl_VertexID % 6];
    gl_Position = clipPosition(position + corner * size);
    vTexCoord = texOrigin + corner * texSize;
    vColor = color;
}
)", true)},
        {shader::textFragment, ShaderStage::fragment, R"(#version 330 core
uniform sampler2D atlas;
in vec2 vTexCoord;
in vec4 vColor;
out vec4 fragColor;
void main() { fragColor = texture(atlas, vTexCoord) * vColor; }
)"},
        {shader::textFragmentGray, ShaderStage::fragment, R"(#version 330 core
uniform sampler2D atlas;
in vec2 vTexCoord;
in vec4 vColor;
out vec4 fragColor;
void main() {
    float coverage = texture(atlas, vTexCoord).r * vColor.a;
    fragColor = vec4(vColor.rgb * coverage, coverage);
}
)"},
        {shader::colorVertex, ShaderStage::vertex, vertexSource(R"(
layout(location = 0) in vec2 position;
layout(location = 1) in vec4 color;
out vec4 vColor;
void main() {
    gl_Position = clipPosition(position);
    vColor = color;
}
)", false)},
        {shader::cellColorVertex, ShaderStage::vertex, vertexSource(R"(
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 size;
layout(location = 2) in vec4 color;
out vec4 vColor;
void main() {
    gl_Position = clipPosition(position + corners[gl_VertexID % 6] * size);
    vColor = color;
}
)", true)},
        {shader::colorFragment, ShaderStage::fragment, R"(#version 330 core
in vec4 vColor;
out vec4 fragColor;
void main() { fragColor = vColor; }
)"},
    };
}

const VertexLayout glyphVertexLayout{sizeof(GlyphVertex), false,
                                     {{0, 2, offsetof(GlyphVertex, position)},
                                      {1, 2, offsetof(GlyphVertex, texCoord)},
                                      {2, 4, offsetof(GlyphVertex, color)}}};
const VertexLayout textCellLayout{sizeof(TextCell), true,
                                  {{0, 2, offsetof(TextCell, position)},
                                   {1, 2, offsetof(TextCell, size)},
                                   {2, 2, offsetof(TextCell, texOrigin)},
                                   {3, 2, offsetof(TextCell, texSize)},
                                   {4, 4, offsetof(TextCell, color)}}};
const VertexLayout colorVertexLayout{sizeof(ColorVertex), false,
                                     {{0, 2, offsetof(ColorVertex, position)}, {1, 4, offsetof(ColorVertex, color)}}};
const VertexLayout colorCellLayout{sizeof(ColorCell), true,
                                   {{0, 2, offsetof(ColorCell, position)},
                                    {1, 2, offsetof(ColorCell, size)},
                                    {2, 4, offsetof(ColorCell, color)}}};

// Text: premultiplied colour. Colour: straight alpha for RGB, alpha accumulates.
constexpr BlendState textBlend{true, BlendFactor::one, BlendFactor::oneMinusSourceAlpha, BlendFactor::one,
                               BlendFactor::oneMinusSourceAlpha};
constexpr BlendState colorBlend{true, BlendFactor::sourceAlpha, BlendFactor::oneMinusSourceAlpha, BlendFactor::one,
                                BlendFactor::oneMinusSourceAlpha};

}  // namespace

const std::vector<std::string>& GpuShaderLibrary::requiredShaderFunctions() {
    static const std::vector<std::string> names{shader::textVertex,  shader::cellTextVertex,  shader::textFragment,
                                                shader::textFragmentGray, shader::colorVertex, shader::cellColorVertex,
                                                shader::colorFragment};
    return names;
}

const std::vector<ShaderSource>& GpuShaderLibrary::defaultSources() {
    static const std::vector<ShaderSource> sources = makeSources();
    return sources;
}

bool GpuShaderLibrary::libraryHasRequiredFunctions(const platform::gpu::Library& library) {
    for (const auto& name : requiredShaderFunctions())
        if (!library.function(name)) return false;
    return true;
}

GpuResult<platform::gpu::Library> GpuShaderLibrary::makeLibrary(platform::gpu::Device& device,
                                                                const std::vector<ShaderSource>& sources) {
    std::string error;
    auto library = device.makeLibrary(sources, &error);
    if (!library) return GpuResult<platform::gpu::Library>::failure(GpuError::Kind::shaderCompilationFailed, error);
    if (!libraryHasRequiredFunctions(*library)) {
        std::string all;
        for (const auto& name : requiredShaderFunctions()) all += (all.empty() ? "" : ", ") + name;
        return GpuResult<platform::gpu::Library>::failure(GpuError::Kind::shaderFunctionMissing, all);
    }
    return {library, std::nullopt};
}

GpuResult<GpuPipelines> GpuShaderLibrary::makePipelines(platform::gpu::Device& device,
                                                        const platform::gpu::Library& library,
                                                        platform::gpu::PixelFormat colorPixelFormat) {
    struct Spec {
        std::shared_ptr<platform::gpu::RenderPipeline> GpuPipelines::*slot;
        const char* vertex;
        const char* fragment;
        const VertexLayout* layout;
        BlendState blend;
    };
    const Spec specs[] = {
        {&GpuPipelines::text, shader::textVertex, shader::textFragment, &glyphVertexLayout, textBlend},
        {&GpuPipelines::textGray, shader::textVertex, shader::textFragmentGray, &glyphVertexLayout, textBlend},
        {&GpuPipelines::cellText, shader::cellTextVertex, shader::textFragment, &textCellLayout, textBlend},
        {&GpuPipelines::cellTextGray, shader::cellTextVertex, shader::textFragmentGray, &textCellLayout, textBlend},
        {&GpuPipelines::color, shader::colorVertex, shader::colorFragment, &colorVertexLayout, colorBlend},
        {&GpuPipelines::cellColor, shader::cellColorVertex, shader::colorFragment, &colorCellLayout, colorBlend},
    };
    auto pipelines = std::make_shared<GpuPipelines>();
    for (const auto& spec : specs) {
        platform::gpu::RenderPipelineDescriptor descriptor;
        descriptor.label = std::string(spec.vertex) + "+" + spec.fragment;
        descriptor.vertexFunction = library.function(spec.vertex);
        descriptor.fragmentFunction = library.function(spec.fragment);
        descriptor.colorPixelFormat = colorPixelFormat;
        descriptor.blend = spec.blend;
        descriptor.layout = *spec.layout;
        // Which pipeline failed, and why, is not part of the error: only the log says.
        std::string why;
        auto pipeline = device.makeRenderPipeline(descriptor, &why);
        if (!pipeline) {
            platform::runtime::SystemLog::write(platform::runtime::LogLevel::error, "",
                                                "GPU pipeline " + descriptor.label + " failed: " + why);
            return GpuResult<GpuPipelines>::failure(GpuError::Kind::pipelineCreationFailed, "text/color/cell");
        }
        (*pipelines).*spec.slot = std::move(pipeline);
    }
    return {pipelines, std::nullopt};
}

}  // namespace vantel
