#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gpu/GpuTypes.h"

namespace platform::gpu {

class Device;
class Function;

// One float attribute of the records in vertex buffer 0, at `location` in the vertex shader.
struct VertexAttribute {
    uint32_t location = 0;
    int components = 2;
    size_t offset = 0;
};

// How vertex buffer 0 is read. Per-instance records draw six vertices each: a draw of n × 6
// vertices draws n instances of the six corners, which the vertex shader takes from gl_VertexID.
struct VertexLayout {
    size_t stride = 0;
    bool perInstance = false;
    std::vector<VertexAttribute> attributes;
};

struct RenderPipelineDescriptor {
    std::string label;
    std::shared_ptr<Function> vertexFunction;
    std::shared_ptr<Function> fragmentFunction;
    PixelFormat colorPixelFormat = PixelFormat::bgra8Unorm;
    BlendState blend;
    VertexLayout layout;
};

// A linked program with its blending and vertex layout. Its uniforms: `viewport` (vec2, the
// drawable's size in pixels) and the fragment texture `atlas` on unit 0.
class RenderPipeline {
public:
    RenderPipeline(std::shared_ptr<Device> device, uint32_t program, uint32_t vertexArray,
                   const RenderPipelineDescriptor& descriptor);
    ~RenderPipeline();
    RenderPipeline(const RenderPipeline&) = delete;
    RenderPipeline& operator=(const RenderPipeline&) = delete;

    const std::string& label() const { return label_; }
    const BlendState& blend() const { return blend_; }
    const VertexLayout& layout() const { return layout_; }
    PixelFormat colorPixelFormat() const { return colorPixelFormat_; }
    uint32_t program() const { return program_; }
    uint32_t vertexArray() const { return vertexArray_; }
    int viewportLocation() const { return viewportLocation_; }

private:
    std::shared_ptr<Device> device_;
    uint32_t program_;
    uint32_t vertexArray_;
    std::string label_;
    BlendState blend_;
    VertexLayout layout_;
    PixelFormat colorPixelFormat_;
    int viewportLocation_ = -1;
};

}  // namespace platform::gpu
