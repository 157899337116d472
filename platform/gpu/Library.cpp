#include "platform/gpu/Library.h"

#include <epoxy/gl.h>

#include "platform/gpu/Device.h"

namespace platform::gpu {

namespace {

std::string shaderLog(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<size_t>(std::max(length, 1)), '\0');
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    while (!log.empty() && (log.back() == '\0' || log.back() == '\n')) log.pop_back();
    return log;
}

}  // namespace

Function::~Function() {
    if (shader_ && device_->makeCurrentForCleanup()) glDeleteShader(shader_);
}

std::shared_ptr<Function> Library::function(const std::string& name) const {
    auto found = functions_.find(name);
    return found == functions_.end() ? nullptr : found->second;
}

std::vector<std::string> Library::functionNames() const {
    std::vector<std::string> names;
    for (const auto& [name, function] : functions_) names.push_back(name);
    return names;
}

std::shared_ptr<Library> Device::makeLibrary(const std::vector<ShaderSource>& sources, std::string* error) {
    if (!makeCurrent()) {
        if (error) *error = "the GPU device is lost";
        return nullptr;
    }
    std::map<std::string, std::shared_ptr<Function>> functions;
    for (const auto& source : sources) {
        const GLuint shader = glCreateShader(source.stage == ShaderStage::vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
        if (!shader) {
            if (error) *error = source.name + ": no shader object";
            return nullptr;
        }
        auto function = std::make_shared<Function>(shared_from_this(), source.name, source.stage, shader);
        const char* text = source.text.c_str();
        glShaderSource(shader, 1, &text, nullptr);
        glCompileShader(shader);
        GLint compiled = GL_FALSE;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
        if (compiled != GL_TRUE) {
            if (error) *error = source.name + ": " + shaderLog(shader);
            return nullptr;
        }
        functions[source.name] = std::move(function);
    }
    return std::make_shared<Library>(std::move(functions));
}

}  // namespace platform::gpu
