#include "vantel/gpu/GpuError.h"

namespace vantel {

std::string GpuError::description() const {
    switch (kind) {
        case Kind::shaderLibraryLoadFailed: return "Failed to load the OpenGL shader programs: " + payload;
        case Kind::shaderFunctionMissing: return "OpenGL shader programs missing required function: " + payload;
        case Kind::shaderSourceMissing: return "Failed to load OpenGL shader source: " + payload;
        case Kind::shaderCompilationFailed: return "Failed to compile OpenGL shader source: " + payload;
        case Kind::pipelineCreationFailed: return "Failed to link OpenGL program: " + payload;
        case Kind::gpuKitUnavailable: return "No GPU renderer is built into this program.";
        case Kind::deviceUnavailable: return "No OpenGL 3.3 context is available.";
        case Kind::commandQueueUnavailable: return "The OpenGL 3.3 context keeps failing.";
        case Kind::atlasUnavailable: return "Failed to create the glyph atlas.";
        case Kind::shaderLibraryMissing: return "Failed to locate the OpenGL shader programs.";
        case Kind::samplerUnavailable: return "Failed to create an OpenGL sampler.";
    }
    return {};
}

}  // namespace vantel
