#include "platform/gpu/Device.h"

#include <epoxy/gl.h>

#include "platform/gpu/Buffer.h"
#include "platform/gpu/CommandQueue.h"
#include "platform/gpu/GlHelpers.h"
#include "platform/gpu/Library.h"
#include "platform/gpu/RenderPipeline.h"
#include "platform/gpu/Sampler.h"
#include "platform/gpu/Texture.h"
#include "platform/runtime/SystemLog.h"

namespace platform::gpu {

using platform::runtime::LogLevel;
using platform::runtime::SystemLog;

const char* pixelFormatName(PixelFormat format) {
    switch (format) {
        case PixelFormat::r8Unorm: return "r8Unorm";
        case PixelFormat::bgra8Unorm: return "bgra8Unorm";
        case PixelFormat::rgba8Unorm: return "rgba8Unorm";
    }
    return "?";
}

Device::Device(std::shared_ptr<GlContext> context) : context_(std::move(context)) {}

Device::~Device() = default;

std::shared_ptr<Device> Device::make(std::shared_ptr<GlContext> context, std::string* whyNot) {
    if (!context) {
        if (whyNot) *whyNot = "no GL context";
        return nullptr;
    }
    std::shared_ptr<Device> device(new Device(std::move(context)));
    if (!device->probe(whyNot)) return nullptr;
    return device;
}

std::shared_ptr<Device> Device::makeHeadless(std::string* whyNot) {
    auto context = EglContext::create(whyNot);
    if (!context) return nullptr;
    return make(std::move(context), whyNot);
}

std::shared_ptr<Device> Device::systemDefault() {
    static std::shared_ptr<Device> device;
    static bool loggedFailure = false;
    if (device && !device->isLost()) return device;
    std::string whyNot;
    device = makeHeadless(&whyNot);
    if (!device && !loggedFailure) {
        loggedFailure = true;
        SystemLog::write(LogLevel::error, "", "GPU device unavailable: " + whyNot);
    }
    return device;
}

bool Device::probe(std::string* whyNot) {
    auto fail = [whyNot](std::string reason) {
        if (whyNot) *whyNot = std::move(reason);
        return false;
    };
    if (!context_->makeCurrent()) return fail("the GL context cannot be made current");
    if (!epoxy_is_desktop_gl()) return fail("not a desktop OpenGL context");
    const int version = epoxy_gl_version();
    GLint profile = 0;
    if (version >= 32) glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const char* versionText = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    name_ = std::string(renderer ? renderer : "?") + " (" + (versionText ? versionText : "?") + ")";
    if (version < 33 || !(profile & GL_CONTEXT_CORE_PROFILE_BIT))
        return fail("OpenGL 3.3 core profile not available: " + name_);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
    if (context_->isRobust()) {
        if (version >= 45) resetQuery_ = ResetQuery::core;
        else if (epoxy_has_gl_extension("GL_ARB_robustness")) resetQuery_ = ResetQuery::arb;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    return true;
}

bool Device::makeCurrent() { return !lost_ && context_->makeCurrent(); }

bool Device::makeCurrentForCleanup() { return context_->isAlive() && context_->makeCurrent(); }

void Device::loseContext(const std::string& reason, bool expected) {
    if (lost_) return;
    lost_ = true;
    lossReason_ = reason;
    SystemLog::write(expected ? LogLevel::info : LogLevel::error, "", "GPU device lost: " + reason);
    // Pending work learns it at the next poll.
    CompletionPoller::shared().poll();
}

bool Device::checkForReset() {
    if (lost_) return true;
    if (resetQuery_ == ResetQuery::none || !context_->makeCurrent()) return false;
    const GLenum status = resetQuery_ == ResetQuery::core ? glGetGraphicsResetStatus() : glGetGraphicsResetStatusARB();
    if (status == GL_NO_ERROR) return false;
    loseContext(status == GL_GUILTY_CONTEXT_RESET ? "context reset (caused here)" : "context reset");
    return true;
}

void Device::finish() {
    if (makeCurrent()) glFinish();
    CompletionPoller::shared().poll();
}

std::shared_ptr<Buffer> Device::makeBuffer(size_t length) {
    if (length == 0 || testHooks.failBufferAllocation || !makeCurrent()) return nullptr;
    GLuint name = 0;
    glGenBuffers(1, &name);
    if (!name) return nullptr;
    gl::clearErrors();
    glBindBuffer(GL_ARRAY_BUFFER, name);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(length), nullptr, GL_DYNAMIC_DRAW);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteBuffers(1, &name);
        return nullptr;
    }
    return std::make_shared<Buffer>(shared_from_this(), name, length);
}

std::shared_ptr<Buffer> Device::makeBuffer(const void* bytes, size_t length) {
    auto buffer = makeBuffer(length);
    if (buffer && bytes) std::copy_n(static_cast<const uint8_t*>(bytes), length, buffer->contents());
    return buffer;
}

std::shared_ptr<Texture> Device::makeTexture(PixelFormat format, int width, int height) {
    if (width < 1 || height < 1 || width > maxTextureSize_ || height > maxTextureSize_ || !makeCurrent())
        return nullptr;
    GLuint name = 0;
    glGenTextures(1, &name);
    if (!name) return nullptr;
    gl::clearErrors();
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    const auto texel = gl::texelFormat(format);
    glTexImage2D(GL_TEXTURE_2D, 0, texel.internalFormat, width, height, 0, texel.format, GL_UNSIGNED_BYTE, nullptr);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &name);
        return nullptr;
    }
    return std::make_shared<Texture>(shared_from_this(), name, format, width, height);
}

std::shared_ptr<Sampler> Device::makeSampler(const SamplerDescriptor& descriptor) {
    if (!makeCurrent()) return nullptr;
    GLuint name = 0;
    glGenSamplers(1, &name);
    if (!name) return nullptr;
    auto filter = [](SamplerFilter f) { return f == SamplerFilter::linear ? GL_LINEAR : GL_NEAREST; };
    auto wrap = [](SamplerAddressMode m) { return m == SamplerAddressMode::repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE; };
    glSamplerParameteri(name, GL_TEXTURE_MIN_FILTER, filter(descriptor.minFilter));
    glSamplerParameteri(name, GL_TEXTURE_MAG_FILTER, filter(descriptor.magFilter));
    glSamplerParameteri(name, GL_TEXTURE_WRAP_S, wrap(descriptor.sAddressMode));
    glSamplerParameteri(name, GL_TEXTURE_WRAP_T, wrap(descriptor.tAddressMode));
    return std::make_shared<Sampler>(shared_from_this(), name, descriptor);
}

std::shared_ptr<CommandQueue> Device::makeCommandQueue() {
    if (lost_) return nullptr;
    return std::make_shared<CommandQueue>(shared_from_this());
}

}  // namespace platform::gpu
