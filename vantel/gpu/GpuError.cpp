#include "vantel/gpu/GpuError.h"

namespace vantel {

std::string GpuError::description() const {
    switch (kind) {
        case Kind::shaderLibraryLoadFailed: return "Failed to load Metal library: " + payload;
        case Kind::shaderFunctionMissing: return "Metal library missing required function: " + payload;
        case Kind::shaderSourceMissing: return "Failed to load Metal shader source: " + payload;
        case Kind::shaderCompilationFailed: return "Failed to compile Metal shader source: " + payload;
        case Kind::pipelineCreationFailed: return "Failed to create Metal pipeline: " + payload;
        case Kind::gpuKitUnavailable: return "MetalKit is unavailable.";
        case Kind::deviceUnavailable: return "No Metal device is available.";
        case Kind::commandQueueUnavailable: return "Failed to create Metal command queue.";
        case Kind::atlasUnavailable: return "Failed to create the glyph atlas.";
        case Kind::shaderLibraryMissing: return "Failed to locate a Metal library in bundle resources.";
        case Kind::samplerUnavailable: return "Failed to create Metal sampler state.";
    }
    return {};
}

}  // namespace vantel
