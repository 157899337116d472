#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gpu/GlContext.h"
#include "platform/gpu/GpuTypes.h"

namespace platform::gpu {

class Buffer;
class CommandQueue;
class Library;
class RenderPipeline;
struct RenderPipelineDescriptor;
class Sampler;
class Texture;
struct ShaderSource;

// A GL context and its limits, and the maker of every GPU object on it. The objects keep their
// device alive and delete their GL names with its context current. A device whose context was
// reset or destroyed is lost: it makes nothing more, and work still pending on it ends with the
// status `error`. Main thread only.
class Device : public std::enable_shared_from_this<Device> {
public:
    // What tests make fail or record.
    struct TestHooks {
        bool failCommandBuffer = false;  // the queue gives no command buffer
        bool failRenderEncoder = false;  // a command buffer gives no render encoder
        bool failBufferAllocation = false;
        // Committed command buffers end with the status `error` and this text.
        std::optional<std::string> failCommandBuffersWith;
        // Committed command buffers stay `scheduled` until this is cleared again.
        bool holdCompletion = false;
        // Each encoder's commands, one line each, kept in encoderLogs when it ends.
        bool recordCommands = false;
    };

    // The program's headless device (EGL surfaceless), made on first use and again after it
    // was lost; none when no 3.3 core context can be made (logged once).
    static std::shared_ptr<Device> systemDefault();
    // A device of its own on a new headless context.
    static std::shared_ptr<Device> makeHeadless(std::string* whyNot = nullptr);
    // A device over a context someone else made (a toolkit's); none unless it is 3.3 core.
    static std::shared_ptr<Device> make(std::shared_ptr<GlContext> context, std::string* whyNot = nullptr);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    int maxTextureSize() const { return maxTextureSize_; }
    const std::string& name() const { return name_; }
    const std::shared_ptr<GlContext>& context() const { return context_; }
    // Makes the context current; false when the device is lost or the context is gone.
    bool makeCurrent();
    // For deleting names: the context current, lost or not, while it exists.
    bool makeCurrentForCleanup();

    bool isLost() const { return lost_; }
    const std::string& lossReason() const { return lossReason_; }
    // The context was reset or destroyed (the toolkit's, or a test's simulated reset). A context
    // that went on purpose (its window closed) is logged as information, not as an error.
    void loseContext(const std::string& reason, bool expected = false);
    // Asks a robust context for its reset status; a reset loses the device. True when lost.
    bool checkForReset();
    // Waits until the GPU has done all work given so far, then lets completed work finish.
    void finish();

    // --- Objects (none on a lost device) ---------------------------------------------------------
    std::shared_ptr<Buffer> makeBuffer(size_t length);
    std::shared_ptr<Buffer> makeBuffer(const void* bytes, size_t length);
    // None over maxTextureSize, below 1 texel, or on a GL error.
    std::shared_ptr<Texture> makeTexture(PixelFormat format, int width, int height);
    std::shared_ptr<Sampler> makeSampler(const SamplerDescriptor& descriptor);
    // Compiles every source; none on the first that fails, whose name and info log go to `error`.
    std::shared_ptr<Library> makeLibrary(const std::vector<ShaderSource>& sources, std::string* error = nullptr);
    // None when a function is missing or the program does not link (info log in `error`).
    std::shared_ptr<RenderPipeline> makeRenderPipeline(const RenderPipelineDescriptor& descriptor,
                                                       std::string* error = nullptr);
    std::shared_ptr<CommandQueue> makeCommandQueue();

    TestHooks testHooks;
    std::vector<std::vector<std::string>> encoderLogs;

private:
    explicit Device(std::shared_ptr<GlContext> context);
    bool probe(std::string* whyNot);

    std::shared_ptr<GlContext> context_;
    int maxTextureSize_ = 0;
    std::string name_;
    bool lost_ = false;
    std::string lossReason_;
    enum class ResetQuery { none, core, arb } resetQuery_ = ResetQuery::none;
};

}  // namespace platform::gpu
