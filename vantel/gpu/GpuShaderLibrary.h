#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gpu/GpuTypes.h"
#include "platform/gpu/Library.h"
#include "platform/gpu/RenderPipeline.h"
#include "vantel/gpu/GpuError.h"

namespace platform::gpu {
class Device;
}

namespace vantel {

// The six pipelines of the renderer, each named after its two functions.
struct GpuPipelines {
    std::shared_ptr<platform::gpu::RenderPipeline> text;          // GlyphVertex, colour texture
    std::shared_ptr<platform::gpu::RenderPipeline> textGray;      // GlyphVertex, coverage texture
    std::shared_ptr<platform::gpu::RenderPipeline> cellText;      // TextCell × 6, colour texture
    std::shared_ptr<platform::gpu::RenderPipeline> cellTextGray;  // TextCell × 6, coverage texture
    std::shared_ptr<platform::gpu::RenderPipeline> color;         // ColorVertex
    std::shared_ptr<platform::gpu::RenderPipeline> cellColor;     // ColorCell × 6
};

// The renderer's shaders: GLSL 330 core sources kept in the program, compiled when a renderer is
// set up. Text pipelines take premultiplied colour (source factor one); colour pipelines take
// straight alpha.
struct GpuShaderLibrary {
    // The seven function names, in the order they are looked up.
    static const std::vector<std::string>& requiredShaderFunctions();
    static const std::vector<platform::gpu::ShaderSource>& defaultSources();

    // Compiles the sources. A compile error gives shaderCompilationFailed with the shader's name
    // and info log; a library without all seven functions gives shaderFunctionMissing listing
    // all seven.
    static GpuResult<platform::gpu::Library> makeLibrary(platform::gpu::Device& device,
                                                         const std::vector<platform::gpu::ShaderSource>& sources);
    static bool libraryHasRequiredFunctions(const platform::gpu::Library& library);
    // The pipelines in the order text, textGray, cellText, cellTextGray, color, cellColor; any
    // failure gives pipelineCreationFailed("text/color/cell").
    static GpuResult<GpuPipelines> makePipelines(platform::gpu::Device& device, const platform::gpu::Library& library,
                                                 platform::gpu::PixelFormat colorPixelFormat);
};

}  // namespace vantel
