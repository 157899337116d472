#include "platform/gpu/RenderPipeline.h"

#include <epoxy/gl.h>

#include "platform/gpu/Device.h"
#include "platform/gpu/Library.h"

namespace platform::gpu {

namespace {

std::string programLog(GLuint program) {
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<size_t>(std::max(length, 1)), '\0');
    glGetProgramInfoLog(program, length, nullptr, log.data());
    while (!log.empty() && (log.back() == '\0' || log.back() == '\n')) log.pop_back();
    return log;
}

}  // namespace

RenderPipeline::RenderPipeline(std::shared_ptr<Device> device, uint32_t program, uint32_t vertexArray,
                               const RenderPipelineDescriptor& descriptor)
    : device_(std::move(device)),
      program_(program),
      vertexArray_(vertexArray),
      label_(descriptor.label),
      blend_(descriptor.blend),
      layout_(descriptor.layout),
      colorPixelFormat_(descriptor.colorPixelFormat) {
    viewportLocation_ = glGetUniformLocation(program_, "viewport");
    const GLint atlas = glGetUniformLocation(program_, "atlas");
    if (atlas >= 0) {
        glUseProgram(program_);
        glUniform1i(atlas, 0);
    }
}

RenderPipeline::~RenderPipeline() {
    if (!device_->makeCurrentForCleanup()) return;
    glDeleteVertexArrays(1, &vertexArray_);
    glDeleteProgram(program_);
}

std::shared_ptr<RenderPipeline> Device::makeRenderPipeline(const RenderPipelineDescriptor& descriptor,
                                                           std::string* error) {
    auto fail = [error](std::string why) -> std::shared_ptr<RenderPipeline> {
        if (error) *error = std::move(why);
        return nullptr;
    };
    if (!makeCurrent()) return fail("the GPU device is lost");
    if (!descriptor.vertexFunction || descriptor.vertexFunction->stage() != ShaderStage::vertex)
        return fail("no vertex function");
    if (!descriptor.fragmentFunction || descriptor.fragmentFunction->stage() != ShaderStage::fragment)
        return fail("no fragment function");
    const GLuint program = glCreateProgram();
    if (!program) return fail("no program object");
    glAttachShader(program, descriptor.vertexFunction->shader());
    glAttachShader(program, descriptor.fragmentFunction->shader());
    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    glDetachShader(program, descriptor.vertexFunction->shader());
    glDetachShader(program, descriptor.fragmentFunction->shader());
    if (linked != GL_TRUE) {
        std::string log = programLog(program);
        glDeleteProgram(program);
        return fail(log.empty() ? "link failed" : log);
    }
    GLuint vertexArray = 0;
    glGenVertexArrays(1, &vertexArray);
    return std::make_shared<RenderPipeline>(shared_from_this(), program, vertexArray, descriptor);
}

}  // namespace platform::gpu
