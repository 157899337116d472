#include "platform/gpu/Texture.h"

#include <epoxy/gl.h>

#include "platform/gpu/Device.h"
#include "platform/gpu/GlHelpers.h"

namespace platform::gpu {

Texture::Texture(std::shared_ptr<Device> device, uint32_t name, PixelFormat format, int width, int height)
    : device_(std::move(device)), name_(name), format_(format), width_(width), height_(height) {}

Texture::~Texture() {
    if (!device_->makeCurrentForCleanup()) return;
    if (framebuffer_) glDeleteFramebuffers(1, &framebuffer_);
    glDeleteTextures(1, &name_);
}

namespace {
bool inside(int x, int y, int width, int height, int sideX, int sideY) {
    return x >= 0 && y >= 0 && width > 0 && height > 0 && width <= sideX - x && height <= sideY - y;
}
}  // namespace

void Texture::replaceRegion(int x, int y, int width, int height, const void* bytes, size_t bytesPerRow) {
    const size_t texelBytes = bytesPerPixel(format_);
    if (!bytes || !inside(x, y, width, height, width_, height_) || bytesPerRow % texelBytes != 0 ||
        bytesPerRow < static_cast<size_t>(width) * texelBytes || !device_->makeCurrent())
        return;
    const auto texel = gl::texelFormat(format_);
    glBindTexture(GL_TEXTURE_2D, name_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(bytesPerRow / texelBytes));
    glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, width, height, texel.format, GL_UNSIGNED_BYTE, bytes);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

uint32_t Texture::framebuffer() {
    if (framebuffer_ || !device_->makeCurrent()) return framebuffer_;
    GLuint name = 0;
    glGenFramebuffers(1, &name);
    glBindFramebuffer(GL_FRAMEBUFFER, name);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, name_, 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &name);
        return 0;
    }
    framebuffer_ = name;
    return framebuffer_;
}

std::vector<uint8_t> Texture::readBytes(int x, int y, int width, int height) {
    if (!inside(x, y, width, height, width_, height_)) return {};
    const GLuint fbo = framebuffer();
    if (!fbo) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * static_cast<size_t>(height) * bytesPerPixel(format_));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(x, y, width, height, gl::texelFormat(format_).format, GL_UNSIGNED_BYTE, bytes.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    return bytes;
}

}  // namespace platform::gpu
