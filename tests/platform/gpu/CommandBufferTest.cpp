#include "platform/gpu/CommandQueue.h"

#include <gtest/gtest.h>

#include "platform/gpu/Buffer.h"
#include "platform/gpu/Drawable.h"
#include "platform/gpu/Library.h"
#include "platform/gpu/RenderEncoder.h"
#include "platform/gpu/RenderPipeline.h"
#include "platform/gpu/Texture.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "support/GpuTestSupport.h"

using namespace platform::gpu;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;

namespace {

// Axis-aligned boxes as per-instance records: x, y, width, height, then a straight-alpha colour.
const ShaderSource boxVertex{"box_vertex", ShaderStage::vertex, R"(#version 330 core
layout(location = 0) in vec4 box;
layout(location = 1) in vec4 color;
uniform vec2 viewport;
out vec4 vColor;
void main() {
    vec2 corner = vec2(gl_VertexID == 1 || gl_VertexID == 3 || gl_VertexID == 4 ? 1.0 : 0.0,
                       gl_VertexID == 2 || gl_VertexID == 4 || gl_VertexID == 5 ? 1.0 : 0.0);
    gl_Position = vec4((box.xy + corner * box.zw) / viewport * 2.0 - 1.0, 0.0, 1.0);
    vColor = color;
})"};
const ShaderSource boxFragment{"box_fragment", ShaderStage::fragment, R"(#version 330 core
in vec4 vColor;
out vec4 fragColor;
void main() { fragColor = vColor; })"};

struct Fixture {
    std::shared_ptr<Device> device;
    std::shared_ptr<RenderPipeline> pipeline;
    std::shared_ptr<CommandQueue> queue;
};

std::shared_ptr<RenderPipeline> boxPipeline(Device& device, std::string* error = nullptr) {
    auto library = device.makeLibrary({boxVertex, boxFragment}, error);
    if (!library) return nullptr;
    RenderPipelineDescriptor descriptor;
    descriptor.label = "box";
    descriptor.vertexFunction = library->function("box_vertex");
    descriptor.fragmentFunction = library->function("box_fragment");
    descriptor.blend = {true, BlendFactor::sourceAlpha, BlendFactor::oneMinusSourceAlpha, BlendFactor::one,
                        BlendFactor::oneMinusSourceAlpha};
    descriptor.layout = {32, true, {{0, 4, 0}, {1, 4, 16}}};
    return device.makeRenderPipeline(descriptor, error);
}

// The BGRA bytes of one pixel of a drawable, y up.
std::array<uint8_t, 4> pixel(Texture& texture, int x, int y) {
    auto bytes = texture.readBytes(x, y, 1, 1);
    return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

}  // namespace

// Two boxes drawn as 2 × 6 vertices over a cleared pass land where their records say; the second
// blends over the first.
TEST(GpuCommandBuffer, DrawsInstancedRecordsIntoADrawable) {
    GPU_TEST_DEVICE(device);
    auto pipeline = boxPipeline(*device);
    ASSERT_TRUE(pipeline);
    auto target = device->makeTexture(PixelFormat::bgra8Unorm, 40, 30);
    const float records[2][8] = {{10, 5, 20, 10, 1, 0, 0, 1}, {20, 10, 10, 15, 0, 0, 1, 0.5f}};
    auto vertices = device->makeBuffer(records, sizeof records);
    auto queue = device->makeCommandQueue();
    auto commands = queue->commandBuffer();
    auto encoder = commands->renderCommandEncoder({target, LoadAction::clear, {0, 1, 0, 1}});
    ASSERT_TRUE(encoder);
    encoder->setRenderPipeline(pipeline);
    encoder->setVertexViewport(40, 30);
    encoder->setVertexBuffer(vertices, 0, 0);
    encoder->drawTriangles(0, 12);
    encoder->endEncoding();
    commands->commit();
    commands->waitUntilCompleted();
    EXPECT_EQ(commands->status(), CommandBufferStatus::completed);
    const std::array<uint8_t, 4> green{0, 255, 0, 255}, red{0, 0, 255, 255};
    EXPECT_EQ(pixel(*target, 0, 0), green);
    EXPECT_EQ(pixel(*target, 10, 5), red);
    EXPECT_EQ(pixel(*target, 29, 9), red);
    EXPECT_EQ(pixel(*target, 30, 5), green);
    EXPECT_EQ(pixel(*target, 10, 15), green);
    auto mixed = pixel(*target, 25, 20);  // blue at half over green
    EXPECT_NEAR(mixed[0], 128, 1);
    EXPECT_NEAR(mixed[1], 128, 1);
    auto over = pixel(*target, 25, 12);  // blue at half over red
    EXPECT_NEAR(over[0], 128, 1);
    EXPECT_NEAR(over[2], 128, 1);
}

TEST(GpuCommandBuffer, CompilerAndLinkerErrorsCarryTheirLogs) {
    GPU_TEST_DEVICE(device);
    std::string error;
    ShaderSource broken = boxFragment;
    broken.text = "#version 330 core\nvoid main() { undefinedCall(); }";
    EXPECT_FALSE(device->makeLibrary({boxVertex, broken}, &error));
    EXPECT_EQ(error.rfind("box_fragment: ", 0), 0u) << error;
    EXPECT_GT(error.size(), 14u);

    // Compiles alone, but its input is not what the vertex stage writes.
    ShaderSource mismatched = boxFragment;
    mismatched.text = "#version 330 core\nin vec3 vColor; out vec4 c; void main() { c = vec4(vColor, 1); }";
    auto library = device->makeLibrary({boxVertex, mismatched}, &error);
    ASSERT_TRUE(library) << error;
    EXPECT_FALSE(library->function("missing"));
    RenderPipelineDescriptor descriptor;
    descriptor.vertexFunction = library->function("box_vertex");
    descriptor.fragmentFunction = library->function("box_fragment");
    error.clear();
    EXPECT_FALSE(device->makeRenderPipeline(descriptor, &error));
    EXPECT_FALSE(error.empty());
    descriptor.fragmentFunction = library->function("box_vertex");  // the wrong stage
    EXPECT_FALSE(device->makeRenderPipeline(descriptor, &error));
}

// Handlers run on the main loop's poll timer, in commit order; the drawables are presented
// before the handlers run.
TEST(GpuCommandBuffer, CompletionRunsOnTheMainLoopInCommitOrder) {
    GPU_TEST_DEVICE(device);
    VirtualMainLoop loop;
    ScopedMainLoop scoped(loop);
    auto queue = device->makeCommandQueue();
    std::vector<std::string> events;
    auto target = device->makeTexture(PixelFormat::bgra8Unorm, 4, 4);
    auto drawable = std::make_shared<Drawable>(target);
    drawable->onPresent = [&](Drawable&) { events.push_back("shown"); };
    drawable->addPresentedHandler([&] { events.push_back("presented"); });
    auto first = queue->commandBuffer();
    auto encoder = first->renderCommandEncoder({target, LoadAction::clear, {}});
    ASSERT_TRUE(encoder);
    first->present(drawable);
    first->addCompletedHandler([&](CommandBuffer& b) { events.push_back("first " + std::to_string(int(b.status()))); });
    auto second = queue->commandBuffer();
    second->addCompletedHandler([&](CommandBuffer&) { events.push_back("second"); });
    EXPECT_EQ(first->status(), CommandBufferStatus::notEnqueued);
    first->commit();
    second->commit();
    EXPECT_EQ(first->status(), CommandBufferStatus::committed);
    EXPECT_TRUE(encoder->hasEnded());  // committing ends what was left open
    EXPECT_FALSE(first->renderCommandEncoder({target, LoadAction::clear, {}}));
    device->finish();
    EXPECT_EQ(events, (std::vector<std::string>{"shown", "presented", "first 4", "second"}));
    EXPECT_TRUE(drawable->isPresented());

    // Without an explicit finish, the timer polls while something is pending, and only then.
    auto third = queue->commandBuffer();
    bool done = false;
    third->addCompletedHandler([&](CommandBuffer&) { done = true; });
    third->commit();
    EXPECT_EQ(loop.pendingTimerCount(), 1u);
    for (int i = 0; i < 2000 && !done; ++i) loop.advance(std::chrono::milliseconds(1));
    EXPECT_TRUE(done);
    EXPECT_EQ(loop.pendingTimerCount(), 0u);
}

TEST(GpuCommandBuffer, TestHooksRefuseFailAndHold) {
    GPU_TEST_DEVICE(device);
    auto queue = device->makeCommandQueue();
    auto target = device->makeTexture(PixelFormat::bgra8Unorm, 4, 4);
    device->testHooks.failCommandBuffer = true;
    EXPECT_FALSE(queue->commandBuffer());
    device->testHooks.failCommandBuffer = false;
    device->testHooks.failRenderEncoder = true;
    EXPECT_FALSE(queue->commandBuffer()->renderCommandEncoder({target, LoadAction::clear, {}}));
    device->testHooks.failRenderEncoder = false;
    EXPECT_FALSE(queue->commandBuffer()->renderCommandEncoder({nullptr, LoadAction::clear, {}}));

    device->testHooks.holdCompletion = true;
    auto held = queue->commandBuffer();
    int completions = 0;
    held->addCompletedHandler([&](CommandBuffer&) { ++completions; });
    held->commit();
    held->waitUntilCompleted();
    EXPECT_EQ(held->status(), CommandBufferStatus::scheduled);
    EXPECT_EQ(completions, 0);
    device->testHooks.holdCompletion = false;
    device->testHooks.failCommandBuffersWith = "simulated fault";
    device->finish();
    EXPECT_EQ(held->status(), CommandBufferStatus::error);
    EXPECT_EQ(held->error(), "simulated fault");
    EXPECT_EQ(completions, 1);
    device->testHooks.failCommandBuffersWith.reset();
}

TEST(GpuCommandBuffer, EncodersRecordTheirCommands) {
    GPU_TEST_DEVICE(device);
    auto pipeline = boxPipeline(*device);
    auto target = device->makeTexture(PixelFormat::bgra8Unorm, 8, 6);
    auto vertices = device->makeBuffer(64);
    device->encoderLogs.clear();
    device->testHooks.recordCommands = true;
    auto commands = device->makeCommandQueue()->commandBuffer();
    auto encoder = commands->renderCommandEncoder({target, LoadAction::clear, {0.25, 0.5, 0, 1}});
    encoder->drawTriangles(0, 6);  // no pipeline yet: nothing
    encoder->setRenderPipeline(pipeline);
    encoder->setVertexViewport(8, 6);
    encoder->setVertexBuffer(vertices, 0, 0);
    encoder->drawTriangles(6, 6);
    encoder->drawTriangles(0, 0);
    commands->commit();
    device->testHooks.recordCommands = false;
    device->finish();
    ASSERT_EQ(device->encoderLogs.size(), 1u);
    EXPECT_EQ(device->encoderLogs[0],
              (std::vector<std::string>{"pass 8x6", "clear 0.25 0.5 0 1", "pipeline box", "viewport 8x6",
                                        "vertex buffer 0 64 bytes at 0", "draw triangles 6 6", "end"}));
}

// A reset (or a context that goes away) ends pending work with `error`; the lost device makes
// nothing more.
TEST(GpuCommandBuffer, ALostDeviceFailsItsPendingWork) {
    GPU_TEST_DEVICE(shared);
    auto device = Device::makeHeadless();
    ASSERT_TRUE(device);
    auto queue = device->makeCommandQueue();
    device->testHooks.holdCompletion = true;
    auto pending = queue->commandBuffer();
    std::optional<std::string> error;
    pending->addCompletedHandler([&](CommandBuffer& b) { error = b.error(); });
    pending->commit();
    device->loseContext("simulated reset");
    EXPECT_EQ(pending->status(), CommandBufferStatus::error);
    EXPECT_EQ(error, "GPU device lost: simulated reset");
    EXPECT_TRUE(device->isLost());
    EXPECT_FALSE(queue->commandBuffer());
    EXPECT_FALSE(device->makeTexture(PixelFormat::r8Unorm, 4, 4));
    EXPECT_FALSE(device->makeCommandQueue());
    EXPECT_FALSE(shared->isLost());
}
