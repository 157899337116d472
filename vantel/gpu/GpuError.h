#pragma once

#include <string>

namespace vantel {

// Why a GPU renderer could not be set up. The texts are the ones the library has always logged.
struct GpuError {
    enum class Kind {
        shaderLibraryLoadFailed,
        shaderFunctionMissing,
        shaderSourceMissing,
        shaderCompilationFailed,
        pipelineCreationFailed,
        gpuKitUnavailable,
        deviceUnavailable,
        commandQueueUnavailable,
        atlasUnavailable,
        shaderLibraryMissing,
        samplerUnavailable,
    };

    Kind kind = Kind::deviceUnavailable;
    std::string payload;  // the first five kinds only

    std::string description() const;
    friend bool operator==(const GpuError&, const GpuError&) = default;
};

}  // namespace vantel
