#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace platform::gpu {

class Texture;

// A frame to draw into: a BGRA8 texture used as a framebuffer. A command buffer presents it once
// its work has completed: first the owner's presentation (a view reading it back or showing
// it), then the presented handlers in the order they were added.
class Drawable {
public:
    explicit Drawable(std::shared_ptr<Texture> texture) : texture_(std::move(texture)) {}

    const std::shared_ptr<Texture>& texture() const { return texture_; }
    void addPresentedHandler(std::function<void()> handler) { presentedHandlers_.push_back(std::move(handler)); }
    // Set by whoever hands the drawable out.
    std::function<void(Drawable&)> onPresent;
    bool isPresented() const { return presented_; }

    // Runs the presentation once; later calls do nothing.
    void present();

private:
    std::shared_ptr<Texture> texture_;
    std::vector<std::function<void()>> presentedHandlers_;
    bool presented_ = false;
};

}  // namespace platform::gpu
