#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gpu/GpuTypes.h"

namespace platform::gpu {

class Buffer;
class Device;
class RenderPipeline;
class Sampler;
class Texture;

// Where a render pass draws: colour attachment 0 and what happens to it first.
struct RenderPassDescriptor {
    std::shared_ptr<Texture> colorTexture;
    LoadAction loadAction = LoadAction::clear;
    ClearColor clearColor;
};

// Encodes one render pass. GL runs the commands as they come (the context is the main thread's),
// so nothing is deferred but the completion. Draws take vertex buffer 0 and count vertices;
// under a per-instance pipeline a count of n × 6 draws n records. Between the set calls and
// the draw the order is free, as long as a pipeline is set before drawing.
class RenderEncoder {
public:
    RenderEncoder(std::shared_ptr<Device> device, const RenderPassDescriptor& pass);
    ~RenderEncoder();
    RenderEncoder(const RenderEncoder&) = delete;
    RenderEncoder& operator=(const RenderEncoder&) = delete;

    // False when the pass's framebuffer could not be bound (the encoder is then not handed out).
    bool isValid() const { return valid_; }

    void setRenderPipeline(const std::shared_ptr<RenderPipeline>& pipeline);
    void setVertexBuffer(const std::shared_ptr<Buffer>& buffer, size_t offset, int index);
    // The viewport uniform: the drawable's width and height in pixels.
    void setVertexViewport(float width, float height);
    void setFragmentTexture(const std::shared_ptr<Texture>& texture, int index);
    void setFragmentSampler(const std::shared_ptr<Sampler>& sampler, int index);
    // Triangles from `vertexStart`; nothing without a pipeline or vertex buffer.
    void drawTriangles(size_t vertexStart, size_t vertexCount);
    void endEncoding();

    bool hasEnded() const { return ended_; }
    // The commands so far, when the device records them (Device::TestHooks::recordCommands).
    const std::vector<std::string>& commandLog() const { return log_; }

private:
    template <typename... Args>
    void note(const char* pattern, Args... args);

    std::shared_ptr<Device> device_;
    bool valid_ = false;
    bool ended_ = false;
    bool recording_ = false;
    std::shared_ptr<RenderPipeline> pipeline_;
    std::shared_ptr<Buffer> vertexBuffer_;
    size_t vertexOffset_ = 0;
    float viewport_[2] = {0, 0};
    bool hasViewport_ = false;
    // Kept until the pass ends, as Metal keeps what an encoder uses.
    std::vector<std::shared_ptr<void>> retained_;
    std::vector<std::string> log_;
};

}  // namespace platform::gpu
