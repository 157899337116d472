#pragma once

#include <memory>
#include <optional>
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

// Something made, or why it could not be.
template <typename T>
struct GpuResult {
    std::shared_ptr<T> value;
    std::optional<GpuError> error;

    explicit operator bool() const { return value != nullptr; }
    static GpuResult failure(GpuError::Kind kind, std::string payload = {}) {
        return {nullptr, GpuError{kind, std::move(payload)}};
    }
};

}  // namespace vantel
