#pragma once

#include <epoxy/gl.h>

#include "platform/gpu/GpuTypes.h"

namespace platform::gpu::gl {

// Drops errors left by earlier calls, so that the next glGetError speaks of what follows.
inline void clearErrors() {
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

struct TexelFormat {
    GLint internalFormat;
    GLenum format;
};

inline TexelFormat texelFormat(PixelFormat format) {
    switch (format) {
        case PixelFormat::r8Unorm: return {GL_R8, GL_RED};
        case PixelFormat::bgra8Unorm: return {GL_RGBA8, GL_BGRA};
        case PixelFormat::rgba8Unorm: return {GL_RGBA8, GL_RGBA};
    }
    return {GL_RGBA8, GL_RGBA};
}

inline GLenum blendFactor(BlendFactor factor) {
    switch (factor) {
        case BlendFactor::zero: return GL_ZERO;
        case BlendFactor::one: return GL_ONE;
        case BlendFactor::sourceAlpha: return GL_SRC_ALPHA;
        case BlendFactor::oneMinusSourceAlpha: return GL_ONE_MINUS_SRC_ALPHA;
    }
    return GL_ONE;
}

}  // namespace platform::gpu::gl
