#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform::gpu {

class Device;

enum class ShaderStage { vertex, fragment };

// One GLSL 330 core shader, named after the function it stands for.
struct ShaderSource {
    std::string name;
    ShaderStage stage = ShaderStage::vertex;
    std::string text;
};

// A compiled shader of a library.
class Function {
public:
    Function(std::shared_ptr<Device> device, std::string name, ShaderStage stage, uint32_t shader)
        : device_(std::move(device)), name_(std::move(name)), stage_(stage), shader_(shader) {}
    ~Function();
    Function(const Function&) = delete;
    Function& operator=(const Function&) = delete;

    const std::string& name() const { return name_; }
    ShaderStage stage() const { return stage_; }
    uint32_t shader() const { return shader_; }

private:
    std::shared_ptr<Device> device_;
    std::string name_;
    ShaderStage stage_;
    uint32_t shader_;
};

// The compiled shaders by name (Device::makeLibrary).
class Library {
public:
    explicit Library(std::map<std::string, std::shared_ptr<Function>> functions) : functions_(std::move(functions)) {}
    // None when the library has no function of that name.
    std::shared_ptr<Function> function(const std::string& name) const;
    std::vector<std::string> functionNames() const;

private:
    std::map<std::string, std::shared_ptr<Function>> functions_;
};

}  // namespace platform::gpu
