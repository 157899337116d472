#include "platform/gpu/RenderEncoder.h"

#include <epoxy/gl.h>

#include <cstdio>

#include "platform/gpu/Buffer.h"
#include "platform/gpu/Device.h"
#include "platform/gpu/GlHelpers.h"
#include "platform/gpu/RenderPipeline.h"
#include "platform/gpu/Sampler.h"
#include "platform/gpu/Texture.h"

namespace platform::gpu {

namespace {

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

}  // namespace

template <typename... Args>
void RenderEncoder::note(const char* pattern, Args... args) {
    if (recording_) log_.push_back(format(pattern, args...));
}

RenderEncoder::RenderEncoder(std::shared_ptr<Device> device, const RenderPassDescriptor& pass)
    : device_(std::move(device)), recording_(device_->testHooks.recordCommands) {
    if (!pass.colorTexture || !device_->makeCurrent()) return;
    const GLuint fbo = pass.colorTexture->framebuffer();
    if (!fbo) return;
    retained_.push_back(pass.colorTexture);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glViewport(0, 0, pass.colorTexture->width(), pass.colorTexture->height());
    glDisable(GL_FRAMEBUFFER_SRGB);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_CULL_FACE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    note("pass %dx%d", pass.colorTexture->width(), pass.colorTexture->height());
    if (pass.loadAction == LoadAction::clear) {
        const auto& c = pass.clearColor;
        glClearColor(static_cast<GLfloat>(c.red), static_cast<GLfloat>(c.green), static_cast<GLfloat>(c.blue),
                     static_cast<GLfloat>(c.alpha));
        glClear(GL_COLOR_BUFFER_BIT);
        note("clear %g %g %g %g", c.red, c.green, c.blue, c.alpha);
    }
    valid_ = true;
}

RenderEncoder::~RenderEncoder() = default;


void RenderEncoder::setRenderPipeline(const std::shared_ptr<RenderPipeline>& pipeline) {
    if (ended_ || !pipeline || !device_->makeCurrent()) return;
    pipeline_ = pipeline;
    retained_.push_back(pipeline);
    glUseProgram(pipeline->program());
    glBindVertexArray(pipeline->vertexArray());
    const auto& blend = pipeline->blend();
    if (blend.enabled) {
        glEnable(GL_BLEND);
        glBlendEquation(GL_FUNC_ADD);
        glBlendFuncSeparate(gl::blendFactor(blend.sourceRGB), gl::blendFactor(blend.destinationRGB),
                            gl::blendFactor(blend.sourceAlpha), gl::blendFactor(blend.destinationAlpha));
    } else {
        glDisable(GL_BLEND);
    }
    if (hasViewport_ && pipeline->viewportLocation() >= 0)
        glUniform2f(pipeline->viewportLocation(), viewport_[0], viewport_[1]);
    note("pipeline %s", pipeline->label().c_str());
}

void RenderEncoder::setVertexBuffer(const std::shared_ptr<Buffer>& buffer, size_t offset, int index) {
    if (ended_ || index != 0) return;
    vertexBuffer_ = buffer;
    vertexOffset_ = offset;
    if (buffer) retained_.push_back(buffer);
    if (buffer) note("vertex buffer %d %zu bytes at %zu", index, buffer->length(), offset);
    else note("vertex buffer %d none", index);
}

void RenderEncoder::setVertexViewport(float width, float height) {
    if (ended_) return;
    viewport_[0] = width;
    viewport_[1] = height;
    hasViewport_ = true;
    if (pipeline_ && pipeline_->viewportLocation() >= 0 && device_->makeCurrent())
        glUniform2f(pipeline_->viewportLocation(), width, height);
    note("viewport %gx%g", double(width), double(height));
}

void RenderEncoder::setFragmentTexture(const std::shared_ptr<Texture>& texture, int index) {
    if (ended_ || index < 0 || index > 7 || !device_->makeCurrent()) return;
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(index));
    glBindTexture(GL_TEXTURE_2D, texture ? texture->name() : 0);
    glActiveTexture(GL_TEXTURE0);
    if (texture) retained_.push_back(texture);
    if (texture)
        note("fragment texture %d %s %dx%d", index, pixelFormatName(texture->format()), texture->width(),
             texture->height());
    else note("fragment texture %d none", index);
}

void RenderEncoder::setFragmentSampler(const std::shared_ptr<Sampler>& sampler, int index) {
    if (ended_ || index < 0 || index > 7 || !device_->makeCurrent()) return;
    glBindSampler(static_cast<GLuint>(index), sampler ? sampler->name() : 0);
    if (sampler) retained_.push_back(sampler);
    note("fragment sampler %d", index);
}

void RenderEncoder::drawTriangles(size_t vertexStart, size_t vertexCount) {
    if (ended_ || !pipeline_ || !vertexBuffer_ || vertexCount == 0 || !device_->makeCurrent()) return;
    const auto& layout = pipeline_->layout();
    vertexBuffer_->upload();
    glBindVertexArray(pipeline_->vertexArray());
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_->name());
    // Per-instance records: the first record drawn moves the attribute pointers instead of the
    // first vertex (instanced draws have no base instance in 3.3).
    const size_t baseOffset = vertexOffset_ + (layout.perInstance ? vertexStart / 6 * layout.stride : 0);
    for (const auto& attribute : layout.attributes) {
        glEnableVertexAttribArray(attribute.location);
        glVertexAttribPointer(attribute.location, attribute.components, GL_FLOAT, GL_FALSE,
                              static_cast<GLsizei>(layout.stride),
                              reinterpret_cast<const void*>(baseOffset + attribute.offset));
        glVertexAttribDivisor(attribute.location, layout.perInstance ? 1 : 0);
    }
    if (layout.perInstance) {
        glDrawArraysInstanced(GL_TRIANGLES, 0, 6, static_cast<GLsizei>(vertexCount / 6));
    } else {
        glDrawArrays(GL_TRIANGLES, static_cast<GLint>(vertexStart), static_cast<GLsizei>(vertexCount));
    }
    note("draw triangles %zu %zu", vertexStart, vertexCount);
}

void RenderEncoder::endEncoding() {
    if (ended_) return;
    ended_ = true;
    if (device_->makeCurrent()) {
        glBindVertexArray(0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    note("%s", "end");
    if (recording_) device_->encoderLogs.push_back(log_);
}

}  // namespace platform::gpu
