#include "platform/gpu/CommandQueue.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <set>

#include "platform/gpu/Device.h"
#include "platform/gpu/Drawable.h"
#include "platform/gpu/RenderEncoder.h"
#include "platform/runtime/MainLoop.h"

namespace platform::gpu {

using platform::runtime::MainLoop;

// --- CommandBuffer -------------------------------------------------------------------------------

CommandBuffer::CommandBuffer(std::shared_ptr<Device> device) : device_(std::move(device)) {}

CommandBuffer::~CommandBuffer() {
    if (fence_ && device_->makeCurrentForCleanup()) glDeleteSync(static_cast<GLsync>(fence_));
}

std::shared_ptr<RenderEncoder> CommandBuffer::renderCommandEncoder(const RenderPassDescriptor& pass) {
    if (status_ != CommandBufferStatus::notEnqueued || device_->testHooks.failRenderEncoder || device_->isLost())
        return nullptr;
    auto encoder = std::make_shared<RenderEncoder>(device_, pass);
    if (!encoder->isValid()) return nullptr;
    encoders_.push_back(encoder);
    return encoder;
}

void CommandBuffer::present(std::shared_ptr<Drawable> drawable) {
    if (status_ == CommandBufferStatus::notEnqueued && drawable) drawables_.push_back(std::move(drawable));
}

void CommandBuffer::addCompletedHandler(std::function<void(CommandBuffer&)> handler) {
    if (!finished_ && handler) completedHandlers_.push_back(std::move(handler));
}

void CommandBuffer::commit() {
    if (status_ != CommandBufferStatus::notEnqueued) return;
    status_ = CommandBufferStatus::committed;
    for (auto& encoder : encoders_) encoder->endEncoding();
    if (device_->makeCurrent()) {
        fence_ = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        glFlush();
    }
    CompletionPoller::shared().add(shared_from_this());
}

void CommandBuffer::fail(const std::string& why) {
    status_ = CommandBufferStatus::error;
    error_ = why;
}

bool CommandBuffer::checkFinished() {
    if (status_ == CommandBufferStatus::completed || status_ == CommandBufferStatus::error) return true;
    if (status_ == CommandBufferStatus::notEnqueued) return false;
    if (device_->checkForReset()) {
        fail("GPU device lost: " + device_->lossReason());
        return true;
    }
    if (!fence_ || !device_->makeCurrent()) {
        fail("GPU work could not be fenced");
        return true;
    }
    const GLenum result = glClientWaitSync(static_cast<GLsync>(fence_), 0, 0);
    if (result == GL_WAIT_FAILED) {
        fail("waiting for the GPU failed");
        return true;
    }
    if (result == GL_TIMEOUT_EXPIRED || device_->testHooks.holdCompletion) {
        status_ = CommandBufferStatus::scheduled;
        return false;
    }
    if (device_->testHooks.failCommandBuffersWith) {
        fail(*device_->testHooks.failCommandBuffersWith);
        return true;
    }
    status_ = CommandBufferStatus::completed;
    return true;
}

void CommandBuffer::finish() {
    if (finished_) return;
    finished_ = true;
    encoders_.clear();
    // A failed frame shows nothing.
    if (status_ == CommandBufferStatus::completed)
        for (auto& drawable : drawables_) drawable->present();
    drawables_.clear();
    auto handlers = std::move(completedHandlers_);
    for (auto& handler : handlers) handler(*this);
}

void CommandBuffer::waitUntilCompleted(uint64_t timeoutNs) {
    if (status_ == CommandBufferStatus::notEnqueued || finished_) return;
    if (fence_ && !device_->isLost() && device_->makeCurrent())
        glClientWaitSync(static_cast<GLsync>(fence_), GL_SYNC_FLUSH_COMMANDS_BIT, timeoutNs);
    CompletionPoller::shared().poll();
}

// --- CommandQueue --------------------------------------------------------------------------------

std::shared_ptr<CommandBuffer> CommandQueue::commandBuffer() {
    CompletionPoller::shared().poll();
    if (device_->isLost() || device_->testHooks.failCommandBuffer) return nullptr;
    return std::make_shared<CommandBuffer>(device_);
}

// --- CompletionPoller ----------------------------------------------------------------------------

struct CompletionPoller::Timer {
    MainLoop* loop = nullptr;
    std::shared_ptr<platform::runtime::WorkItem> item;
};

CompletionPoller& CompletionPoller::shared() {
    static CompletionPoller poller;
    return poller;
}

void CompletionPoller::add(std::shared_ptr<CommandBuffer> buffer) {
    pending_.push_back(std::move(buffer));
    updateTimer();
}

void CompletionPoller::poll() {
    if (polling_) return;
    polling_ = true;
    // A buffer that has not finished holds back the later ones of its device.
    std::set<const Device*> blocked;
    std::vector<std::shared_ptr<CommandBuffer>> finished;
    for (auto it = pending_.begin(); it != pending_.end();) {
        const Device* device = (*it)->device().get();
        if (!blocked.count(device) && (*it)->checkFinished()) {
            finished.push_back(std::move(*it));
            it = pending_.erase(it);
        } else {
            blocked.insert(device);
            ++it;
        }
    }
    for (auto& buffer : finished) buffer->finish();
    polling_ = false;
    updateTimer();
}

void CompletionPoller::updateTimer() {
    MainLoop& loop = MainLoop::main();
    // A loop that went away (a test's) dropped its ticks: only this handle is left.
    const bool armed = timer_ && timer_->loop == &loop && timer_->item.use_count() > 1;
    if (pending_.empty()) {
        if (timer_) timer_->item->cancel();
        timer_.reset();
        return;
    }
    if (armed) return;
    if (timer_) timer_->item->cancel();
    timer_ = std::make_shared<Timer>();
    timer_->loop = &loop;
    timer_->item = loop.scheduleRepeating(std::chrono::nanoseconds(pollIntervalNs), [] { CompletionPoller::shared().poll(); });
}

}  // namespace platform::gpu
