#pragma once

#include <memory>
#include <string>

namespace platform::gpu {

// A GL context that GL objects belong to. Everything runs on the main thread; whoever issues GL
// calls makes the context current first (cheap when it already is).
class GlContext {
public:
    virtual ~GlContext() = default;
    // False when the context cannot be made current (it is gone).
    virtual bool makeCurrent() = 0;
    // Whether the context still exists: names of a context that is gone need no deleting.
    virtual bool isAlive() const = 0;
    // Whether it was made with reset notification (a reset then shows in the reset status).
    virtual bool isRobust() const { return false; }
};

// The headless context: OpenGL 3.3 core on EGL's surfaceless platform (Mesa). All contexts share
// one EGL display that stays initialised for the life of the process: terminating it unloads the
// driver, which leaks inside the driver on every cycle.
class EglContext : public GlContext {
public:
    // None when there is no EGL, no surfaceless platform or no 3.3 core context; `whyNot` says why.
    static std::shared_ptr<EglContext> create(std::string* whyNot = nullptr);
    ~EglContext() override;

    bool makeCurrent() override;
    bool isAlive() const override { return context_ != nullptr; }
    bool isRobust() const override { return robust_; }

private:
    EglContext(void* context, bool robust) : context_(context), robust_(robust) {}
    void* context_;
    bool robust_;
};

}  // namespace platform::gpu
